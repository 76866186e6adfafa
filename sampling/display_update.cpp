#include "sampling/display_update.h"
#include "sampling/display_texts.h"
#include "sampling/gpu_readings.h"
#include "skin/layout.h"

#include <cstring>
#include <string>

namespace {

wchar_t clockBuffers[gpuSlotCount][100];
wchar_t temperatureBuffers[gpuSlotCount][100];
wchar_t loadBuffers[gpuSlotCount][100];

const wchar_t* store(const std::wstring& text, wchar_t (&buffer)[100]) {
    std::memset(buffer, 0, sizeof buffer);
    text.copy(buffer, maxValueTextLength);
    return buffer;
}

} // namespace

int formatDisplayTexts() {
    int count = gpuReadings.gpuCount;
    // A slot without a GPU, also one that a GPU has left, reads as at start.
    for (int slot = count < 0 ? 0 : count; slot < gpuSlotCount; ++slot) {
        GpuSlotReadings& readings = gpuReadings.slots[slot];
        readings.clockText = defaultClockText;
        readings.temperatureText = defaultTemperatureText;
        readings.loadText = defaultLoadText;
    }
    for (int slot = 0; slot < count && slot < gpuSlotCount; ++slot) {
        GpuSlotReadings& readings = gpuReadings.slots[slot];
        readings.clockText = store(formatClockText(readings.graphicsClock), clockBuffers[slot]);
    }
    for (int slot = 0; slot < count && slot < gpuSlotCount; ++slot) {
        GpuSlotReadings& readings = gpuReadings.slots[slot];
        readings.temperatureText =
            store(formatTemperatureText(readings.temperature), temperatureBuffers[slot]);
    }
    for (int slot = 0; slot < count && slot < gpuSlotCount; ++slot) {
        GpuSlotReadings& readings = gpuReadings.slots[slot];
        readings.loadText = store(formatLoadText(readings.load), loadBuffers[slot]);
    }
    return 1;
}

namespace {

void setValueView(View* view, const wchar_t* text, uint32_t color) {
    if (!view)
        return;
    view->text = text;
    view->color = color;
    view->fontFamily = View::defaultFontFamily;
    view->fontPoints = 8;
    view->fontStyle = 0;
    view->textAlign = 2;
    view->width = 1;
    view->height = 1;
}

} // namespace

void updateReadingViews() {
    formatDisplayTexts();
    const int count = gpuReadings.gpuCount;
    for (int slot = 0; slot < gpuSlotCount; ++slot) {
        const GpuSlotReadings& readings = gpuReadings.slots[slot];
        setValueView(clockText[slot], readings.clockText,
                     valueColor(readings.graphicsClock != 0, slot, count));
        setValueView(temperatureText[slot], readings.temperatureText,
                     valueColor(readings.temperature != 0, slot, count));
        setValueView(loadText[slot], readings.loadText, loadColor(slot, count));
    }
}
