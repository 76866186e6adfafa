// Keeps the history logger running while "Monitor History" is ticked.
#pragma once

#include <windows.h>

#include <string>

// One step, at the end of every pass of the sampling thread.
void runLoggerControl();
// Shows a notice of a logger that cannot start, on the sampling thread; the
// window program sets it. The first notice of a run is the only one.
extern void (*showLoggerNotice)(const wchar_t* text);
// Waits, at most this long, for a launch of the logger under way to return
// from the shell; true when none is under way any more.
bool waitForLoggerLaunch(DWORD milliseconds);

// The parameters of cmd.exe that run Tessig.exe from directory.
std::string loggerParameters(const char* directory);
