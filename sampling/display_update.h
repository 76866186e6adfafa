// The value texts of the window, formatted on the window's thread.
#pragma once

// Formats the clock, temperature and load texts of every slot that holds a
// GPU and points GpuReadings at them; returns 1.
int formatDisplayTexts();
