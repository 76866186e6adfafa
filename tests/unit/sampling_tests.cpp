// Parlex's GPU sampling: the readings as the window shows them, and discovery
// and the sampling reads against the simulated driver in the Wine prefix.
#include "gpu/discovery.h"
#include "monitor/app_state.h"
#include "nvapi/binding.h"
#include "monitor/reading_texts.h"
#include "monitor/reading_views.h"
#include "sampling/gpu_readings.h"
#include "sampling/logger_control.h"
#include "sampling/sampling_thread.h"
#include "monitor/face.h"
#include "state_reset.h"

#include <gtest/gtest.h>
#include <atomic>
#include <cwchar>
#include <thread>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

// A sample written while the window refreshes never pairs the text of one
// reading with the colour of another: a temperature flips between no reading
// and one below zero as fast as the sampling thread can write it.
TEST(ReadingViews, TextAndColourTellOfOneSample) {
    View temperature({0, 0}, nullptr, ViewKind::Text, nullptr, 0);
    parlex.face.temperatureText[0] = &temperature;
    parlex.shared.gpus.gpuCount = 1;
    std::atomic<bool> done{false};
    std::thread sampler([&] {
        for (int round = 0; !done; ++round)
            parlex.shared.gpus.slots[0].temperature = round % 2 ? -5 : 0;
    });
    int torn = 0, read = 0;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 500;) {
        updateReadingViews();
        const bool reading = temperature.text != temperatureLook(0, true).text;
        read += reading;
        torn += reading != (temperature.color == presentColor);
    }
    done = true;
    sampler.join();
    EXPECT_GT(read, 0);
    EXPECT_EQ(0, torn);
    parlex.shared.gpus.slots[0].temperature = -5;
    parlex.shared.gpus.gpuCount = 0;
    updateReadingViews();
    EXPECT_EQ(dimColor, temperature.color) << "slot 0 that every GPU has left";
    parlex.face.temperatureText[0] = nullptr;
}

// Ordinary and TCC GPUs together beyond the 64 handles the table holds: the
// ordinary ones first, then the TCC ones that fit. The simulated driver reads
// its scenario once per process, so this runs in a child process of its own.
TEST(Discovery, NeverMoreThan64Handles) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    char path[MAX_PATH] = {};
    GetTempFileNameA(folder, "scn", 0, path);
    std::ofstream(path) << "[gpu]\nname = Graphics\nrepeat = 60\n"
                           "[gpu]\nname = Compute\ntcc = yes\nrepeat = 10\n";
    SetEnvironmentVariableA("GPUSIM_SCENARIO", path);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const bool found = enumerateGpus(parlex.shared.gpus);
            std::exit(found && parlex.shared.gpus.gpuCount == 64 &&
                              parlex.shared.gpus.handles[59] && parlex.shared.gpus.handles[63] &&
                              parlex.shared.gpus.slots[0].temperature == 0
                          ? 0
                          : 1);
        },
        ::testing::ExitedWithCode(0), "");
    SetEnvironmentVariableA("GPUSIM_SCENARIO", nullptr);
    DeleteFileA(path);
}

TEST(GpuNames, CutAt39AndNeverReadPastTheBuffer) {
    char name[64];
    std::memset(name, 'A', sizeof name); // no terminator at all
    wchar_t wide[100];
    std::memset(wide, 0xFF, sizeof wide);
    widenGpuName(name, wide);
    EXPECT_EQ(std::wstring(39, L'A'), std::wstring(wide));
    std::strcpy(name, "NVIDIA GeForce GTX 1080");
    widenGpuName(name, wide);
    EXPECT_STREQ(L"NVIDIA GeForce GTX 1080", wide);
}

// Discovery and sampling against the simulated driver: a GPU whose clock
// query starts failing, one whose temperature does, and one in TCC mode.
class Sampling : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        char folder[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, folder);
        char path[MAX_PATH] = {};
        GetTempFileNameA(folder, "scn", 0, path);
        std::ofstream(path) << "[gpu]\nname = Clock fails from the third call\n"
                               "graphics = 1500000 1600000\nclock_status = 0 0 0 -5\n"
                               "temperature = 60 61\nload = 40 41\n"
                               "[gpu]\nname = Temperature fails later\nclock_layouts = 1\n"
                               "thermal_layouts = 1\ntemperature = 50 51 52\n"
                               "thermal_status = 0 0 -5\nload = 7\n"
                               "[gpu]\nname = Compute\ntcc = yes\nload = 99\n";
        SetEnvironmentVariableA("GPUSIM_SCENARIO", path);
        parlex.shared.appRunning = 1; // a pass reads only while the program runs
        ASSERT_FALSE(discoverGpus(parlex.shared.gpus).failure);
    }
};
const bool samplingKeepsItsGpus = keepStateAcrossTests("Sampling");

TEST_F(Sampling, DiscoveryNamesAndProbesEveryGpu) {
    ASSERT_EQ(3, parlex.shared.gpus.gpuCount.load());
    EXPECT_STREQ(L"Compute", parlex.shared.gpus.slots[2].nameText) << "TCC GPUs after the others";
    EXPECT_STREQ(L"- empty -", parlex.shared.gpus.slots[3].nameText);
    EXPECT_EQ(clockRecordV3, parlex.shared.gpus.slots[0].clockVersion);
    EXPECT_EQ(clockRecordV1, parlex.shared.gpus.slots[1].clockVersion);
    EXPECT_EQ(thermalRecordV1, parlex.shared.gpus.slots[1].thermalVersion);
}

