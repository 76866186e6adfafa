#include "monitor/window_procedure.h"
#include "monitor/app_state.h"
#include "monitor/buttons.h"
#include "monitor/repaint.h"
#include "monitor/tray.h"
#include "monitor/reading_views.h"
#include "skin/back_buffer.h"
#include "skin/painting.h"
#include "monitor/face.h"
#include "skin/skin_pack.h"

namespace {

// The view a press began on, the view under the pointer, and whether the
// background is being dragged: the window's own, no other file sees them.
View* pressedView;
View* hoverView;
int backgroundDrag;

void setArrow() {
    SetCursor(LoadCursor(nullptr, IDC_ARROW));
}

// The pointer in client coordinates; the coordinates in lParam are never used.
POINT pointerPosition() {
    POINT point;
    GetCursorPos(&point);
    ScreenToClient(mainWindow, &point);
    return point;
}

POINT toScreen(POINT point) {
    ClientToScreen(mainWindow, &point);
    return point;
}

void refresh() {
    POINT point = pointerPosition();
    followRediscoveredNames();
    updateReadingViews();
    View* hit = rootView ? rootView->hitTest(point) : nullptr;
    // Skipped only while the window is being dragged with the pointer over it.
    if (!hit || !backgroundDrag)
        requestRepaint();
}

void pointerMoved() {
    POINT point = pointerPosition();
    if (pressedView) {
        pressedView->dragTo(point.x, point.y);
        requestRepaint();
    }
    if (hoverView) {
        if (hoverView->hitTest(point) != hoverView) {
            hoverView->hovered = 0;
            hoverView = nullptr;
            requestRepaint();
            return;
        }
        View* found = rootView->hitTest(point);
        if (found) {
            found->hovered = 1;
            hoverView = found;
            if (found != rootView)
                requestRepaint();
        }
        return;
    }
    // The first move into a view only records it; the next one sets hovered.
    hoverView = rootView ? rootView->hitTest(point) : nullptr;
    if (hoverView != rootView)
        requestRepaint();
}

void pressed(LPARAM lParam) {
    POINT point = pointerPosition();
    View* found = rootView ? rootView->hitTest(point) : nullptr;
    if (!found)
        return;
    if (found == rootView) {
        // A press on the background moves the borderless window: the system's
        // move follows the pointer until the button is released.
        backgroundDrag = 1;
        moveArmed = 1;
        PostMessageA(mainWindow, WM_NCLBUTTONDOWN, HTCAPTION, lParam);
    }
    found->press(toScreen(point));
    pressedView = found;
    if (found != rootView)
        requestRepaint();
}

void released() {
    backgroundDrag = 0;
    POINT point = pointerPosition();
    if (pressedView) {
        pressedView->release(toScreen(point));
        pressedView = nullptr;
        requestRepaint();
    }
}

// Window destruction: everything in order, then the quit message. Runs once,
// however many ways the window is ended at the same time.
bool shutdownDone;

void shutdown() {
    if (shutdownDone)
        return;
    shutdownDone = true;
    appRunning = 0;
    pressedView = hoverView = nullptr;
    destroyLayout();
    destroyBackBuffer(mainWindow);
    ReleaseMutex(instanceMutex);
    CloseHandle(instanceMutex);
    removeSkinFiles();
    PostQuitMessage(0);
}

// The controls learn that the pointer is over them from a hit test. A pointer
// message is checked before the poll, so that a press that follows a jump onto
// a control (a tap, a pen, a remote session) finds the control's flag fresh.
void refreshUnderCursor(UINT message) {
    if (!appRunning || !rootView)
        return;
    if (message != WM_MOUSEMOVE && message != WM_LBUTTONDOWN && message != WM_LBUTTONUP)
        return;
    rootView->hitTest(pointerPosition());
}

// The 1 ms tick serves the controls alone: it carries a press through its
// phases. With the button up, no press under way and no drag, it has nothing
// to do until the next pointer message, wherever the pointer is, and on a real
// system each tick is a wake-up that keeps the processor from its deep sleep
// states; so it rests until a pointer message arrives. That message is itself
// handled before any tick, as a tick would handle it.
bool fastTimerResting;

void restFastTimerWhenIdle(HWND window) {
    if (readyStage != 2 || fastTimerResting || mouseButtonState != ButtonUp || backgroundDrag ||
        (closePhase != Idle && closePhase != Done) || (trayPhase != Idle && trayPhase != Done))
        return;
    KillTimer(window, fastTimer);
    fastTimerResting = true;
}

void wakeFastTimer(HWND window, UINT message) {
    if (!fastTimerResting)
        return;
    if (message != WM_MOUSEMOVE && message != WM_LBUTTONDOWN && message != WM_LBUTTONUP &&
        message != WM_SETCURSOR && message != WM_NCMOUSEMOVE)
        return;
    fastTimerResting = false;
    SetTimer(window, fastTimer, 1, nullptr);
}

bool pollsOn(UINT message) {
    switch (message) {
    case WM_TIMER:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_SETCURSOR:
    case WM_EXITSIZEMOVE:
        return true;
    default:
        return false;
    }
}

} // namespace

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!procEnabled) {
        // A notice's own loop is running; the window may still be ended from
        // outside (the system, the taskbar), and then it ends in order.
        if (message == WM_DESTROY && loopStarted) {
            shutdown();
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }
    wakeFastTimer(window, message);
    trackMouseButton(message, wParam);
    if (readyStage == 2 && loopStarted && pollsOn(message)) {
        refreshUnderCursor(message);
        pollButtons(message != WM_TIMER || wParam != fastTimer);
    }

    const UINT taskbarCreated = taskbarCreatedMessage();
    if (taskbarCreated && message == taskbarCreated) {
        trayRecreated();
        return 0;
    }
    switch (message) {
    case WM_CREATE:
        SetTimer(window, fastTimer, 1, nullptr);
        SetTimer(window, refreshTimer, 1000, nullptr);
        ++readyStage;
        return 0;
    case WM_DESTROY:
        shutdown();
        return 0;
    case WM_PAINT:
        paintWindow(window, rootView);
        setArrow();
        return 0;
    case WM_SETCURSOR:
    case WM_EXITSIZEMOVE:
        if (appRunning)
            backgroundDrag = 0;
        setArrow();
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) {
            appRunning = 0;
            DestroyWindow(window);
            return 0;
        }
        setArrow();
        return 0;
    case WM_TIMER:
        if (!appRunning)
            return 0;
        if (wParam == fastTimer) {
            if (readyStage == 1)
                readyStage = 2;
            else if (loopStarted)
                restFastTimerWhenIdle(window);
            return 0;
        }
        if (wParam == refreshTimer) {
            // The views exist only once start-up has built them; a notice
            // during start-up runs this timer before that.
            if (readyStage == 2 && rootView)
                refresh();
            return 0;
        }
        if (wParam == trayRetryTimer) {
            retryTrayIcon();
            return 0;
        }
        setArrow();
        return 0;
    case WM_MOUSEMOVE:
        if (appRunning && rootView)
            pointerMoved();
        setArrow();
        return 0;
    case WM_LBUTTONDOWN:
        if (appRunning)
            pressed(lParam);
        setArrow();
        return 0;
    case WM_LBUTTONUP:
        if (appRunning)
            released();
        setArrow();
        return 0;
    case WM_TRAYICON:
        trayIconMessage(lParam);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
