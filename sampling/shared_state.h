// What the window's thread and the sampling thread share: the program's
// running, tray and "Monitor History" flags, the working folder, the GPUs and
// their readings, and the sampling and launch threads. Words that both
// threads touch are atomics read and written whole, without locks. The window
// program holds the one instance and hands it to the sampling thread.
#pragma once

#include "sampling/gpu_readings.h"
#include "system/owned.h"

#include <windows.h>

#include <atomic>

constexpr int workDirSize = 261;

// The system calls that start the sampling thread, replaceable by tests.
struct SamplingSystemCalls {
    HANDLE (*createEvent)();
    HANDLE (*beginThread)(unsigned(__stdcall* routine)(void*), void* argument);
    // ShellExecute's "open": its result, above 32 on success.
    INT_PTR (*shellExecute)(const wchar_t* file, const wchar_t* parameters, const wchar_t* folder);
    // Shows a notice of a logger that cannot start, on the sampling thread;
    // none until the window program sets it. The first notice of a run is
    // the only one.
    void (*showLoggerNotice)(const wchar_t* text);
};
SamplingSystemCalls realSamplingSystemCalls();

struct SamplingState {
    SamplingSystemCalls calls = realSamplingSystemCalls();
    std::atomic<int> appRunning;          // cleared when the window closes
    std::atomic<int> inTray;              // hidden to the notification area
    std::atomic<int> historyOn;           // "Monitor History" ticked
    std::atomic<int> historyStartPending; // a logger launch is wanted
    // The program's own folder, where Tessig.exe lies and runs; all zero when
    // its path does not fit.
    wchar_t workDir[workDirSize];
    GpuReadings gpus;

    OwnedObject samplingThread;
    // Set when the program ends: the pause between passes ends at once. Made
    // once, and closed with the state: at the program's end or a test's
    // reset, after the thread that waits on it was told to stop.
    OwnedObject stopRequested;
    // One launch of the logger at a time, all from the sampling thread; kept
    // so that the end of the program can wait for one under way.
    std::atomic<HANDLE> launchThread;
    // Set by a launch the shell refused, for the next pass to say so.
    std::atomic<bool> loggerLaunchFailed{false};
    std::atomic<int> noticeAllowed{1};
};
