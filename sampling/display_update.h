// The value texts of the window, formatted on the window's thread.
#pragma once

struct GpuReadings;

// Formats the clock, temperature and load texts of every slot that holds a
// GPU and points GpuReadings at them; returns 1.
int formatDisplayTexts(GpuReadings& gpus);
