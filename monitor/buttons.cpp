#include "monitor/buttons.h"
#include "monitor/app_state.h"
#include "monitor/tray.h"
#include "monitor/repaint.h"
#include "monitor/face.h"

int mouseButtonState;
int moveArmed;
ButtonPhase closePhase;
ButtonPhase trayPhase;
int historyLatch;

namespace {

TrackedMessage tracked(UINT message, WPARAM wParam) {
    switch (message) {
    case WM_TIMER:
        return wParam == fastTimer ? TrackedMessage::FastTimer : TrackedMessage::Other;
    case WM_LBUTTONDOWN:
        return TrackedMessage::LeftDown;
    case WM_LBUTTONUP:
        return TrackedMessage::LeftUp;
    case WM_NCLBUTTONUP:
        return TrackedMessage::NonClientLeftUp;
    case WM_SETCURSOR:
        return TrackedMessage::SetCursor;
    case WM_EXITSIZEMOVE:
        return TrackedMessage::ExitSizeMove;
    default:
        return TrackedMessage::Other;
    }
}

void checkBoxStep() {
    if (!appRunning || !historyCheckBox)
        return;
    CheckBoxStep step = stepCheckBox(historyCheckBox->underCursor, mouseButtonState, historyLatch);
    historyLatch = step.latch;
    if (!step.toggle)
        return;
    historyCheckBox->pressed = 0;
    if (historyCheckBox->imageSelector == SelectorAuto) {
        // Ticked shows the pressed image.
        historyCheckBox->imageSelector = SelectorPressed;
        historyOn = 1;
        historyStartPending = 1;
    } else {
        historyCheckBox->imageSelector = SelectorAuto;
        historyOn = 0;
    }
    requestRepaint();
}

void applyStep(View* button, ButtonPhase& phase) {
    ButtonStep step = stepButton(phase, button->underCursor, mouseButtonState);
    phase = step.phase;
    if (step.look == ButtonLook::Unchanged)
        return;
    button->imageSelector = step.look == ButtonLook::ShowPressed ? SelectorPressed : SelectorAuto;
    requestRepaint();
}

void closeStep() {
    if (!appRunning || !closeButton)
        return;
    if (closePhase == Fired) {
        closePhase = Done;
        // The shutdown runs inside this call and deletes every view.
        DestroyWindow(mainWindow);
        return;
    }
    applyStep(closeButton, closePhase);
}

void trayStep() {
    if (!appRunning || !trayButton)
        return;
    if (trayPhase == Fired) {
        trayPhase = Done;
        hideToTray();
    }
    applyStep(trayButton, trayPhase);
}

} // namespace

void resetButtons() {
    mouseButtonState = ButtonUp;
    moveArmed = 0;
    closePhase = Idle;
    trayPhase = Idle;
    historyLatch = 0;
}

void trackMouseButton(UINT message, WPARAM wParam) {
    TrackerState next = trackButton({mouseButtonState, moveArmed}, tracked(message, wParam));
    mouseButtonState = next.button;
    moveArmed = next.moveArmed;
}

void pollButtons(bool setArrow) {
    checkBoxStep();
    closeStep();
    trayStep();
    if (setArrow)
        SetCursor(LoadCursor(nullptr, IDC_ARROW));
}
