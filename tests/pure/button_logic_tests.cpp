// The left-button tracker and the button phases: pure rules, built for
// Windows and, under sanitizers, for the build machine.
#include "monitor/button_logic.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using M = TrackedMessage;
using enum MouseButtonState;
using enum ButtonPhase;

TEST(Tracker, EveryRowAndColumn) {
    struct Row {
        MouseButtonState before;
        MouseButtonState down, timer, cursor, cursorArmed, up;
    };
    // The table of the tracker: state after each message, by state before.
    const Row rows[] = {
        {ButtonUp, JustPressed, ButtonUp, ButtonUp, ButtonUp, ButtonUp},
        {JustReleased, JustPressed, ButtonUp, ButtonUp, ButtonUp, ButtonUp},
        {JustPressed, ButtonDown, ButtonDown, ButtonDown, JustReleased, JustReleased},
        {ButtonDown, ButtonDown, ButtonDown, ButtonDown, JustReleased, JustReleased},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.down, trackButton({row.before, false}, M::leftDown).button) << int(row.before);
        EXPECT_EQ(row.timer, trackButton({row.before, false}, M::fastTimer).button) << int(row.before);
        EXPECT_EQ(row.cursor, trackButton({row.before, false}, M::setCursor).button) << int(row.before);
        TrackerState armed = trackButton({row.before, true}, M::setCursor);
        EXPECT_EQ(row.cursorArmed, armed.button) << int(row.before);
        EXPECT_FALSE(armed.moveArmed);
        for (M up : {M::leftUp, M::nonClientLeftUp, M::exitSizeMove}) {
            TrackerState after = trackButton({row.before, true}, up);
            EXPECT_EQ(row.up, after.button) << int(row.before);
            EXPECT_FALSE(after.moveArmed);
        }
        EXPECT_EQ(row.before, trackButton({row.before, true}, M::other).button);
        EXPECT_TRUE(trackButton({row.before, true}, M::other).moveArmed);
    }
    EXPECT_TRUE(trackButton({JustPressed, true}, M::fastTimer).moveArmed) << "a drag keeps it armed";
}

// Drives one button through a message sequence, as the procedure does: the
// tracker first, then the button's step; counts its clicks.
ButtonPhase drive(std::initializer_list<std::pair<M, bool>> messages, ButtonPhase phase = Idle,
                  int* clicks = nullptr) {
    TrackerState tracker{ButtonUp, false};
    for (auto [message, inside] : messages) {
        tracker = trackButton(tracker, message);
        const ButtonStep step = stepButton(phase, inside, tracker.button);
        phase = step.phase;
        if (clicks)
            *clicks += step.clicked;
    }
    return phase;
}

TEST(ButtonPhases, AClickNeedsPressHoldAndReleaseInside) {
    EXPECT_EQ(Fired, drive({{M::leftDown, true}, {M::fastTimer, true}, {M::leftUp, true}}));
    int clicks = 0;
    EXPECT_EQ(Idle, drive({{M::leftDown, true}, {M::fastTimer, true}, {M::leftUp, true},
                           {M::fastTimer, false}}, Idle, &clicks));
    EXPECT_EQ(1, clicks) << "at the poll after the release, wherever the pointer is then";
    EXPECT_EQ(Idle, drive({{M::leftDown, true}, {M::fastTimer, true}, {M::fastTimer, false},
                           {M::leftUp, false}}))
        << "leaving before the release cancels";
}

TEST(ButtonPhases, ATapWithNoTickBetweenPressAndReleaseFiresOnce) {
    // A touch tap or a pen: press and release queued together, no tick between.
    EXPECT_EQ(Fired, drive({{M::leftDown, true}, {M::leftUp, true}}));
    int clicks = 0;
    EXPECT_EQ(Done, drive({{M::leftDown, true}, {M::leftUp, true}, {M::fastTimer, true},
                           {M::leftDown, true}, {M::leftUp, true}, {M::fastTimer, true}},
                          Idle, &clicks));
    EXPECT_EQ(1, clicks) << "once: the button waits for the pointer to leave";
    EXPECT_EQ(Idle, drive({{M::leftDown, true}, {M::leftUp, false}})) << "released outside";
}

TEST(ButtonPhases, DoneWaitsForThePointerOutside) {
    EXPECT_EQ(Done, drive({{M::leftDown, true}, {M::fastTimer, true}}, Done));
    EXPECT_EQ(Idle, drive({{M::fastTimer, false}}, Done));
    EXPECT_EQ(ButtonLook::showPressed, stepButton(Idle, true, JustPressed).look);
    EXPECT_EQ(ButtonLook::showMain, stepButton(Held, true, JustReleased).look);
    EXPECT_EQ(ButtonLook::showMain, stepButton(Done, false, ButtonUp).look);
    EXPECT_EQ(ButtonLook::unchanged, stepButton(Idle, false, JustPressed).look);
}

} // namespace
