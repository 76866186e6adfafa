// The face of the Parlex window: its views, and the table that builds the
// fixed ones from the skin. The views of the slots are reading_views.h's.
#pragma once

#include "monitor/reading_texts.h"
#include "monitor/start_failure.h"
#include "skin/skin_pack.h"
#include "skin/view.h"
#include "sampling/gpu_readings.h"

#include <cstdio>
#include <memory>

// The face: root and its 25 children, in the order that is also their
// drawing order and hit-test priority. root owns every view; the others
// point into its tree.
struct Face {
    std::unique_ptr<View> root;
    View* cornerImage;
    View* titleText;
    View* versionText;
    View* editionText;
    View* closeButton;
    View* trayButton;
    View* historyLabel;
    View* historyCheckBox;
    View* rowsImage;
    View* nameText[gpuSlotCount];
    View* clockText[gpuSlotCount];
    View* temperatureText[gpuSlotCount];
    View* loadText[gpuSlotCount];
    // A GPU name shortened to end before the clock column.
    GpuName fittedNames[gpuSlotCount];
    // What the value views show, written at every refresh.
    ValueText clockTexts[gpuSlotCount];
    ValueText temperatureTexts[gpuSlotCount];
    ValueText loadTexts[gpuSlotCount];
};

// Where the rows of the slots stand, and where the clock column begins.
constexpr int firstRowY = 34;
constexpr int rowHeight = 24;
constexpr int clockColumnX = 183;

// A text view under the face's root, sized as the layout sizes texts; null
// where there is no root or no memory, which the face then goes without.
View* makeText(Face& face, int x, int y, const wchar_t* text, int points, FontStyle style,
               TextAlign align, uint32_t color, int width, int height, bool noHit);

// Builds the fixed views of face from the extracted skin pack (its archive
// null: it could not be opened). On a failure face is left empty. A skin
// image that does not decode is a quiet failure: only a damaged program file
// has one.
StartFailure buildFace(Face& face, const SkinPack& pack);
// Deletes the root and with it every view.
void destroyFace(Face& face);
