// The notification-area icon that stands for the hidden window, and its menu.
#pragma once

#include "monitor/buttons.h"

#include <windows.h>

// Hides the window to its icon. Where the shell refuses the icon, it is tried
// again on trayRetryTimer for a few seconds, and then the window comes back.
void hideToTray();
// trayRetryTimer's tick.
void retryTrayIcon();
void restoreFromTray();
// WM_TRAYICON: lParam is the mouse message that happened on the icon. What
// the icon's menu asks of the window ("close": its close) comes back, for
// the window procedure to act on.
ControlActions trayIconMessage(LPARAM lParam);
// The shell's "TaskbarCreated" message, sent when the taskbar is made anew.
UINT taskbarCreatedMessage();
// The taskbar came back: while hidden, the icon is the only way back to the
// window, so it is added again.
void trayRecreated();
// Lets the shell's "TaskbarCreated" reach the window although the shell runs
// at a lower integrity level than this elevated program.
void allowTaskbarCreated(HWND window);
