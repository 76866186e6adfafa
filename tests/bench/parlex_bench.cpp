// Measures, and asserts nothing about time: the blend table fill against the
// literal loop and a plain memset of the same 16 MiB, and the repaints of the
// real face (compose + present) against one plain BitBlt of the window, all
// in one run. Prints each figure with its reference and the ratio.
#include "monitor/app_state.h"
#include "monitor/face.h"
#include "monitor/reading_views.h"
#include "skin/back_buffer.h"
#include "skin/blend.h"
#include "skin/painting.h"
#include "skin/skin_pack.h"
#include "sampling/gpu_readings.h"

#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

double microseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::micro>(duration).count();
}

template <typename Work> double medianMicroseconds(int rounds, Work work) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        auto start = Clock::now();
        work();
        times.push_back(microseconds(Clock::now() - start));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double privateMiB() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    // Wine leaves PrivateUsage at 0; Windows gives both the same value.
    return counters.PagefileUsage / 1048576.0;
}

LRESULT CALLBACK plainProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

// Two sets of readings for four GPUs in which every one of the twelve value
// texts differs.
void setReadings(int set) {
    for (int slot = 0; slot < 4; ++slot) {
        GpuSlotReadings& readings = parlex.shared.gpus.slots[slot];
        readings.graphicsClock = set ? 1234567u + 1000u * slot : 705000u + 100000u * slot;
        readings.temperature = set ? 61 + slot : 48 + slot;
        readings.load = set ? 37 + slot : 99 - slot;
    }
}

} // namespace

int main() {
    // The program's own table, aligned as it is.
    uint8_t* table = parlex.backBuffer.blendTable;
    // Medians of many rounds: a single fill is about a millisecond, within
    // reach of the machine's other work.
    double fast = medianMicroseconds(31, [=] { fillBlendTable(table); });
    double literal = medianMicroseconds(7, [=] { fillBlendTableLiterally(table); });
    double floor =
        medianMicroseconds(31, [=] { std::memset(table, table[7] + 1, blendTableSize); });
    std::printf("blend table fill: %.1f ms; literal loop %.1f ms, ratio %.1fx (target >= 8x); "
                "plain 16 MiB memset %.1f ms, the fill takes %.1fx that\n",
                fast / 1000, literal / 1000, literal / fast, floor / 1000, fast / floor);

    // The real face: the pack from the build, the views of the layout.
    std::ifstream packFile(SKIN_PACK_PATH, std::ios::binary);
    std::vector<char> pack((std::istreambuf_iterator<char>(packFile)), {});
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    SetCurrentDirectoryA(folder);
    CreateDirectoryA(skinFolder, nullptr);
    std::ofstream(skinArchivePath, std::ios::binary)
        .write(pack.data(), static_cast<std::streamsize>(pack.size()));

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = plainProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "ParlexBench";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "ParlexBench", "ParlexBench", WS_POPUP | WS_VISIBLE, 100, 100,
                                  271, 141, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    parlex.mainWindow = window;
    parlex.backBuffer.create(window);
    parlex.shared.gpus.gpuCount = 4;
    setReadings(0);
    SkinPack opened;
    opened.archive.reset(std::fopen(skinArchivePath, "rb"));
    const bool built = !buildFace(parlex.face, opened);
    buildReadingViews(parlex.face, parlex.shared.gpus, parlex.backBuffer.graphics);
    opened.archive.reset();
    if (!built) {
        std::printf("the layout could not be built\n");
        return 1;
    }
    updateReadingViews();
    auto blit = [] {
        BitBlt(parlex.backBuffer.windowDC, 0, 0, parlex.backBuffer.width, parlex.backBuffer.height, parlex.backBuffer.memoryDC,
               0, 0, SRCCOPY);
        GdiFlush();
    };
    auto present = [] {
        parlex.backBuffer.present();
        GdiFlush();
    };
    auto whole = [&] {
        parlex.backBuffer.composition = {};
        parlex.backBuffer.compose(parlex.face.root.get());
        present();
    };
    int press = 0;
    auto hover = [&] {
        // A button's look changes, as on hover, press and release.
        parlex.face.closeButton->imageSelector = (++press & 1) ? ImageSelector::SelectorPressed : ImageSelector::SelectorAuto;
        parlex.backBuffer.compose(parlex.face.root.get());
        present();
    };
    auto unchanged = [&] {
        // A drag, or the refresh when no value changed.
        parlex.backBuffer.compose(parlex.face.root.get());
        present();
    };
    int set = 0;
    auto refresh = [&] {
        setReadings(set ^= 1);
        updateReadingViews();
        parlex.backBuffer.compose(parlex.face.root.get());
        present();
    };
    for (int i = 0; i < 20; ++i)
        whole();
    const double plain = medianMicroseconds(500, blit);
    const double wholeFace = medianMicroseconds(300, whole);
    const double look = medianMicroseconds(500, hover);
    const double same = medianMicroseconds(500, unchanged);
    const double values = medianMicroseconds(300, refresh);
    std::printf("one plain 271 x 141 BitBlt: median %.1f us\n", plain);
    std::printf(
        "whole face composed and presented (first frame): median %.0f us, %.0fx the BitBlt\n",
        wholeFace, wholeFace / plain);
    std::printf("repaint, a button's look changed: median %.1f us, ratio %.1fx the BitBlt (target "
                "<= 10x)\n",
                look, look / plain);
    std::printf(
        "repaint, nothing changed: median %.1f us, ratio %.1fx the BitBlt (target <= 10x)\n", same,
        same / plain);
    std::printf("refresh, all twelve value texts changed: median %.0f us (target <= 1000 us), "
                "%.0fx the BitBlt\n",
                values, values / plain);

    // Memory over many repaints: every kind of them, the values changing.
    auto mixed = [&](int i, bool wholeToo) {
        if (i % 3 == 0)
            refresh();
        else if (i % 3 == 1)
            hover();
        else if (wholeToo)
            whole();
        else
            unchanged();
    };
    for (int i = 0; i < 100; ++i)
        mixed(i, true);
    const double after100 = privateMiB();
    for (int i = 100; i < 20000; ++i)
        mixed(i, i % 30 == 2);
    const double after20000 = privateMiB();
    std::printf("private memory after 100 repaints %.2f MiB, after 20,000 %.2f MiB: grew %.3f MiB "
                "(target < 1 MiB)\n",
                after100, after20000, after20000 - after100);
    destroyFace(parlex.face);
    DeleteFileA(skinArchivePath);
    RemoveDirectoryA(skinFolder);
    DestroyWindow(window);
    return 0;
}