TEST_F(Sampling, FailuresKeepTheirDefaults) {
    // The probe made the first clock call of GPU 0 and its first thermal call;
    // GPU 1 refused the probe's newer layouts before any reading was taken.
    readSlot(parlex.shared, 0);
    readSlot(parlex.shared, 1);
    readSlot(parlex.shared, 2);
    EXPECT_EQ(1600000u, parlex.shared.gpus.slots[0].graphicsClock.load());
    EXPECT_EQ(61, parlex.shared.gpus.slots[0].temperature.load());
    EXPECT_EQ(40u, parlex.shared.gpus.slots[0].load.load());
    EXPECT_EQ(50, parlex.shared.gpus.slots[1].temperature.load());
    EXPECT_EQ(0u, parlex.shared.gpus.slots[2].load.load()) << "a TCC slot finds no handle";

    readSlot(parlex.shared, 0);
    readSlot(parlex.shared, 1);
    EXPECT_EQ(1600000u, parlex.shared.gpus.slots[0].graphicsClock.load());
    EXPECT_EQ(51, parlex.shared.gpus.slots[1].temperature.load());
    readSlot(parlex.shared, 0);
    readSlot(parlex.shared, 1);
    EXPECT_EQ(0u, parlex.shared.gpus.slots[0].graphicsClock.load()) << "a failed clock reads 0";
    EXPECT_EQ(61, parlex.shared.gpus.slots[0].temperature.load());
    EXPECT_EQ(51, parlex.shared.gpus.slots[1].temperature.load()) << "a failed temperature stays";

    updateReadingViews();
    EXPECT_STREQ(L"0.0MHz\n", parlex.face.clockTexts[0]);
    EXPECT_STREQ(L"51\u2103\n", parlex.face.temperatureTexts[1]);
    EXPECT_STREQ(L"0\uFF05\n", parlex.face.loadTexts[2]);
    EXPECT_STREQ(L"0.0MHz", parlex.face.clockTexts[3]) << "an empty slot keeps its default";
}

// A logger launch that the shell refuses (32 or less) or that gets no thread
// is said, once a run, and tried again at every pass until the shell takes it.
TEST(LoggerControl, AFailedLaunchIsSaidAndTriedAgain) {
    static INT_PTR answer;
    static int launches;
    static std::vector<std::wstring> notices;
    launches = 0;
    notices.clear();
    parlex.shared.calls.shellExecute = [](const wchar_t*, const wchar_t*, const wchar_t*) {
        return ++launches, answer;
    };
    parlex.shared.calls.showLoggerNotice = [](const wchar_t* text) { notices.push_back(text); };
    parlex.shared.historyOn = 1;
    parlex.shared.historyStartPending = 1;
    std::wcscpy(parlex.shared.workDir, L"C:\\parlex");
    auto pass = [] {
        runLoggerControl(parlex.shared);
        waitForLoggerLaunch(parlex.shared, INFINITE);
    };
    for (INT_PTR refused : {INT_PTR(SE_ERR_FNF), INT_PTR(32)}) {
        answer = refused;
        pass();
        EXPECT_EQ(1, parlex.shared.historyStartPending.load()) << refused;
    }
    EXPECT_EQ(1u, notices.size()) << "the first refusal, said at the next pass";
    parlex.shared.calls.beginThread = [](unsigned(__stdcall*)(void*), void*) { return HANDLE(); };
    pass();
    EXPECT_EQ(2, launches);
    parlex.shared.calls = realSamplingSystemCalls();
    parlex.shared.calls.shellExecute = [](const wchar_t*, const wchar_t*, const wchar_t*) {
        return ++launches, INT_PTR(33);
    };
    pass();
    EXPECT_EQ(0, parlex.shared.historyStartPending.load());
    EXPECT_EQ(3, launches);
    ASSERT_EQ(1u, notices.size());
    EXPECT_EQ(L"Tessigを起動できませんでした", notices[0]);
}

// The window's thread never takes a name that the sampling thread is still
// writing: each adopted name is one whole name, while rediscoveries of two
// alternating sets of names follow one another as fast as they can.
TEST(RediscoveredNames, NeverTornWhileTheSamplingThreadWrites) {
    static GpuReadings gpus;
    std::atomic<bool> done{false};
    static wchar_t sets[2][gpuSlotCount][100];
    std::wmemset(&sets[0][0][0], L'A', sizeof sets[0] / sizeof(wchar_t)); // 99 letters a name
    std::wmemset(&sets[1][0][0], L'B', sizeof sets[1] / sizeof(wchar_t));
    for (auto& set : sets)
        for (auto& name : set)
            name[99] = 0;
    std::thread sampler([&] {
        for (int round = 0; !done; ++round)
            publishRediscoveredNames(gpus, sets[round % 2], gpuSlotCount);
    });
    int torn = 0, adopted = 0;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 500;) {
        if (!adoptRediscoveredNames(gpus))
            continue;
        ++adopted;
        for (int slot = 0; slot < gpuSlotCount; ++slot) {
            const wchar_t* name = gpus.slots[slot].nameText;
            torn += std::wcsspn(name, L"A") != 99 && std::wcsspn(name, L"B") != 99;
        }
    }
    done = true;
    sampler.join();
    EXPECT_GT(adopted, 0);
    EXPECT_EQ(0, torn);
}

} // namespace
