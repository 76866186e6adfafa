// How a reading reaches the screen: the four columns of the slots' views
// (the name and the three values), built from one table, and the refresh
// that writes the readings into them, once a second.
#pragma once

#include "monitor/face.h"
#include "sampling/gpu_readings.h"

// The views of the slots under face's root, after its fixed views: each
// from its column's row, the names fitted with graphics. Lit at start
// wherever a GPU is, whatever its first reading.
void buildReadingViews(Face& face, const GpuReadings& gpus, Gdiplus::GpGraphics* graphics);
// After the GPUs were discovered again: the name views take the new names,
// fitted, in the color of a slot with or without a GPU.
void followRediscoveredNames();
// Writes every slot's clock, temperature and load into its value views: each
// reading loaded once, its text and its colour made from that one value.
void updateReadingViews();
