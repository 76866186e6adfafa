#include "monitor/face.h"
#include "sampling/display_texts.h"
#include "sampling/display_update.h"
#include "sampling/gpu_readings.h"
#include "sampling/sampling_thread.h"
#include "skin/back_buffer.h"
#include "skin/painting.h"
#include "skin/skin_pack.h"
#include "skin/text_objects.h"

#include "version.h"

#include <new>

View* rootView;
View* cornerImage;
View* titleText;
View* versionText;
View* editionText;
View* closeButton;
View* trayButton;
View* historyLabel;
View* historyCheckBox;
View* rowsImage;
View* nameText[4];
View* clockText[4];
View* temperatureText[4];
View* loadText[4];

namespace {

const int firstRowY = 34;
const int rowHeight = 24;
const int clockColumnX = 183;
const int columnGap = 40;
const uint32_t white = 0xFFFFFFFF;
const uint32_t alignCentre = 1, alignFar = 2;
const uint32_t styleBold = 1;
const int noPiece = -1;

// A view of the face that is the same whatever the GPUs: a skin piece, with
// the piece it shows while pressed, or a text.
struct FixedView {
    View** place;
    int x, y;
    int piece = noPiece;
    int pressedPiece = noPiece;
    const wchar_t* text = nullptr;
    int points = 8;
    uint32_t style = 0;
    uint32_t align = 0;
    uint32_t color = white;
    bool noHit = false;
};

// In drawing order, which is also the order of hit-test priority, lowest
// first; the background comes before them all and the rows after them.
const FixedView fixedViews[] = {
    {.place = &cornerImage, .x = 5, .y = 5, .piece = 1, .noHit = true},
    {.place = &titleText,
     .x = 125,
     .y = 0,
     .text = L"TAVO Parlex",
     .points = 10,
     .style = styleBold,
     .align = alignCentre},
    {.place = &versionText,
     .x = 125,
     .y = 15,
     .text = L"Ver." PARLEX_SHORT_VERSION,
     .points = 6,
     .style = styleBold,
     .align = alignCentre},
    {.place = &editionText,
     .x = 206,
     .y = 128,
     .text = L"TAVO Parlex_SS Ver." PARLEX_SHORT_VERSION,
     .points = 6,
     .style = styleBold,
     .align = alignCentre,
     .color = 0x40FFFFFF},
    {.place = &closeButton, .x = 222, .y = 0, .piece = 5, .pressedPiece = 6},
    {.place = &trayButton, .x = 196, .y = 0, .piece = 3, .pressedPiece = 4},
    {.place = &historyLabel, .x = 25, .y = 125, .text = L"Monitor History"},
    {.place = &historyCheckBox, .x = 7, .y = 125, .piece = 7, .pressedPiece = 8},
    {.place = &rowsImage, .x = 0, .y = 30, .piece = 2, .noHit = true},
};

// A text view under rootView, sized as the layout sizes texts; null where
// there is no rootView or no memory, which the face then goes without.
View* makeText(int x, int y, const wchar_t* text, int points, uint32_t style, uint32_t align,
               uint32_t color, int width, int height, bool noHit) {
    if (!rootView)
        return nullptr;
    View* view = new (std::nothrow) View({x, y}, rootView, Text, nullptr, 0);
    if (!view)
        return nullptr;
    view->text = text;
    view->fontPoints = points;
    view->fontStyle = style;
    view->textAlign = align;
    view->color = color;
    view->width = width;
    view->height = height;
    view->noHit = noHit ? 1 : 0;
    return view;
}

// False only when memory runs out.
bool makeFixedView(const FixedView& fixed, FILE* archive) {
    if (fixed.piece == noPiece) {
        *fixed.place = makeText(fixed.x, fixed.y, fixed.text, fixed.points, fixed.style,
                                fixed.align, fixed.color, 1, 1, fixed.noHit);
        return true;
    }
    if (!loadSkinPiece(fixed.piece, fixed.place, archive, fixed.x, fixed.y, rootView, false))
        return false;
    if (fixed.pressedPiece != noPiece &&
        !loadSkinPiece(fixed.pressedPiece, fixed.place, archive, 0, 0, nullptr, true))
        return false;
    if (*fixed.place && fixed.noHit)
        (*fixed.place)->noHit = 1;
    return true;
}

// The widest clock text; a name must end before the clock column begins.
const wchar_t widestClockText[] = L"9999.9MHz";
wchar_t fittedNames[gpuSlotCount][100];

bool slotHoldsGpu(int slot) {
    return slot < gpuReadings.gpuCount;
}

bool buildFrom(FILE* archive) {
    if (!loadSkinPiece(0, &rootView, archive, 0, 0, nullptr, false))
        return false;
    // A background that did not decode has asked the program to end; there is
    // nothing to hang the other views on.
    if (!rootView)
        return true;
    for (const FixedView& fixed : fixedViews)
        if (!makeFixedView(fixed, archive))
            return false;

    for (int slot = 0; slot < gpuSlotCount; ++slot)
        nameText[slot] =
            makeText(0, firstRowY + rowHeight * slot, gpuReadings.slots[slot].nameText, 8, 0, 0,
                     slotHoldsGpu(slot) ? nameColor : emptyNameColor, 150, 10, true);

    for (int slot = 0; slot < gpuSlotCount; ++slot)
        fitNameText(slot);

    // The value texts must exist before their views point at them.
    startSamplingThread();
    formatDisplayTexts();

    for (const ValueColumn& column : valueColumns)
        for (int slot = 0; slot < gpuSlotCount; ++slot)
            column.views[slot] = makeText(column.x, firstRowY + rowHeight * slot,
                                          gpuReadings.slots[slot].*column.text, 8, 0, alignFar,
                                          slotHoldsGpu(slot) ? presentColor : dimColor, 1, 1, true);
    return true;
}

} // namespace

