// The three skin controls, driven by polling: the close button, the tray
// button and the "Monitor History" check box.
#pragma once

#include "monitor/button_logic.h"

#include <windows.h>

void resetButtons();
// The left-button tracker: called first for every message the procedure handles.
void trackMouseButton(UINT message, WPARAM wParam);
// The button poll: the check box, the close button, the tray button. The
// arrow is set again unless the poll is a plain tick: a pointer that has not
// moved keeps the cursor it has.
void pollButtons(bool setArrow = true);
