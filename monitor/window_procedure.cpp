#include "monitor/window_procedure.h"

#include "monitor/app_state.h"
#include "monitor/buttons.h"
#include "monitor/face.h"
#include "monitor/reading_views.h"
#include "monitor/repaint.h"
#include "monitor/tray.h"
#include "skin/back_buffer.h"
#include "skin/painting.h"
#include "skin/skin_pack.h"
#include "sampling/logger_control.h"
#include "sampling/sampling_thread.h"

namespace {

void setArrow() {
    SetCursor(LoadCursor(nullptr, IDC_ARROW));
}

// The pointer in client coordinates; the coordinates in lParam are never used.
POINT pointerPosition() {
    POINT point;
    GetCursorPos(&point);
    ScreenToClient(parlex.mainWindow, &point);
    return point;
}

POINT toScreen(POINT point) {
    ClientToScreen(parlex.mainWindow, &point);
    return point;
}

void refresh() {
    // The pointer leaves the window without a message: from here on the
    // ticks poll where it is now.
    parlex.pointer = pointerPosition();
    followRediscoveredNames();
    updateReadingViews();
    const View* hit = parlex.face.root ? parlex.face.root->hitTest(parlex.pointer) : nullptr;
    // Skipped only while the window is being dragged with the pointer over it.
    if (!hit || !parlex.backgroundDrag)
        requestRepaint();
}

// The pointer handlers take the message's one hit test: the point and the
// view found there.
void pointerMoved(POINT point, View* hit) {
    if (parlex.pressedView) {
        parlex.pressedView->dragTo(point.x, point.y);
        requestRepaint();
    }
    if (parlex.hoverView) {
        // Still over it: it, not one of its children, is what its own subtree
        // has on top there.
        if (parlex.hoverView->hitTest(point) != parlex.hoverView) {
            parlex.hoverView->hovered = false;
            parlex.hoverView = nullptr;
            requestRepaint();
            return;
        }
        if (hit) {
            hit->hovered = true;
            parlex.hoverView = hit;
            if (hit != parlex.face.root.get())
                requestRepaint();
        }
        return;
    }
    // The first move into a view only records it; the next one sets hovered.
    parlex.hoverView = hit;
    if (parlex.hoverView != parlex.face.root.get())
        requestRepaint();
}

void pressed(POINT point, View* found, LPARAM lParam) {
    if (!found)
        return;
    if (found == parlex.face.root.get()) {
        // A press on the background moves the borderless window: the system's
        // move follows the pointer until the button is released.
        parlex.backgroundDrag = true;
        parlex.buttons.moveArmed = true;
        PostMessageA(parlex.mainWindow, WM_NCLBUTTONDOWN, HTCAPTION, lParam);
    }
    // A control's look is its poll's alone: its press is the tracker's.
    if (!isControl(found))
        found->press(toScreen(point));
    parlex.pressedView = found;
    if (found != parlex.face.root.get())
        requestRepaint();
}

void released(POINT point) {
    parlex.backgroundDrag = false;
    if (parlex.pressedView) {
        if (!isControl(parlex.pressedView))
            parlex.pressedView->release(toScreen(point));
        parlex.pressedView = nullptr;
        requestRepaint();
    }
}

// Window destruction: everything in order, then the quit message. Runs once,
// however many ways the window is ended at the same time.
void shutdown() {
    if (parlex.phase == WindowPhase::ended)
        return;
    parlex.phase = WindowPhase::ended;
    parlex.shared.appRunning = 0;
    parlex.pressedView = parlex.hoverView = nullptr;
    destroyFace(parlex.face);
    parlex.backBuffer.destroy();
    parlex.instanceMutex.reset();
    removeSkinFiles(parlex.skin);
    PostQuitMessage(0);
}

// Log-off and shutdown end the process without WM_DESTROY, at any moment
// after WM_ENDSESSION returns: what a close leaves nothing of goes now. The
// window and its views stay for whatever the system still sends.
void endSession() {
    endThreads();
    removeSkinFiles(parlex.skin);
}

bool isPointerMessage(UINT message) {
    return message == WM_MOUSEMOVE || message == WM_LBUTTONDOWN || message == WM_LBUTTONUP;
}

// What the controls, Escape or the tray menu asked for, acted on once they
// are done: the one way the running program ends its window. False when the
// window is gone: nothing of the message is left to handle.
bool act(const ControlActions& actions) {
    if (actions.toggleHistory)
        toggleHistory();
    if (actions.close) {
        // Nothing acts on what DestroyWindow sends before WM_DESTROY; the
        // shutdown runs inside this call and deletes every view.
        parlex.shared.appRunning = 0;
        DestroyWindow(parlex.mainWindow);
        return false;
    }
    if (actions.hideToTray)
        hideToTray();
    if (actions.repaint || actions.toggleHistory)
        requestRepaint();
    return true;
}

// The 1 ms tick serves the controls alone: it carries a press through its
// phases. With the button up, no press under way and no drag, it has nothing
// to do until the next pointer message, wherever the pointer is, and on a real
// system each tick is a wake-up that keeps the processor from its deep sleep
// states; so it rests until a pointer message arrives. That message is itself
// handled before any tick, as a tick would handle it.
void restFastTimerWhenIdle(HWND window) {
    if (parlex.phase != WindowPhase::live ||
        parlex.buttons.mouseButtonState != MouseButtonState::ButtonUp || parlex.backgroundDrag ||
        (parlex.buttons.closePhase != ButtonPhase::Idle &&
         parlex.buttons.closePhase != ButtonPhase::Done) ||
        (parlex.buttons.trayPhase != ButtonPhase::Idle &&
         parlex.buttons.trayPhase != ButtonPhase::Done))
        return;
    KillTimer(window, fastTimer);
    parlex.phase = WindowPhase::resting;
}

void wakeFastTimer(HWND window, UINT message) {
    if (parlex.phase != WindowPhase::resting)
        return;
    if (message != WM_MOUSEMOVE && message != WM_LBUTTONDOWN && message != WM_LBUTTONUP &&
        message != WM_SETCURSOR && message != WM_NCMOUSEMOVE)
        return;
    parlex.phase = WindowPhase::live;
    SetTimer(window, fastTimer, 1, nullptr);
}

// From the loop's start to the shutdown.
bool loopRuns(WindowPhase phase) {
    return phase == WindowPhase::opening || phase == WindowPhase::live ||
           phase == WindowPhase::resting;
}

bool controlsLive(WindowPhase phase) {
    return phase == WindowPhase::live || phase == WindowPhase::resting;
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

void endThreads() {
    parlex.shared.appRunning = 0;
    const DWORD started = GetTickCount(), allowed = 2000;
    stopSamplingThread(parlex.shared, allowed);
    const DWORD spent = GetTickCount() - started;
    waitForLoggerLaunch(parlex.shared, spent < allowed ? allowed - spent : 0);
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!parlex.procedureEnabled) {
        // A notice's own loop is running; the window may still be ended from
        // outside (the system, the taskbar), and then it ends in order.
        if (message == WM_DESTROY && loopRuns(parlex.phase)) {
            shutdown();
            return 0;
        }
        if (message == WM_ENDSESSION && wParam)
            endSession();
        return DefWindowProcA(window, message, wParam, lParam);
    }
    wakeFastTimer(window, message);
    trackMouseButton(message, wParam);
    // A pointer message takes the pointer before the poll, so that a press
    // that follows a jump onto a control (a tap, a pen, a remote session) is
    // polled where it happened; the ticks poll where the last one left it.
    // It is hit-tested once, and its handler below takes the same point and
    // view.
    View* hit = nullptr;
    if (isPointerMessage(message)) {
        parlex.pointer = pointerPosition();
        if (parlex.shared.appRunning && parlex.face.root)
            hit = parlex.face.root->hitTest(parlex.pointer);
    }
    const POINT point = parlex.pointer;
    if (controlsLive(parlex.phase) && pollsOn(message)) {
        if (!act(pollButtons(point)))
            return 0;
        // A plain tick keeps the cursor the pointer has.
        if (message != WM_TIMER || wParam != fastTimer)
            setArrow();
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
        parlex.phase = WindowPhase::starting;
        return 0;
    case WM_DESTROY:
        shutdown();
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        if (wParam)
            endSession();
        return 0;
    case WM_PAINT:
        paintWindow(parlex.backBuffer, window, parlex.face.root.get());
        setArrow();
        return 0;
    case WM_SETCURSOR:
    case WM_EXITSIZEMOVE:
        if (parlex.shared.appRunning)
            parlex.backgroundDrag = false;
        setArrow();
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) {
            act({.close = true});
            return 0;
        }
        setArrow();
        return 0;
    case WM_TIMER:
        if (!parlex.shared.appRunning)
            return 0;
        if (wParam == fastTimer) {
            if (parlex.phase == WindowPhase::opening)
                parlex.phase = WindowPhase::live;
            else
                restFastTimerWhenIdle(window);
            return 0;
        }
        if (wParam == refreshTimer) {
            // The views exist only once start-up has built them; a notice
            // during start-up runs this timer before that.
            if (controlsLive(parlex.phase) && parlex.face.root)
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
        if (parlex.shared.appRunning && parlex.face.root)
            pointerMoved(point, hit);
        setArrow();
        return 0;
    case WM_LBUTTONDOWN:
        if (parlex.shared.appRunning)
            pressed(point, hit, lParam);
        setArrow();
        return 0;
    case WM_LBUTTONUP:
        if (parlex.shared.appRunning)
            released(point);
        setArrow();
        return 0;
    case WM_TRAYICON:
        act(trayIconMessage(lParam));
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
