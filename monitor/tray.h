// The notification-area icon that stands for the hidden window, and its menu.
#pragma once

#include <windows.h>

void hideToTray();
void restoreFromTray();
// WM_TRAYICON: lParam is the mouse message that happened on the icon.
void trayIconMessage(LPARAM lParam);
// The shell's "TaskbarCreated" message, sent when the taskbar is made anew.
UINT taskbarCreatedMessage();
// The taskbar came back: while hidden, the icon is the only way back to the
// window, so it is added again.
void trayRecreated();
