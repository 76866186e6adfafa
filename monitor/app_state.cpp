#include "monitor/app_state.h"

std::atomic<int> appRunning{0};
std::atomic<int> procEnabled{0};
std::atomic<int> loopStarted{0};
std::atomic<int> readyStage{0};
std::atomic<int> inTray{0};
std::atomic<int> historyOn{0};
std::atomic<int> historyStartPending{0};

char workDir[workDirSize];

HWND mainWindow;
HANDLE instanceMutex;
NOTIFYICONDATAA trayIconData;

#ifndef _WIN64
static_assert(sizeof(NOTIFYICONDATAA) == 508, "the record form with balloon and GUID fields");
#endif
