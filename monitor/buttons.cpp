#include "monitor/buttons.h"
#include "monitor/app_state.h"
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

bool checkBoxStep() {
    if (!parlex.face.historyCheckBox)
        return false;
    CheckBoxStep step = stepCheckBox(parlex.face.historyCheckBox->underCursor,
                                     parlex.buttons.mouseButtonState, parlex.buttons.historyLatch);
    parlex.buttons.historyLatch = step.latch;
    return step.toggle;
}

// Steps 2 and 3 of a button; true when its image changed.
bool applyStep(View* button, ButtonPhase& phase) {
    ButtonStep step = stepButton(phase, button->underCursor, parlex.buttons.mouseButtonState);
    phase = step.phase;
    if (step.look == ButtonLook::Unchanged)
        return false;
    button->imageSelector = step.look == ButtonLook::ShowPressed ? SelectorPressed : SelectorAuto;
    return true;
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

ControlActions pollButtons() {
    ControlActions actions;
    if (!parlex.shared.appRunning)
        return actions;
    actions.toggleHistory = checkBoxStep();
    if (View* close = parlex.face.closeButton) {
        if (parlex.buttons.closePhase == Fired) {
            parlex.buttons.closePhase = Done;
            actions.close = true;
            return actions;
        }
        actions.repaint |= applyStep(close, parlex.buttons.closePhase);
    }
    if (View* tray = parlex.face.trayButton) {
        if (parlex.buttons.trayPhase == Fired) {
            parlex.buttons.trayPhase = Done;
            actions.hideToTray = true;
        }
        actions.repaint |= applyStep(tray, parlex.buttons.trayPhase);
    }
    return actions;
}

void toggleHistory() {
    View* box = parlex.face.historyCheckBox;
    if (box->imageSelector == SelectorAuto) {
        // Ticked shows the pressed image.
        box->imageSelector = SelectorPressed;
        parlex.shared.historyOn = 1;
        parlex.shared.historyStartPending = 1;
    } else {
        box->imageSelector = SelectorAuto;
        parlex.shared.historyOn = 0;
    }
}

bool isControl(const View* view) {
    return view && (view == parlex.face.closeButton || view == parlex.face.trayButton ||
                    view == parlex.face.historyCheckBox);
}
