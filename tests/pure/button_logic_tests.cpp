// The left-button tracker and the button phases: pure rules, built for
// Windows and, under sanitizers, for the build machine.
#include "monitor/button_logic.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using M = TrackedMessage;

TEST(Tracker, EveryRowAndColumn) {
    struct Row {
        int before;
        int down, timer, cursor, cursorArmed, up;
    };
    // The table of the tracker: state after each message, by state before.
    const Row rows[] = {
        {ButtonUp, JustPressed, ButtonUp, ButtonUp, ButtonUp, ButtonUp},
        {JustReleased, JustPressed, ButtonUp, ButtonUp, ButtonUp, ButtonUp},
        {JustPressed, ButtonDown, ButtonDown, ButtonDown, JustReleased, JustReleased},
        {ButtonDown, ButtonDown, ButtonDown, ButtonDown, JustReleased, JustReleased},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.down, trackButton({row.before, 0}, M::LeftDown).button) << row.before;
        EXPECT_EQ(row.timer, trackButton({row.before, 0}, M::FastTimer).button) << row.before;
        EXPECT_EQ(row.cursor, trackButton({row.before, 0}, M::SetCursor).button) << row.before;
        TrackerState armed = trackButton({row.before, 1}, M::SetCursor);
        EXPECT_EQ(row.cursorArmed, armed.button) << row.before;
        EXPECT_EQ(0, armed.moveArmed);
        for (M up : {M::LeftUp, M::NonClientLeftUp, M::ExitSizeMove}) {
            TrackerState after = trackButton({row.before, 1}, up);
            EXPECT_EQ(row.up, after.button) << row.before;
            EXPECT_EQ(0, after.moveArmed);
        }
        EXPECT_EQ(row.before, trackButton({row.before, 1}, M::Other).button);
        EXPECT_EQ(1, trackButton({row.before, 1}, M::Other).moveArmed);
    }
    EXPECT_EQ(1, trackButton({JustPressed, 1}, M::FastTimer).moveArmed) << "a drag keeps it armed";
}

// Drives one button through a message sequence, as the procedure does: the
// tracker first, then the button's step.
ButtonPhase drive(std::initializer_list<std::pair<M, bool>> messages, ButtonPhase phase = Idle) {
    TrackerState tracker{ButtonUp, 0};
    for (auto [message, inside] : messages) {
        tracker = trackButton(tracker, message);
        if (phase == Fired)
            phase = Done;
        else
            phase = stepButton(phase, inside, tracker.button).phase;
    }
    return phase;
}

TEST(ButtonPhases, AClickNeedsPressHoldAndReleaseInside) {
    EXPECT_EQ(Fired, drive({{M::LeftDown, true}, {M::FastTimer, true}, {M::LeftUp, true}}));
    EXPECT_EQ(Done, drive({{M::LeftDown, true}, {M::FastTimer, true}, {M::LeftUp, true},
                           {M::FastTimer, true}}));
    EXPECT_EQ(Idle, drive({{M::LeftDown, true}, {M::FastTimer, true}, {M::FastTimer, false},
                           {M::LeftUp, false}}))
        << "leaving before the release cancels";
}

TEST(ButtonPhases, ATapWithNoTickBetweenPressAndReleaseFiresOnce) {
    // A touch tap or a pen: press and release queued together, no tick between.
    EXPECT_EQ(Fired, drive({{M::LeftDown, true}, {M::LeftUp, true}}));
    EXPECT_EQ(Done, drive({{M::LeftDown, true}, {M::LeftUp, true}, {M::FastTimer, true},
                           {M::LeftDown, true}, {M::LeftUp, true}, {M::FastTimer, true}}))
        << "once: the button waits for the pointer to leave";
    EXPECT_EQ(Idle, drive({{M::LeftDown, true}, {M::LeftUp, false}})) << "released outside";
}

TEST(ButtonPhases, DoneWaitsForThePointerOutside) {
    EXPECT_EQ(Done, drive({{M::LeftDown, true}, {M::FastTimer, true}}, Done));
    EXPECT_EQ(Idle, drive({{M::FastTimer, false}}, Done));
    EXPECT_EQ(ButtonLook::ShowPressed, stepButton(Idle, true, JustPressed).look);
    EXPECT_EQ(ButtonLook::ShowMain, stepButton(Held, true, JustReleased).look);
    EXPECT_EQ(ButtonLook::ShowMain, stepButton(Done, false, ButtonUp).look);
    EXPECT_EQ(ButtonLook::Unchanged, stepButton(Idle, false, JustPressed).look);
}

} // namespace
