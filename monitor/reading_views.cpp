#include "monitor/reading_views.h"
#include "sampling/display_texts.h"
#include "sampling/display_update.h"
#include "sampling/gpu_readings.h"
#include "skin/layout.h"

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
