#include "monitor/button_logic.h"

TrackerState trackButton(TrackerState before, TrackedMessage message) {
    if (message == TrackedMessage::Other)
        return before;
    const int s = before.button;
    if (message != TrackedMessage::LeftDown && (s == ButtonUp || s == JustReleased))
        return {ButtonUp, 0};
    if (message == TrackedMessage::LeftUp || message == TrackedMessage::NonClientLeftUp ||
        message == TrackedMessage::ExitSizeMove)
        return {JustReleased, 0};
    // The system's move of the window swallows the release of a background
    // press; the next WM_SETCURSOR stands for it.
    if (message == TrackedMessage::SetCursor && before.moveArmed)
        return {JustReleased, 0};
    return {s == JustPressed || s == ButtonDown ? ButtonDown : JustPressed, before.moveArmed};
}

ButtonStep stepButton(ButtonPhase phase, bool inside, int tracker) {
    if (inside) {
        if (tracker == JustPressed && phase == Idle)
            return {Pressed, ButtonLook::ShowPressed};
        if (tracker == ButtonDown && phase == Pressed)
            return {Held, ButtonLook::Unchanged};
        // A tap whose press and release came with no tick between them
        // never reached Held; it is a whole click all the same.
        if (tracker == JustReleased && (phase == Held || phase == Pressed))
            return {Fired, ButtonLook::ShowMain};
        return {phase, ButtonLook::Unchanged};
    }
    if (phase != Idle)
        return {Idle, ButtonLook::ShowMain};
    return {phase, ButtonLook::Unchanged};
}

CheckBoxStep stepCheckBox(bool inside, int tracker, int latch) {
    if (!inside || tracker != JustPressed)
        return {0, false};
    if (latch)
        return {1, false};
    return {1, true};
}
