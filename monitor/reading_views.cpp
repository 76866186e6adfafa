#include "monitor/reading_views.h"
#include "monitor/app_state.h"
#include "sampling/display_texts.h"
#include "sampling/display_update.h"

namespace {

const int columnGap = 40;

} // namespace

const ValueColumn valueColumns[3] = {
    {.views = &Face::clockText,
     .x = clockColumnX,
     .text = &GpuSlotReadings::clockText,
     .color = [](const GpuSlotReadings& readings, int slot,
                 int count) { return valueColor(readings.graphicsClock != 0, slot, count); }},
    {.views = &Face::temperatureText,
     .x = clockColumnX + columnGap,
     .text = &GpuSlotReadings::temperatureText,
     .color = [](const GpuSlotReadings& readings, int slot,
                 int count) { return valueColor(readings.temperature != 0, slot, count); }},
    {.views = &Face::loadText,
     .x = clockColumnX + 2 * columnGap,
     .text = &GpuSlotReadings::loadText,
     .color = [](const GpuSlotReadings&, int slot, int count) { return loadColor(slot, count); }},
};

void styleValueView(View* view, const wchar_t* text, uint32_t color) {
    if (!view)
        return;
    view->text = text;
    view->color = color;
    view->fontFamily = View::defaultFontFamily;
    view->fontPoints = 8;
    view->fontStyle = FontStyle::regular;
    view->textAlign = TextAlign::end;
    view->width = 1;
    view->height = 1;
}

void buildValueViews(Face& face, const GpuReadings& gpus) {
    for (const ValueColumn& column : valueColumns)
        for (int slot = 0; slot < gpuSlotCount; ++slot) {
            View*& view = (face.*column.views)[slot];
            view = makeText(face, column.x, firstRowY + rowHeight * slot, nullptr, 8,
                            FontStyle::regular, TextAlign::end, 0, 1, 1, true);
            // Lit at start wherever a GPU is, whatever its first reading.
            styleValueView(view, gpus.slots[slot].*column.text,
                           slot < gpus.gpuCount ? presentColor : dimColor);
        }
}

void followRediscoveredNames() {
    if (!adoptRediscoveredNames(parlex.shared.gpus))
        return;
    for (int slot = 0; slot < gpuSlotCount; ++slot) {
        if (!parlex.face.nameText[slot])
            continue;
        parlex.face.nameText[slot]->color =
            slot < parlex.shared.gpus.gpuCount ? nameColor : emptyNameColor;
        fitNameText(parlex.face, slot, parlex.shared.gpus, parlex.backBuffer.graphics);
    }
}

void updateReadingViews() {
    formatDisplayTexts(parlex.shared.gpus);
    for (const ValueColumn& column : valueColumns)
        for (int slot = 0; slot < gpuSlotCount; ++slot)
            styleValueView(
                (parlex.face.*column.views)[slot], parlex.shared.gpus.slots[slot].*column.text,
                column.color(parlex.shared.gpus.slots[slot], slot, parlex.shared.gpus.gpuCount));
}
