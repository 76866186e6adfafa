// Parlex's GPU sampling: discovery against the simulated driver in the Wine
// prefix, the logger's control, and the names that the sampling thread hands
// the window's thread.
#include "sampling/gpu_readings.h"
#include "sampling/logger_control.h"
#include "sampling/shared_state.h"
#include "gpu/discovery.h"
#include "nvapi/binding.h"

#include "failing_gpus.h"
#include "state_reset.h"
#include "temp_file.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// Ordinary and TCC GPUs together beyond the 64 handles the table holds: the
// ordinary ones first, then the TCC ones that fit. The simulated driver reads
// its scenario once per process, so this runs in a child process of its own.
TEST(Discovery, NeverMoreThan64Handles) {
    const std::string path = tempFile("scn");
    std::ofstream(path) << "[gpu]\nname = Graphics\nrepeat = 60\n"
                           "[gpu]\nname = Compute\ntcc = yes\nrepeat = 10\n";
    SetEnvironmentVariableA("GPUSIM_SCENARIO", path.c_str());
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    static GpuReadings gpus;
    EXPECT_EXIT(
        {
            const bool found = enumerateGpus(gpus);
            std::exit(found && gpus.gpuCount == 64 && gpus.handles[59] && gpus.handles[63] &&
                              gpus.slots[0].temperature == 0
                          ? 0
                          : 1);
        },
        ::testing::ExitedWithCode(0), "");
    SetEnvironmentVariableA("GPUSIM_SCENARIO", nullptr);
    DeleteFileA(path.c_str());
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

// Discovery against the simulated driver (failing_gpus.h).
class Sampling : public ::testing::Test {
  protected:
    static inline SamplingState sampling;
    static void SetUpTestSuite() { discoverFailingGpus(sampling); }
};
const bool samplingKeepsItsGpus = keepStateAcrossTests("Sampling");

TEST_F(Sampling, DiscoveryNamesAndProbesEveryGpu) {
    ASSERT_EQ(3, sampling.gpus.gpuCount.load());
    EXPECT_STREQ(L"Compute", sampling.gpus.slots[2].nameText) << "TCC GPUs after the others";
    EXPECT_STREQ(L"- empty -", sampling.gpus.slots[3].nameText);
    EXPECT_EQ(clockRecordV3, sampling.gpus.slots[0].clockVersion);
    EXPECT_EQ(clockRecordV1, sampling.gpus.slots[1].clockVersion);
    EXPECT_EQ(thermalRecordV1, sampling.gpus.slots[1].thermalVersion);
}

// A logger launch that the shell refuses (32 or less) or that gets no thread
// is said, once a run, and tried again at every pass until the shell takes it.
TEST(LoggerControl, AFailedLaunchIsSaidAndTriedAgain) {
    static INT_PTR answer;
    static int launches;
    static std::vector<std::wstring> notices;
    launches = 0;
    notices.clear();
    static SamplingState sampling;
    sampling.calls.shellExecute = [](const wchar_t*, const wchar_t*, const wchar_t*) {
        return ++launches, answer;
    };
    sampling.calls.showLoggerNotice = [](const wchar_t* text) { notices.push_back(text); };
    sampling.historyOn = 1;
    sampling.historyStartPending = 1;
    std::wcscpy(sampling.workDir, L"C:\\parlex");
    auto pass = [] {
        runLoggerControl(sampling);
        waitForLoggerLaunch(sampling, INFINITE);
    };
    for (INT_PTR refused : {INT_PTR(SE_ERR_FNF), INT_PTR(32)}) {
        answer = refused;
        pass();
        EXPECT_EQ(1, sampling.historyStartPending.load()) << refused;
    }
    EXPECT_EQ(1u, notices.size()) << "the first refusal, said at the next pass";
    sampling.calls.beginThread = [](unsigned(__stdcall*)(void*), void*) { return HANDLE(); };
    pass();
    EXPECT_EQ(2, launches);
    sampling.calls = realSamplingSystemCalls();
    sampling.calls.shellExecute = [](const wchar_t*, const wchar_t*, const wchar_t*) {
        return ++launches, INT_PTR(33);
    };
    pass();
    EXPECT_EQ(0, sampling.historyStartPending.load());
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
