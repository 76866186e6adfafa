// The sampling thread: once a second it reads every slot's graphics clock,
// temperature and load into GpuReadings (not while hidden to the tray), then
// runs the logger control. After start-up it is the only caller of NVAPI.
#pragma once

void startSamplingThread();
// One slot's readings; public for the tests.
void readSlot(int slot);
