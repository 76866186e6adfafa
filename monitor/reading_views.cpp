#include "monitor/reading_views.h"

#include "monitor/app_state.h"
#include "monitor/reading_texts.h"
#include "skin/text_objects.h"

#include <string>

namespace {

const int columnGap = 40;

// The widest clock text; a name must end before the clock column begins.
const wchar_t widestClockText[] = L"9999.9MHz";

// A column of the slots' views, a slot's in its row. A value column also
// names the face's buffers of its texts and how a slot's reading looks, from
// one load of the reading.
struct SlotColumn {
    View* (Face::*views)[gpuSlotCount];
    int x;
    TextAlign align;
    int width, height;
    SlotColors colors; // at start; a name's always
    ValueText (Face::*texts)[gpuSlotCount] = nullptr;
    ValueLook (*look)(const GpuSlotReadings& readings, bool slotHasGpu) = nullptr;
};

// In drawing order: the names, then the clocks, temperatures and loads.
const SlotColumn slotColumns[] = {
    {.views = &Face::nameText,
     .x = 0,
     .align = TextAlign::start,
     .width = 150,
     .height = 10,
     .colors = nameColors},
    {.views = &Face::clockText,
     .x = clockColumnX,
     .align = TextAlign::end,
     .width = 1,
     .height = 1,
     .colors = valueColors,
     .texts = &Face::clockTexts,
     .look = [](const GpuSlotReadings& readings,
                bool slotHasGpu) { return clockLook(readings.graphicsClock.load(), slotHasGpu); }},
    {.views = &Face::temperatureText,
     .x = clockColumnX + columnGap,
     .align = TextAlign::end,
     .width = 1,
     .height = 1,
     .colors = valueColors,
     .texts = &Face::temperatureTexts,
     .look =
         [](const GpuSlotReadings& readings, bool slotHasGpu) {
             return temperatureLook(readings.temperature.load(), slotHasGpu);
         }},
    {.views = &Face::loadText,
     .x = clockColumnX + 2 * columnGap,
     .align = TextAlign::end,
     .width = 1,
     .height = 1,
     .colors = valueColors,
     .texts = &Face::loadTexts,
     .look = [](const GpuSlotReadings& readings,
                bool slotHasGpu) { return loadLook(readings.load.load(), slotHasGpu); }},
};
const SlotColumn& nameColumn = slotColumns[0];

// The face's buffer of a value's text, holding text.
const wchar_t* keepText(Face& face, const SlotColumn& column, int slot, const std::wstring& text) {
    ValueText& buffer = (face.*column.texts)[slot];
    buffer[text.copy(buffer, maxValueTextLength)] = L'\0';
    return buffer;
}

// Points the name view of a slot at its GPU's name, shortened where it would
// reach the clock column.
void fitName(Face& face, int slot, const GpuReadings& gpus, Gdiplus::GpGraphics* graphics) {
    View* view = face.nameText[slot];
    if (!view)
        return;
    const wchar_t* name = gpus.slots[slot].nameText;
    view->text = name;
    Gdiplus::GpFont* nameFont = textFont(view->fontFamily, view->fontPoints, view->fontStyle);
    Gdiplus::GpFont* clockFont = textFont(View::defaultFontFamily, 8, FontStyle::regular);
    if (!graphics || !nameFont || !clockFont || !name)
        return;
    const float room = static_cast<float>(clockColumnX - view->x) -
                       textWidth(graphics, widestClockText, clockFont);
    std::wstring fitted = fitGpuName(name, room, [&](const std::wstring& text) {
        return textWidth(graphics, text.c_str(), nameFont);
    });
    if (fitted == name)
        return;
    GpuName& buffer = face.fittedNames[slot];
    const size_t length = fitted.copy(buffer, gpuNameSize - 1);
    buffer[length] = L'\0';
    view->text = buffer;
}

} // namespace

void buildReadingViews(Face& face, const GpuReadings& gpus, Gdiplus::GpGraphics* graphics) {
    const int count = gpus.gpuCount.load();
    for (const SlotColumn& column : slotColumns)
        for (int slot = 0; slot < gpuSlotCount; ++slot) {
            const bool slotHasGpu = slot < count;
            const wchar_t* text =
                column.look
                    ? keepText(face, column, slot, column.look(gpus.slots[slot], slotHasGpu).text)
                    : gpus.slots[slot].nameText;
            (face.*column.views)[slot] = makeText(
                face, column.x, firstRowY + rowHeight * slot, text, 8, FontStyle::regular,
                column.align, column.colors.of(slotHasGpu), column.width, column.height, true);
            if (!column.look)
                fitName(face, slot, gpus, graphics);
        }
}

void followRediscoveredNames() {
    if (!adoptRediscoveredNames(parlex.shared.gpus))
        return;
    const int count = parlex.shared.gpus.gpuCount.load();
    for (int slot = 0; slot < gpuSlotCount; ++slot) {
        if (!parlex.face.nameText[slot])
            continue;
        parlex.face.nameText[slot]->color = nameColumn.colors.of(slot < count);
        fitName(parlex.face, slot, parlex.shared.gpus, parlex.backBuffer.graphics);
    }
}

void updateReadingViews() {
    Face& face = parlex.face;
    const GpuReadings& gpus = parlex.shared.gpus;
    const int count = gpus.gpuCount.load();
    for (int slot = 0; slot < gpuSlotCount; ++slot)
        for (const SlotColumn& column : slotColumns) {
            if (!column.look)
                continue;
            const ValueLook look = column.look(gpus.slots[slot], slot < count);
            const wchar_t* text = keepText(face, column, slot, look.text);
            if (View* view = (face.*column.views)[slot]) {
                view->text = text;
                view->color = look.color;
            }
        }
}
