// Keeps the history logger running while "Monitor History" is ticked.
#pragma once

#include <windows.h>

#include <string>

struct SamplingState;

// One step, at the end of every pass of the sampling thread. A logger that
// cannot start is told through the state's calls.showLoggerNotice, once a run.
void runLoggerControl(SamplingState& state);
// Waits, at most this long, for a launch of the logger under way to return
// from the shell; true when none is under way any more.
bool waitForLoggerLaunch(SamplingState& state, DWORD milliseconds);

// The parameters of cmd.exe that run Tessig.exe from directory.
std::wstring loggerParameters(const wchar_t* directory);
