// The face of the Parlex window, built into parlex.face from the skin.
#pragma once

#include "sampling/gpu_readings.h"
#include "skin/skin_pack.h"
#include "skin/view.h"

#include <cstdio>

// The three value columns of every slot, at build and at every refresh: the
// views, where they stand, the slot's text they show, and the color of a
// reading.
struct ValueColumn {
    View** views;
    int x;
    const wchar_t* GpuSlotReadings::*text;
    uint32_t (*color)(const GpuSlotReadings& readings, int slot, int gpuCount);
};
extern const ValueColumn valueColumns[3];

// A value view's text, color and type, as the refresh sets them.
void styleValueView(View* view, const wchar_t* text, uint32_t color);

constexpr uint32_t nameColor = 0xBEFFFFFF;
constexpr uint32_t emptyNameColor = 0x40FFFFFF;

// Builds the face from the extracted skin pack (its archive null: it could
// not be opened), starting the sampling thread and formatting the texts once on
// the way. The archive stays open. Null, or the text of the failure, every
// view built so far deleted.
const wchar_t* buildLayout(const SkinPack& pack);
// Points the name view of a slot at its GPU's name, shortened where it would
// reach the clock column.
void fitNameText(int slot);
// After the GPUs were discovered again: the name views take the new names,
// fitted, in the color of a slot with or without a GPU.
void followRediscoveredNames();
// Deletes the root and with it every view.
void destroyLayout();
