#include "skin/layout.h"
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

// A text view under rootView with the fields the layout sets.
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
    if (!loadSkinPiece(1, &cornerImage, archive, 5, 5, rootView, false))
        return false;
    if (cornerImage)
        cornerImage->noHit = 1;
    titleText = makeText(125, 0, L"TAVO Parlex", 10, 1, 1, 0xFFFFFFFF, 1, 1, false);
    versionText = makeText(125, 15, L"Ver." PARLEX_SHORT_VERSION, 6, 1, 1, 0xFFFFFFFF, 1, 1, false);
    editionText = makeText(206, 128, L"TAVO Parlex_SS Ver." PARLEX_SHORT_VERSION, 6, 1, 1,
                           0x40FFFFFF, 1, 1, false);
    if (!loadSkinPiece(5, &closeButton, archive, 222, 0, rootView, false) ||
        !loadSkinPiece(6, &closeButton, archive, 0, 0, nullptr, true))
        return false;
    if (!loadSkinPiece(3, &trayButton, archive, 196, 0, rootView, false) ||
        !loadSkinPiece(4, &trayButton, archive, 0, 0, nullptr, true))
        return false;
    historyLabel = makeText(25, 125, L"Monitor History", 8, 0, 0, 0xFFFFFFFF, 1, 1, false);
    if (!loadSkinPiece(7, &historyCheckBox, archive, 7, 125, rootView, false) ||
        !loadSkinPiece(8, &historyCheckBox, archive, 0, 0, nullptr, true))
        return false;
    if (!loadSkinPiece(2, &rowsImage, archive, 0, 30, rootView, false))
        return false;
    if (rowsImage)
        rowsImage->noHit = 1;

    for (int slot = 0; slot < 4; ++slot)
        nameText[slot] =
            makeText(0, firstRowY + rowHeight * slot, gpuReadings.slots[slot].nameText, 8, 0, 0,
                     slotHoldsGpu(slot) ? nameColor : emptyNameColor, 150, 10, true);

    for (int slot = 0; slot < 4; ++slot)
        fitNameText(slot);

    // The value texts must exist before their views point at them.
    startSamplingThread();
    formatDisplayTexts();

    for (int slot = 0; slot < 4; ++slot) {
        const int rowY = firstRowY + rowHeight * slot;
        const uint32_t color = slotHoldsGpu(slot) ? presentColor : dimColor;
        clockText[slot] = makeText(clockColumnX, rowY, gpuReadings.slots[slot].clockText, 8, 0, 2,
                                   color, 1, 1, true);
    }
    for (int slot = 0; slot < 4; ++slot) {
        const int rowY = firstRowY + rowHeight * slot;
        const uint32_t color = slotHoldsGpu(slot) ? presentColor : dimColor;
        temperatureText[slot] =
            makeText(clockColumnX + columnGap, rowY, gpuReadings.slots[slot].temperatureText, 8, 0,
                     2, color, 1, 1, true);
    }
    for (int slot = 0; slot < 4; ++slot) {
        const int rowY = firstRowY + rowHeight * slot;
        const uint32_t color = slotHoldsGpu(slot) ? presentColor : dimColor;
        loadText[slot] = makeText(clockColumnX + 2 * columnGap, rowY,
                                  gpuReadings.slots[slot].loadText, 8, 0, 2, color, 1, 1, true);
    }
    return true;
}

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
