// The rules of the skin buttons, without any window: the left-button tracker,
// the phases of the close and tray buttons, and the check box's latch.
#pragma once

enum class MouseButtonState { ButtonUp = 0, JustReleased = 1, JustPressed = 2, ButtonDown = 3 };

// The messages the tracker reacts to; everything else is other.
enum class TrackedMessage {
    other,
    fastTimer,
    leftDown,
    leftUp,
    nonClientLeftUp,
    setCursor,
    exitSizeMove
};

struct TrackerState {
    MouseButtonState button;
    bool moveArmed;
};
TrackerState trackButton(TrackerState before, TrackedMessage message);

enum class ButtonPhase { Idle = 0, Pressed = 1, Held = 2, Fired = 3, Done = 4 };

enum class ButtonLook { unchanged, showPressed, showMain };

struct ButtonStep {
    ButtonPhase phase;
    ButtonLook look;      // a change of look also means a repaint
    bool clicked = false; // the button does what it is for, at this poll
};
// A button at one poll: its phase, with the pointer inside it or not and the
// tracker's state, becomes the next one.
ButtonStep stepButton(ButtonPhase phase, bool inside, MouseButtonState tracker);

struct CheckBoxStep {
    bool latch;
    bool toggle;
};
CheckBoxStep stepCheckBox(bool inside, MouseButtonState tracker, bool latch);

// What the rules above keep between messages: the tracker's state, the
// phases of the close and tray buttons, and the check box's latch.
struct ButtonState {
    MouseButtonState mouseButtonState = MouseButtonState::ButtonUp;
    bool moveArmed = false;
    ButtonPhase closePhase = ButtonPhase::Idle;
    ButtonPhase trayPhase = ButtonPhase::Idle;
    bool historyLatch = false;
};
