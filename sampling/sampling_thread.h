// The sampling thread: once a second it reads every slot's graphics clock,
// temperature and load into GpuReadings (not while hidden to the tray), then
// runs the logger control. After start-up it is the only caller of NVAPI.
#pragma once

#include <windows.h>

struct SamplingState;

// False when the thread (or its stop event) cannot be made: the face would
// never change.
bool startSamplingThread(SamplingState& state);
// With appRunning cleared: ends the pause between passes and waits for the
// thread to leave, at most this long; true when it has.
bool stopSamplingThread(SamplingState& state, DWORD milliseconds);
// One slot's readings; public for the tests.
void readSlot(SamplingState& state, int slot);
