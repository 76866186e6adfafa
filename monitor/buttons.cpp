#include "monitor/buttons.h"
#include "monitor/app_state.h"
#include "monitor/face.h"

namespace {

TrackedMessage tracked(UINT message, WPARAM wParam) {
    switch (message) {
    case WM_TIMER:
        return wParam == fastTimer ? TrackedMessage::fastTimer : TrackedMessage::other;
    case WM_LBUTTONDOWN:
        return TrackedMessage::leftDown;
    case WM_LBUTTONUP:
        return TrackedMessage::leftUp;
    case WM_NCLBUTTONUP:
        return TrackedMessage::nonClientLeftUp;
    case WM_SETCURSOR:
        return TrackedMessage::setCursor;
    case WM_EXITSIZEMOVE:
        return TrackedMessage::exitSizeMove;
    default:
        return TrackedMessage::other;
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
    if (step.look == ButtonLook::unchanged)
        return false;
    button->imageSelector = step.look == ButtonLook::showPressed ? ImageSelector::SelectorPressed
                                                                 : ImageSelector::SelectorAuto;
    return true;
}

} // namespace

void resetButtons() {
    parlex.buttons.mouseButtonState = MouseButtonState::ButtonUp;
    parlex.buttons.moveArmed = 0;
    parlex.buttons.closePhase = ButtonPhase::Idle;
    parlex.buttons.trayPhase = ButtonPhase::Idle;
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
        if (parlex.buttons.closePhase == ButtonPhase::Fired) {
            parlex.buttons.closePhase = ButtonPhase::Done;
            actions.close = true;
            return actions;
        }
        actions.repaint |= applyStep(close, parlex.buttons.closePhase);
    }
    if (View* tray = parlex.face.trayButton) {
        if (parlex.buttons.trayPhase == ButtonPhase::Fired) {
            parlex.buttons.trayPhase = ButtonPhase::Done;
            actions.hideToTray = true;
        }
        actions.repaint |= applyStep(tray, parlex.buttons.trayPhase);
    }
    return actions;
}

void toggleHistory() {
    View* box = parlex.face.historyCheckBox;
    if (box->imageSelector == ImageSelector::SelectorAuto) {
        // Ticked shows the pressed image.
        box->imageSelector = ImageSelector::SelectorPressed;
        parlex.shared.historyOn = 1;
        parlex.shared.historyStartPending = 1;
    } else {
        box->imageSelector = ImageSelector::SelectorAuto;
        parlex.shared.historyOn = 0;
    }
}

bool isControl(const View* view) {
    return view && (view == parlex.face.closeButton || view == parlex.face.trayButton ||
                    view == parlex.face.historyCheckBox);
}
