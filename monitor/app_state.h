// Parlex's process-wide state. Words that the sampling thread shares with the
// window's thread are atomics read and written whole, without locks.
#pragma once

#include "monitor/resource_ids.h"

#include <windows.h>
#include <shellapi.h>

#include <atomic>

extern std::atomic<int> appRunning;          // cleared when the window closes
extern std::atomic<int> procEnabled;         // 0: the window procedure passes everything on
extern std::atomic<int> loopStarted;         // the message loop runs
extern std::atomic<int> readyStage;          // 0 no window, 1 timers run, 2 fully live
extern std::atomic<int> inTray;              // hidden to the notification area
extern std::atomic<int> historyOn;           // "Monitor History" ticked
extern std::atomic<int> historyStartPending; // a logger launch is wanted

constexpr int workDirSize = 261;
extern char workDir[workDirSize];

extern HWND mainWindow;
extern HANDLE instanceMutex;
extern NOTIFYICONDATAA trayIconData;

constexpr UINT WM_TRAYICON = WM_APP + 3;
constexpr UINT_PTR fastTimer = 101;      // 1 ms: start-up gate, button tracker and poll
constexpr UINT_PTR refreshTimer = 102;   // 1000 ms: display texts and repaint
constexpr UINT_PTR trayRetryTimer = 103; // 500 ms: the icon, while the shell refuses it
constexpr int windowWidth = 271;
constexpr int windowHeight = 141;

// Resources of the program.
constexpr int titleStringId = TITLE_STRING_ID;
constexpr int classNameStringId = CLASS_NAME_STRING_ID;
constexpr int trayIconId = TRAY_ICON_ID;
constexpr int smallIconId = SMALL_ICON_ID;
constexpr int skinResourceId = SKIN_RESOURCE_ID;
