// Measures, and asserts nothing about time: the blend table fill against the
// literal loop, and one full repaint of the real face (compose + present)
// against one plain BitBlt of the window, all in one run. Prints ratios.
#include "monitor/app_state.h"
#include "sampling/gpu_readings.h"
#include "skin/back_buffer.h"
#include "skin/blend.h"
#include "skin/layout.h"
#include "skin/skin_pack.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;
using namespace Gdiplus::DllExports;

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

LRESULT CALLBACK plainProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int main() {
    static std::vector<uint8_t> table(blendTableSize);
    double fast = medianMicroseconds(5, [] { fillBlendTable(table.data()); });
    double literal = medianMicroseconds(3, [] { fillBlendTableLiterally(table.data()); });
    std::printf("blend table fill: fast %.1f ms, literal %.1f ms, ratio %.1fx (target >= 8x)\n",
                fast / 1000, literal / 1000, literal / fast);

    // The real face: the pack from the build, the views of the layout.
    std::ifstream packFile(SKIN_PACK_PATH, std::ios::binary);
    std::vector<char> pack((std::istreambuf_iterator<char>(packFile)), {});
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    SetCurrentDirectoryA(folder);
    CreateDirectoryA(skinFolder, nullptr);
    std::ofstream(skinArchivePath, std::ios::binary).write(pack.data(), static_cast<std::streamsize>(pack.size()));

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = plainProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "ParlexBench";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "ParlexBench", "ParlexBench", WS_POPUP | WS_VISIBLE, 100, 100,
                                  271, 141, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    mainWindow = window;
    createBackBuffer(window);
    appRunning = 0; // the sampling thread the layout starts ends at once
    resetGpuReadings();
    gpuReadings.gpuCount = 2;
    gpuReadings.slots[0].graphicsClock = 1234567;
    gpuReadings.slots[0].temperature = 61;
    gpuReadings.slots[0].load = 37;
    if (!buildLayout()) {
        std::printf("the layout could not be built\n");
        return 1;
    }
    auto repaint = [] {
        rootView->draw(backBuffer.graphics);
        GdipFlush(backBuffer.graphics, Gdiplus::FlushIntentionSync);
        presentBackBuffer();
        GdiFlush();
    };
    auto blit = [] {
        BitBlt(backBuffer.windowDC, 0, 0, backBuffer.width, backBuffer.height, backBuffer.memoryDC,
               0, 0, SRCCOPY);
        GdiFlush();
    };
    for (int i = 0; i < 20; ++i)
        repaint();
    double paint = medianMicroseconds(500, repaint);
    double plain = medianMicroseconds(500, blit);
    std::printf("full repaint (compose + present): median %.0f us; one plain 271 x 141 BitBlt: "
                "median %.0f us; ratio %.1fx\n",
                paint, plain, paint / plain);
    destroyLayout();
    removeSkinFiles();
    DestroyWindow(window);
    return 0;
}
