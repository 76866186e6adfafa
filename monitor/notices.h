// Parlex's message boxes: caption "Parlex", an OK button, UTF-16 text so that
// the Japanese messages read right on every Windows, whatever its code page.
#pragma once

#include "monitor/start_failure.h"

#include <windows.h>

// A start-up failure: the window procedure is switched off for good, then the box.
void showFailure(const StartFailure& failure, HWND owner);
// A notice during start-up that does not end it: the box alone.
void showStartupNotice(const wchar_t* text);
// A notice of the sampling thread: the window procedure is switched off while
// the box is open and on again afterwards.
void showRunningNotice(const wchar_t* text);
