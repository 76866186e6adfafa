#include "skin/view.h"

#include "skin/back_buffer.h"
#include "skin/text_objects.h"
#include "system/owned.h"

#include <objidl.h>

#include <cstring>

using namespace Gdiplus;

using namespace Gdiplus::DllExports;

const wchar_t View::defaultFontFamily[] = L"\u30E1\u30A4\u30EA\u30AA"; // メイリオ

namespace {

// GDI+ objects created and deleted within one draw.
using OwnedAttributes = Owned<GpImageAttributes*, GdipDisposeImageAttributes>;
using OwnedPen = Owned<GpPen*, GdipDeletePen>;

// The root of a view's tree, which numbers the whole tree.
template <typename AnyView> AnyView* rootOf(AnyView* view) {
    while (view->parent)
        view = view->parent;
    return view;
}

} // namespace

View::View(POINT position, View* parentView, ViewKind viewKind, const uint8_t* bytes,
           uint32_t count) {
    init(position, parentView, viewKind, bytes, count);
}

View::~View() {
    destroyChildren();
}

void View::init(POINT position, View* parentView, ViewKind viewKind, const uint8_t* bytes,
                uint32_t count) {
    // The remaining fields already hold the values of a view without image.
    x = position.x;
    y = position.y;
    kind = viewKind;
    if (bytes) {
        decodeImage(bytes, count, mainImage, viewKind == ViewKind::Picture);
        // Left unattached: whoever made it decides what that means.
        if (!mainImage.pixels)
            return;
    }
    imageSelector = ImageSelector::SelectorAuto;
    pressed = hovered = draggable = noHit = false;
    visible = true;
    parent = parentView;
    serial = rootOf(this)->serialsTaken++;
    color = 0xFFFFFFFF;
    alpha = 1.0f;
    textAlign = TextAlign::start;
    fontPoints = 10;
    text = L"";
    fontFamily = defaultFontFamily;
    fontStyle = ::FontStyle::regular;
    width = height = 0;
    if (parent)
        parent->children.emplace_back(this);
}

int32_t View::nextSerial() const {
    return rootOf(this)->serialsTaken;
}

void View::destroyChildren() {
    children.clear();
}

const ImageRecord& View::selectedImage() const {
    switch (imageSelector) {
    case ImageSelector::SelectorPressed:
        return pressedImage;
    case ImageSelector::SelectorHover:
        return hoverImage;
    default:
        if (pressed && pressedImage.pixels)
            return pressedImage;
        if (hovered && hoverImage.pixels)
            return hoverImage;
        return mainImage;
    }
}

void View::draw(BackBuffer& target) {
    absX = x;
    absY = y;
    if (parent) {
        absX += parent->absX;
        absY += parent->absY;
    }
    drawSelf(target);
    for (const std::unique_ptr<View>& child : children)
        if (child->visible)
            child->draw(target);
}

void View::drawSelf(BackBuffer& target) {
    GpGraphics* graphics = target.graphics;
    switch (kind) {
    case ViewKind::Image:
        target.blendImage(absX, absY, selectedImage(), alpha);
        break;
    case ViewKind::Picture:
        drawPicture(graphics);
        break;
    case ViewKind::Text:
        drawText(graphics);
        break;
    case ViewKind::Line:
        drawLine(graphics);
        break;
    default:
        break;
    }
}

void View::drawText(GpGraphics* graphics) {
    if (!graphics || !text)
        return;
    // On a system with neither the named family nor the generic sans-serif
    // one, the text is simply not drawn.
    GpFont* font = textFont(fontFamily, fontPoints, fontStyle);
    GpStringFormat* format = textFormat(textAlign);
    GpSolidFill* brush = textBrush(color);
    if (!font || !format || !brush)
        return;
    RectF layout(static_cast<REAL>(absX), static_cast<REAL>(absY), 0.0f, 0.0f);
    GdipDrawString(graphics, text, -1, font, &layout, format, brush);
}

void View::drawPicture(GpGraphics* graphics) {
    if (!graphics || !mainImage.bitmap)
        return;
    ColorMatrix matrix = {};
    for (int i = 0; i < 5; ++i)
        matrix.m[i][i] = 1.0f;
    matrix.m[3][3] = alpha;
    OwnedAttributes attributes;
    GdipCreateImageAttributes(attributes.put());
    if (!attributes)
        return;
    GdipSetImageAttributesColorMatrix(attributes.get(), ColorAdjustTypeDefault, TRUE, &matrix,
                                      nullptr, ColorMatrixFlagsDefault);
    GdipDrawImageRectRect(graphics, mainImage.bitmap, static_cast<REAL>(absX),
                          static_cast<REAL>(absY), static_cast<REAL>(mainImage.width),
                          static_cast<REAL>(mainImage.height), 0.0f, 0.0f,
                          static_cast<REAL>(mainImage.width), static_cast<REAL>(mainImage.height),
                          UnitPixel, attributes.get(), nullptr, nullptr);
}

void View::drawLine(GpGraphics* graphics) {
    if (!graphics)
        return;
    OwnedPen pen;
    GdipCreatePen1(color, penWidth, UnitWorld, pen.put());
    if (pen)
        GdipDrawLineI(graphics, pen.get(), lineX1, lineY1, lineX2, lineY2);
}

void View::loadImage(const uint8_t* bytes, uint32_t count) {
    decodeImage(bytes, count, mainImage, false);
}

void View::loadPressedImage(const uint8_t* bytes, uint32_t count) {
    decodeImage(bytes, count, pressedImage, false);
}

void View::loadHoverImage(const uint8_t* bytes, uint32_t count) {
    decodeImage(bytes, count, hoverImage, false);
}

bool View::contains(POINT point) const {
    const bool imageExtent = kind == ViewKind::Image || kind == ViewKind::UnusedKind;
    const int32_t extentWidth = imageExtent ? mainImage.width : width;
    const int32_t extentHeight = imageExtent ? mainImage.height : height;
    return absX <= point.x && point.x <= absX + extentWidth && absY <= point.y &&
           point.y <= absY + extentHeight;
}

const View* View::hitTest(POINT point) const {
    if (!visible)
        return nullptr;
    // The view made last wins, however deep it sits in its subtree.
    const View* best = nullptr;
    for (const std::unique_ptr<View>& child : children) {
        const View* hit = child->hitTest(point);
        if (hit && (!best || hit->serial > best->serial))
            best = hit;
    }
    if (best)
        return best;
    if (kind == ViewKind::Line || noHit)
        return nullptr;
    return contains(point) ? this : nullptr;
}

void View::press(POINT) {
    pressed = true;
}

void View::dragTo(int32_t toX, int32_t toY) {
    if (!draggable)
        return;
    x = toX;
    y = toY;
}

void View::release(POINT) {
    pressed = false;
}
