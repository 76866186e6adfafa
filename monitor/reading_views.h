// How a reading reaches the screen: the three value columns of every slot,
// how their views are styled, and the refresh that writes the readings'
// texts into them, once at start and once a second.
#pragma once

#include "monitor/face.h"
#include "sampling/gpu_readings.h"

#include <cstdint>

// A value column: its views in the face, where it stands, the slot's text it
// shows, and the color of a reading.
struct ValueColumn {
    View* (Face::*views)[gpuSlotCount];
    int x;
    const wchar_t* GpuSlotReadings::*text;
    uint32_t (*color)(const GpuSlotReadings& readings, int slot, int gpuCount);
};
extern const ValueColumn valueColumns[3];

// A value view's text, color and type, as its building and every refresh set them.
void styleValueView(View* view, const wchar_t* text, uint32_t color);
// The value views of face, after its fixed views and once the texts of gpus
// are formatted (formatDisplayTexts): they point at those texts.
void buildValueViews(Face& face, const GpuReadings& gpus);
// After the GPUs were discovered again: the name views take the new names,
// fitted, in the color of a slot with or without a GPU.
void followRediscoveredNames();
// formatDisplayTexts, then points the twelve value views at the texts with
// their colors.
void updateReadingViews();