const ValueColumn valueColumns[3] = {
    {.views = clockText,
     .x = clockColumnX,
     .text = &GpuSlotReadings::clockText,
     .color = [](const GpuSlotReadings& readings, int slot,
                 int count) { return valueColor(readings.graphicsClock != 0, slot, count); }},
    {.views = temperatureText,
     .x = clockColumnX + columnGap,
     .text = &GpuSlotReadings::temperatureText,
     .color = [](const GpuSlotReadings& readings, int slot,
                 int count) { return valueColor(readings.temperature != 0, slot, count); }},
    {.views = loadText,
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
    view->fontStyle = 0;
    view->textAlign = alignFar;
    view->width = 1;
    view->height = 1;
}

namespace {

void forgetViews() {
    rootView = cornerImage = titleText = versionText = editionText = nullptr;
    closeButton = trayButton = historyLabel = historyCheckBox = rowsImage = nullptr;
    for (int slot = 0; slot < 4; ++slot)
        nameText[slot] = clockText[slot] = temperatureText[slot] = loadText[slot] = nullptr;
}

} // namespace

void fitNameText(int slot) {
    View* view = nameText[slot];
    if (!view)
        return;
    const wchar_t* name = gpuReadings.slots[slot].nameText;
    view->text = name;
    Gdiplus::GpGraphics* graphics = backBuffer.graphics;
    Gdiplus::GpFont* nameFont = textFont(view->fontFamily, view->fontPoints, view->fontStyle);
    Gdiplus::GpFont* clockFont = textFont(View::defaultFontFamily, 8, 0);
    if (!graphics || !nameFont || !clockFont || !name)
        return;
    const float room = static_cast<float>(clockColumnX - view->x) -
                       textWidth(graphics, widestClockText, clockFont);
    std::wstring fitted = fitGpuName(name, room, [&](const std::wstring& text) {
        return textWidth(graphics, text.c_str(), nameFont);
    });
    if (fitted == name)
        return;
    wchar_t(&buffer)[100] = fittedNames[slot];
    const size_t length = fitted.copy(buffer, 99);
    buffer[length] = L'\0';
    view->text = buffer;
}

void followRediscoveredNames() {
    if (!adoptRediscoveredNames())
        return;
    for (int slot = 0; slot < gpuSlotCount; ++slot) {
        if (!nameText[slot])
            continue;
        nameText[slot]->color = slotHoldsGpu(slot) ? nameColor : emptyNameColor;
        fitNameText(slot);
    }
}

const wchar_t* buildLayout(FILE* archive) {
    if (!archive)
        return L"アーカイブファイルを読み込めません";
    if (!buildFrom(archive)) {
        destroyLayout();
        return L"メモリを確保できません";
    }
    return nullptr;
}

void destroyLayout() {
    forgetComposedFace();
    delete rootView;
    forgetViews();
}
