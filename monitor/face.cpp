#include "monitor/face.h"

#include "skin/skin_pack.h"

#include "skin_pieces.h"
#include "version.h"

#include <new>

namespace {

const uint32_t white = 0xFFFFFFFF;
constexpr SkinPiece noPiece = static_cast<SkinPiece>(-1);

// A view of the face that is the same whatever the GPUs: a skin piece, with
// the piece it shows while pressed, or a text.
struct FixedView {
    View* Face::*place;
    int x, y;
    SkinPiece piece = noPiece;
    SkinPiece pressedPiece = noPiece;
    const wchar_t* text = nullptr;
    int points = 8;
    FontStyle style = FontStyle::regular;
    TextAlign align = TextAlign::start;
    uint32_t color = white;
    bool noHit = false;
};

// In drawing order, which is also the order of hit-test priority, lowest
// first; the background comes before them all and the rows after them.
const FixedView fixedViews[] = {
    {.place = &Face::cornerImage, .x = 5, .y = 5, .piece = SkinPiece::corner, .noHit = true},
    {.place = &Face::titleText,
     .x = 125,
     .y = 0,
     .text = L"TAVO Parlex",
     .points = 10,
     .style = FontStyle::bold,
     .align = TextAlign::centre},
    {.place = &Face::versionText,
     .x = 125,
     .y = 15,
     .text = L"Ver." PARLEX_SHORT_VERSION,
     .points = 6,
     .style = FontStyle::bold,
     .align = TextAlign::centre},
    {.place = &Face::editionText,
     .x = 206,
     .y = 128,
     .text = L"TAVO Parlex_SS Ver." PARLEX_SHORT_VERSION,
     .points = 6,
     .style = FontStyle::bold,
     .align = TextAlign::centre,
     .color = 0x40FFFFFF},
    {.place = &Face::closeButton,
     .x = 222,
     .y = 0,
     .piece = SkinPiece::close,
     .pressedPiece = SkinPiece::closePressed},
    {.place = &Face::trayButton,
     .x = 196,
     .y = 0,
     .piece = SkinPiece::tray,
     .pressedPiece = SkinPiece::trayPressed},
    {.place = &Face::historyLabel, .x = 25, .y = 125, .text = L"Monitor History"},
    {.place = &Face::historyCheckBox,
     .x = 7,
     .y = 125,
     .piece = SkinPiece::checkOff,
     .pressedPiece = SkinPiece::checkOn},
    {.place = &Face::rowsImage, .x = 0, .y = 30, .piece = SkinPiece::rows, .noHit = true},
};

PieceOutcome makeFixedView(Face& face, const FixedView& fixed, const SkinPack& pack) {
    View*& place = face.*fixed.place;
    if (fixed.piece == noPiece) {
        place = makeText(face, fixed.x, fixed.y, fixed.text, fixed.points, fixed.style, fixed.align,
                         fixed.color, 1, 1, fixed.noHit);
        return PieceOutcome::made;
    }
    PieceOutcome outcome = loadSkinPiece(pack, static_cast<int>(fixed.piece), &place, fixed.x,
                                         fixed.y, face.root.get(), false);
    if (outcome == PieceOutcome::made && fixed.pressedPiece != noPiece)
        outcome =
            loadSkinPiece(pack, static_cast<int>(fixed.pressedPiece), &place, 0, 0, nullptr, true);
    if (place && fixed.noHit)
        place->noHit = true;
    return outcome;
}

const wchar_t outOfMemory[] = L"メモリを確保できません";

// A skin image that does not decode tells the user nothing: only a damaged
// program file has one. The program ends without a box.
StartFailure failureOf(PieceOutcome outcome) {
    if (outcome == PieceOutcome::undecodable)
        return {.text = L"画像読み込みに失敗しました\n", .quiet = true};
    return {.text = outOfMemory};
}

StartFailure buildFrom(Face& face, const SkinPack& pack) {
    View* background = nullptr;
    const PieceOutcome loaded = loadSkinPiece(pack, static_cast<int>(SkinPiece::background),
                                              &background, 0, 0, nullptr, false);
    face.root.reset(background);
    if (loaded != PieceOutcome::made)
        return failureOf(loaded);
    for (const FixedView& fixed : fixedViews)
        if (const PieceOutcome outcome = makeFixedView(face, fixed, pack);
            outcome != PieceOutcome::made)
            return failureOf(outcome);
    return {};
}

} // namespace

View* makeText(Face& face, int x, int y, const wchar_t* text, int points, FontStyle style,
               TextAlign align, uint32_t color, int width, int height, bool noHit) {
    if (!face.root)
        return nullptr;
    View* view = new (std::nothrow) View({x, y}, face.root.get(), ViewKind::Text, nullptr, 0);
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

StartFailure buildFace(Face& face, const SkinPack& pack) {
    if (!pack.archive)
        return {.text = L"アーカイブファイルを読み込めません"};
    const StartFailure failure = buildFrom(face, pack);
    if (failure)
        face = Face();
    return failure;
}

void destroyFace(Face& face) {
    // The root owns every view; the face forgets them all with it.
    face = Face();
}
