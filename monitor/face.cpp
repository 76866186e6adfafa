#include "monitor/face.h"
#include "monitor/app_state.h"
#include "sampling/display_texts.h"
#include "sampling/display_update.h"
#include "sampling/gpu_readings.h"
#include "sampling/sampling_thread.h"
#include "skin/back_buffer.h"
#include "skin/painting.h"
#include "skin/skin_pack.h"
#include "skin_pieces.h"
#include "skin/text_objects.h"

#include "version.h"

#include <new>

namespace {

const int firstRowY = 34;
const int rowHeight = 24;
const int clockColumnX = 183;
const int columnGap = 40;
const uint32_t white = 0xFFFFFFFF;
const uint32_t alignCentre = 1, alignFar = 2;
const uint32_t styleBold = 1;
constexpr SkinPiece noPiece = static_cast<SkinPiece>(-1);

// A view of the face that is the same whatever the GPUs: a skin piece, with
// the piece it shows while pressed, or a text.
struct FixedView {
    View** place;
    int x, y;
    SkinPiece piece = noPiece;
    SkinPiece pressedPiece = noPiece;
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
    {.place = &parlex.face.cornerImage, .x = 5, .y = 5, .piece = SkinPiece::corner, .noHit = true},
    {.place = &parlex.face.titleText,
     .x = 125,
     .y = 0,
     .text = L"TAVO Parlex",
     .points = 10,
     .style = styleBold,
     .align = alignCentre},
    {.place = &parlex.face.versionText,
     .x = 125,
     .y = 15,
     .text = L"Ver." PARLEX_SHORT_VERSION,
     .points = 6,
     .style = styleBold,
     .align = alignCentre},
    {.place = &parlex.face.editionText,
     .x = 206,
     .y = 128,
     .text = L"TAVO Parlex_SS Ver." PARLEX_SHORT_VERSION,
     .points = 6,
     .style = styleBold,
     .align = alignCentre,
     .color = 0x40FFFFFF},
    {.place = &parlex.face.closeButton,
     .x = 222,
     .y = 0,
     .piece = SkinPiece::close,
     .pressedPiece = SkinPiece::closePressed},
    {.place = &parlex.face.trayButton,
     .x = 196,
     .y = 0,
     .piece = SkinPiece::tray,
     .pressedPiece = SkinPiece::trayPressed},
    {.place = &parlex.face.historyLabel, .x = 25, .y = 125, .text = L"Monitor History"},
    {.place = &parlex.face.historyCheckBox,
     .x = 7,
     .y = 125,
     .piece = SkinPiece::checkOff,
     .pressedPiece = SkinPiece::checkOn},
    {.place = &parlex.face.rowsImage, .x = 0, .y = 30, .piece = SkinPiece::rows, .noHit = true},
};

// A text view under the root, sized as the layout sizes texts; null where
// there is no root or no memory, which the face then goes without.
View* makeText(int x, int y, const wchar_t* text, int points, uint32_t style, uint32_t align,
               uint32_t color, int width, int height, bool noHit) {
    if (!parlex.face.root)
        return nullptr;
    View* view = new (std::nothrow) View({x, y}, parlex.face.root.get(), Text, nullptr, 0);
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
bool makeFixedView(const FixedView& fixed, const SkinPack& pack) {
    if (fixed.piece == noPiece) {
        *fixed.place = makeText(fixed.x, fixed.y, fixed.text, fixed.points, fixed.style,
                                fixed.align, fixed.color, 1, 1, fixed.noHit);
        return true;
    }
    if (!loadSkinPiece(pack, static_cast<int>(fixed.piece), fixed.place, fixed.x, fixed.y,
                       parlex.face.root.get(), false))
        return false;
    if (fixed.pressedPiece != noPiece && !loadSkinPiece(pack, static_cast<int>(fixed.pressedPiece),
                                                        fixed.place, 0, 0, nullptr, true))
        return false;
    if (*fixed.place && fixed.noHit)
        (*fixed.place)->noHit = 1;
    return true;
}

// The widest clock text; a name must end before the clock column begins.
const wchar_t widestClockText[] = L"9999.9MHz";

bool slotHoldsGpu(int slot) {
    return slot < parlex.shared.gpus.gpuCount;
}

const wchar_t outOfMemory[] = L"メモリを確保できません";

// Null, or the text of the failure.
const wchar_t* buildFrom(const SkinPack& pack) {
    View* background = nullptr;
    const bool loaded = loadSkinPiece(pack, static_cast<int>(SkinPiece::background), &background, 0,
                                      0, nullptr, false);
    parlex.face.root.reset(background);
    if (!loaded)
        return outOfMemory;
    // A background that did not decode has asked the program to end; there is
    // nothing to hang the other views on.
    if (!parlex.face.root)
        return nullptr;
    for (const FixedView& fixed : fixedViews)
        if (!makeFixedView(fixed, pack))
            return outOfMemory;

    for (int slot = 0; slot < gpuSlotCount; ++slot)
        parlex.face.nameText[slot] =
            makeText(0, firstRowY + rowHeight * slot, parlex.shared.gpus.slots[slot].nameText, 8, 0,
                     0, slotHoldsGpu(slot) ? nameColor : emptyNameColor, 150, 10, true);

    for (int slot = 0; slot < gpuSlotCount; ++slot)
        fitNameText(slot);

    // The value texts must exist before their views point at them.
    if (!startSamplingThread(parlex.shared))
        return L"スレッドを作成できません";
    formatDisplayTexts(parlex.shared.gpus);

    for (const ValueColumn& column : valueColumns)
        for (int slot = 0; slot < gpuSlotCount; ++slot)
            column.views[slot] = makeText(
                column.x, firstRowY + rowHeight * slot, parlex.shared.gpus.slots[slot].*column.text,
                8, 0, alignFar, slotHoldsGpu(slot) ? presentColor : dimColor, 1, 1, true);
    return nullptr;
}

} // namespace

const ValueColumn valueColumns[3] = {
    {.views = parlex.face.clockText,
     .x = clockColumnX,
     .text = &GpuSlotReadings::clockText,
     .color = [](const GpuSlotReadings& readings, int slot,
                 int count) { return valueColor(readings.graphicsClock != 0, slot, count); }},
    {.views = parlex.face.temperatureText,
     .x = clockColumnX + columnGap,
     .text = &GpuSlotReadings::temperatureText,
     .color = [](const GpuSlotReadings& readings, int slot,
                 int count) { return valueColor(readings.temperature != 0, slot, count); }},
    {.views = parlex.face.loadText,
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

void fitNameText(int slot) {
    View* view = parlex.face.nameText[slot];
    if (!view)
        return;
    const wchar_t* name = parlex.shared.gpus.slots[slot].nameText;
    view->text = name;
    Gdiplus::GpGraphics* graphics = parlex.backBuffer.graphics;
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
    wchar_t(&buffer)[100] = parlex.face.fittedNames[slot];
    const size_t length = fitted.copy(buffer, 99);
    buffer[length] = L'\0';
    view->text = buffer;
}

void followRediscoveredNames() {
    if (!adoptRediscoveredNames(parlex.shared.gpus))
        return;
    for (int slot = 0; slot < gpuSlotCount; ++slot) {
        if (!parlex.face.nameText[slot])
            continue;
        parlex.face.nameText[slot]->color = slotHoldsGpu(slot) ? nameColor : emptyNameColor;
        fitNameText(slot);
    }
}

const wchar_t* buildLayout(const SkinPack& pack) {
    if (!pack.archive)
        return L"アーカイブファイルを読み込めません";
    const wchar_t* failure = buildFrom(pack);
    if (failure)
        destroyLayout();
    return failure;
}

void destroyLayout() {
    forgetComposedFace();
    // The root owns every view; the face forgets them all with it.
    parlex.face = Face();
}
