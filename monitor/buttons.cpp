#include "monitor/buttons.h"
#include "monitor/app_state.h"
#include "monitor/tray.h"
#include "monitor/repaint.h"
#include "monitor/face.h"

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
    if (!parlex.shared.appRunning || !parlex.face.historyCheckBox)
        return;
    CheckBoxStep step = stepCheckBox(parlex.face.historyCheckBox->underCursor,
                                     parlex.buttons.mouseButtonState, parlex.buttons.historyLatch);
    parlex.buttons.historyLatch = step.latch;
    if (!step.toggle)
        return;
    parlex.face.historyCheckBox->pressed = 0;
    if (parlex.face.historyCheckBox->imageSelector == SelectorAuto) {
        // Ticked shows the pressed image.
        parlex.face.historyCheckBox->imageSelector = SelectorPressed;
        parlex.shared.historyOn = 1;
        parlex.shared.historyStartPending = 1;
    } else {
        parlex.face.historyCheckBox->imageSelector = SelectorAuto;
        parlex.shared.historyOn = 0;
    }
    requestRepaint();
}

void applyStep(View* button, ButtonPhase& phase) {
    ButtonStep step = stepButton(phase, button->underCursor, parlex.buttons.mouseButtonState);
    phase = step.phase;
    if (step.look == ButtonLook::Unchanged)
        return;
    button->imageSelector = step.look == ButtonLook::ShowPressed ? SelectorPressed : SelectorAuto;
    requestRepaint();
}

void closeStep() {
    if (!parlex.shared.appRunning || !parlex.face.closeButton)
        return;
    if (parlex.buttons.closePhase == Fired) {
        parlex.buttons.closePhase = Done;
        // The shutdown runs inside this call and deletes every view.
        DestroyWindow(parlex.mainWindow);
        return;
    }
    applyStep(parlex.face.closeButton, parlex.buttons.closePhase);
}

void trayStep() {
    if (!parlex.shared.appRunning || !parlex.face.trayButton)
        return;
    if (parlex.buttons.trayPhase == Fired) {
        parlex.buttons.trayPhase = Done;
        hideToTray();
    }
    applyStep(parlex.face.trayButton, parlex.buttons.trayPhase);
}

} // namespace

void resetButtons() {
    parlex.buttons.mouseButtonState = ButtonUp;
    parlex.buttons.moveArmed = 0;
    parlex.buttons.closePhase = Idle;
    parlex.buttons.trayPhase = Idle;
    parlex.buttons.historyLatch = 0;
}

void trackMouseButton(UINT message, WPARAM wParam) {
    TrackerState next = trackButton({parlex.buttons.mouseButtonState, parlex.buttons.moveArmed},
                                    tracked(message, wParam));
    parlex.buttons.mouseButtonState = next.button;
    parlex.buttons.moveArmed = next.moveArmed;
}

void pollButtons(bool setArrow) {
    checkBoxStep();
    closeStep();
    trayStep();
    if (setArrow)
        SetCursor(LoadCursor(nullptr, IDC_ARROW));
}
