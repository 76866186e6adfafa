// The three skin controls, driven by polling: the close button, the tray
// button and the "Monitor History" check box. The poll only advances their
// states and says what they did; the window procedure acts on that.
#pragma once

#include "monitor/button_logic.h"

#include <windows.h>

class View;

// What the controls did at one poll; Escape and the tray icon's menu ask
// for the close in the same words.
struct ControlActions {
    bool close = false;         // the close button was clicked: end Parlex
    bool hideToTray = false;    // the tray button was clicked
    bool toggleHistory = false; // a press on the check box ticks or unticks it
    bool repaint = false;       // a control shows another image
};

// The left-button tracker: called first for every message the procedure handles.
void trackMouseButton(UINT message, WPARAM wParam);
// The button poll: the check box, the close button, the tray button, each
// inside or not by pointer, in client coordinates. Once the close button has
// been clicked the poll stops there: the window is about to go.
ControlActions pollButtons(POINT pointer);
// Ticks or unticks "Monitor History": the box's image and the logger flags.
void toggleHistory();
// Whether a view is one of the three controls, whose look their poll alone
// decides (a press or release of the view itself does not change it).
bool isControl(const View* view);
