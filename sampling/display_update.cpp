#include "sampling/display_update.h"
#include "sampling/display_texts.h"
#include "sampling/gpu_readings.h"

#include <cstring>
#include <string>

namespace {

const wchar_t* store(const std::wstring& text, ValueText& buffer) {
    std::memset(buffer, 0, sizeof buffer);
    text.copy(buffer, maxValueTextLength);
    return buffer;
}

} // namespace

int formatDisplayTexts(GpuReadings& gpus) {
    int count = gpus.gpuCount;
    // A slot without a GPU, also one that a GPU has left, reads as at start.
    for (int slot = count < 0 ? 0 : count; slot < gpuSlotCount; ++slot) {
        GpuSlotReadings& readings = gpus.slots[slot];
        readings.clockText = defaultClockText;
        readings.temperatureText = defaultTemperatureText;
        readings.loadText = defaultLoadText;
    }
    for (int slot = 0; slot < count && slot < gpuSlotCount; ++slot) {
        GpuSlotReadings& readings = gpus.slots[slot];
        readings.clockText = store(formatClockText(readings.graphicsClock), readings.clockBuffer);
    }
    for (int slot = 0; slot < count && slot < gpuSlotCount; ++slot) {
        GpuSlotReadings& readings = gpus.slots[slot];
        readings.temperatureText =
            store(formatTemperatureText(readings.temperature), readings.temperatureBuffer);
    }
    for (int slot = 0; slot < count && slot < gpuSlotCount; ++slot) {
        GpuSlotReadings& readings = gpus.slots[slot];
        readings.loadText = store(formatLoadText(readings.load), readings.loadBuffer);
    }
    return 1;
}
