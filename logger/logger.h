// Tessig's process-wide state and the steps of its life.
#pragma once

#include "logger/report_format.h"
#include "logger/startup_rules.h"
#include "gpu/discovery.h"
#include "gpu/nvml.h"
#include "nvapi/nvapi.h"
#include "system/owned.h"

#include <windows.h>

#include <atomic>
#include <string>

constexpr int maxLoggedGpus = 8;

// Tessig's process-wide state, all of it.
struct TessigState {
    // Set at entry, cleared by the stop listener.
    std::atomic<int> loggerRunning;
    // Held from the entry to the end, whichever way it comes.
    OwnedMutex instanceMutex;
    // Standard output, taken during static initialisation.
    HANDLE consoleOut = GetStdHandle(STD_OUTPUT_HANDLE);
    // The program's own folder, where the history file lies; all zero when
    // its path does not fit.
    wchar_t workDir[workDirSize];

    // The GPU list: ordinary GPUs first, then those in TCC mode.
    NvPhysicalGpuHandle gpuHandles[NVAPI_MAX_PHYSICAL_GPUS];
    int gpuCount;
    GpuName gpuNames[maxLoggedGpus];
    NvU32 clockVersion[maxLoggedGpus];
    NvU32 pstatesVersion[maxLoggedGpus];
    NvU32 thermalVersion[maxLoggedGpus];
    // Set when a reading finds the handles stale: the next report discovers
    // the GPUs again first.
    bool handlesInvalidated;

    NvmlLibrary nvml;
    // The NVML index of each GPU of the list, paired by PCI bus and device;
    // -1 where NVML does not list the GPU.
    int nvmlIndex[maxLoggedGpus];
};
extern TessigState tessig;

// The state of a program that has not started: nothing running, no GPU, the
// console taken again. The libraries it loaded stay loaded, as they do for
// the program's whole life.
void resetTessigState();

// The start-up checks in their order: the system, NVAPI and the GPU list,
// NVML, the names (a list longer than eight is cut, with a warning), the
// record versions and the NVML pairs. Null, or the message to end with.
const wchar_t* startLogger();
// Returns only when the GPU list is complete; otherwise ends the process
// through exitWithMessage.
void initLogger();
// After a driver reset: the GPU list, names, record versions and NVML pairs
// made again with the start-up rules, quietly. False while no GPU (or no
// name) can be had; the next report tries again.
bool rediscoverGpus();
void probeRecordVersions();
[[noreturn]] void exitWithMessage(const wchar_t* message);

void printReport();

// Console output: UTF-16 to a real console, code page 932 (with CR LF line
// ends) when standard output is a file or a pipe.
void writeText(const std::wstring& text);
void setColor(ConsoleColor color);
// text in color, then the color back to normal.
void writeColored(const std::wstring& text, ConsoleColor color);
