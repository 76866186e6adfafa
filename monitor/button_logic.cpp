#include "monitor/button_logic.h"

TrackerState trackButton(TrackerState before, TrackedMessage message) {
    if (message == TrackedMessage::other)
        return before;
    using enum MouseButtonState;
    const MouseButtonState s = before.button;
    if (message != TrackedMessage::leftDown && (s == ButtonUp || s == JustReleased))
        return {ButtonUp, false};
    if (message == TrackedMessage::leftUp || message == TrackedMessage::nonClientLeftUp ||
        message == TrackedMessage::exitSizeMove)
        return {JustReleased, false};
    // The system's move of the window swallows the release of a background
    // press; the next WM_SETCURSOR stands for it.
    if (message == TrackedMessage::setCursor && before.moveArmed)
        return {JustReleased, false};
    return {s == JustPressed || s == ButtonDown ? ButtonDown : JustPressed, before.moveArmed};
}

ButtonStep stepButton(ButtonPhase phase, bool inside, MouseButtonState tracker) {
    using enum ButtonPhase;
    using enum MouseButtonState;
    // The click is carried out one poll after the release, which has shown
    // the main image again; the button then waits as Done does.
    if (phase == Fired) {
        ButtonStep step = stepButton(Done, inside, tracker);
        step.clicked = true;
        return step;
    }
    if (inside) {
        if (tracker == JustPressed && phase == Idle)
            return {Pressed, ButtonLook::showPressed};
        if (tracker == ButtonDown && phase == Pressed)
            return {Held, ButtonLook::unchanged};
        // A tap whose press and release came with no tick between them
        // never reached Held; it is a whole click all the same.
        if (tracker == JustReleased && (phase == Held || phase == Pressed))
            return {Fired, ButtonLook::showMain};
        return {phase, ButtonLook::unchanged};
    }
    if (phase != Idle)
        return {Idle, ButtonLook::showMain};
    return {phase, ButtonLook::unchanged};
}

CheckBoxStep stepCheckBox(bool inside, MouseButtonState tracker, bool latch) {
    if (!inside || tracker != MouseButtonState::JustPressed)
        return {false, false};
    return {true, !latch};
}
