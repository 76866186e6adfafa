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

bool checkBoxStep(POINT pointer) {
    View* box = parlex.face.historyCheckBox;
    if (!box)
        return false;
    CheckBoxStep step = stepCheckBox(box->contains(pointer), parlex.buttons.mouseButtonState,
                                     parlex.buttons.historyLatch);
    parlex.buttons.historyLatch = step.latch;
    return step.toggle;
}

// One button's step: its phase and image as stepButton says. True when it
// was clicked.
bool buttonStep(View* button, ButtonPhase& phase, POINT pointer, bool& repaint) {
    ButtonStep step = stepButton(phase, button->contains(pointer), parlex.buttons.mouseButtonState);
    phase = step.phase;
    if (step.look != ButtonLook::unchanged) {
        button->imageSelector = step.look == ButtonLook::showPressed
                                    ? ImageSelector::SelectorPressed
                                    : ImageSelector::SelectorAuto;
        repaint = true;
    }
    return step.clicked;
}

} // namespace

void trackMouseButton(UINT message, WPARAM wParam) {
    TrackerState next = trackButton({parlex.buttons.mouseButtonState, parlex.buttons.moveArmed},
                                    tracked(message, wParam));
    parlex.buttons.mouseButtonState = next.button;
    parlex.buttons.moveArmed = next.moveArmed;
}

ControlActions pollButtons(POINT pointer) {
    ControlActions actions;
    if (!parlex.shared.appRunning)
        return actions;
    actions.toggleHistory = checkBoxStep(pointer);
    if (View* close = parlex.face.closeButton)
        if (buttonStep(close, parlex.buttons.closePhase, pointer, actions.repaint)) {
            actions.close = true;
            return actions;
        }
    if (View* tray = parlex.face.trayButton)
        actions.hideToTray = buttonStep(tray, parlex.buttons.trayPhase, pointer, actions.repaint);
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
