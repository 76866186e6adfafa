// Tessig's process-wide state and the steps of its life.
#pragma once

#include "gpu/nvml.h"
#include "logger/report_format.h"
#include "logger/startup_rules.h"
#include "nvapi/nvapi.h"

#include <windows.h>

#include <atomic>
#include <string>

constexpr int maxLoggedGpus = 8;

// Set at entry, cleared by the stop listener.
extern std::atomic<int> loggerRunning;
extern HANDLE instanceMutex;
// Standard output, taken during static initialisation.
extern HANDLE consoleOut;
extern char workDir[workDirSize];

// The GPU list: ordinary GPUs first, then those in TCC mode.
extern NvPhysicalGpuHandle gpuHandles[NVAPI_MAX_PHYSICAL_GPUS];
extern int gpuCount;
extern wchar_t gpuNames[maxLoggedGpus][100];
extern NvU32 clockVersion[maxLoggedGpus];
extern NvU32 pstatesVersion[maxLoggedGpus];
extern NvU32 thermalVersion[maxLoggedGpus];

extern NvmlLibrary nvml;
// The NVML index of each GPU of the list, paired by PCI bus and device;
// -1 where NVML does not list the GPU.
extern int nvmlIndex[maxLoggedGpus];

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
void setColour(ConsoleColour colour);
// text in colour, then the colour back to normal.
void writeColoured(const std::wstring& text, ConsoleColour colour);
