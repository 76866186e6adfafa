#include "skin/painting.h"

#include "skin/back_buffer.h"
#include "skin/text_objects.h"

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <string>
#include <vector>

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

// Antialiasing and overhangs may reach a little past the box GDI+ measures.
const int textMargin = 3;

bool isEmpty(const BlendClip& r) {
    return r.left >= r.right || r.top >= r.bottom;
}

bool meet(const BlendClip& a, const BlendClip& b) {
    return !isEmpty(a) && !isEmpty(b) && a.left < b.right && b.left < a.right && a.top < b.bottom &&
           b.top < a.bottom;
}

bool holds(const BlendClip& outer, const BlendClip& inner) {
    return outer.left <= inner.left && inner.right <= outer.right && outer.top <= inner.top &&
           inner.bottom <= outer.bottom;
}

BlendClip join(const BlendClip& a, const BlendClip& b) {
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

BlendClip whole(const BackBuffer& buffer) {
    return {0, 0, buffer.width, buffer.height};
}

BlendClip clipped(const BackBuffer& buffer, BlendClip r) {
    r.left = std::max(r.left, 0);
    r.top = std::max(r.top, 0);
    r.right = std::min(r.right, buffer.width);
    r.bottom = std::min(r.bottom, buffer.height);
    return isEmpty(r) ? BlendClip{0, 0, 0, 0} : r;
}

// The views in drawing order, each placed as View::draw places it.
void walk(std::vector<View*>& order, View* view) {
    view->absX = view->x + (view->parent ? view->parent->absX : 0);
    view->absY = view->y + (view->parent ? view->parent->absY : 0);
    order.push_back(view);
    for (const std::unique_ptr<View>& child : view->children)
        if (child->visible)
            walk(order, child.get());
}

const wchar_t* textOf(const View* view) {
    return view->text ? view->text : L"";
}
const wchar_t* familyOf(const View* view) {
    return view->fontFamily ? view->fontFamily : L"";
}

bool changed(const ComposedView& was, const View* view) {
    if (was.x != view->absX || was.y != view->absY)
        return true;
    switch (view->kind) {
    case ViewKind::Image: {
        const ImageRecord& image = view->selectedImage();
        return was.pixels != image.pixels || was.width != image.width ||
               was.height != image.height || was.alpha != view->alpha;
    }
    case ViewKind::Text:
        return was.points != view->fontPoints || was.style != view->fontStyle ||
               was.align != view->textAlign || was.color != view->color ||
               was.text != textOf(view) || was.family != familyOf(view);
    default:
        return false;
    }
}

BlendClip textExtent(const BackBuffer& buffer, View* view) {
    GpFont* font = textFont(view->fontFamily, view->fontPoints, view->fontStyle);
    GpStringFormat* format = textFormat(view->textAlign);
    if (!buffer.graphics || !view->text || !font || !format || !*view->text)
        return {0, 0, 0, 0};
    RectF bounds;
    if (!textBounds(buffer.graphics, view->text, font, format, static_cast<REAL>(view->absX),
                    static_cast<REAL>(view->absY), bounds))
        return whole(buffer);
    // From a point, a text runs right, both ways or left of it by its
    // alignment. Not every GDI+ places the measured box so for a layout of no
    // width; the extent takes in both places.
    const float width = bounds.Width;
    const float x = static_cast<float>(view->absX);
    const float start = view->textAlign == TextAlign::centre ? x - width / 2
                        : view->textAlign == TextAlign::end  ? x - width
                                                             : x;
    const float left = std::min(bounds.X, start);
    const float right = std::max(bounds.X, start) + width;
    return clipped(buffer, {static_cast<int>(std::floor(left)) - textMargin,
                            static_cast<int>(std::floor(bounds.Y)) - textMargin,
                            static_cast<int>(std::ceil(right)) + textMargin,
                            static_cast<int>(std::ceil(bounds.Y + bounds.Height)) + textMargin});
}

void record(const BackBuffer& buffer, ComposedView& was, View* view) {
    was.view = view;
    was.x = view->absX;
    was.y = view->absY;
    switch (view->kind) {
    case ViewKind::Image: {
        const ImageRecord& image = view->selectedImage();
        was.pixels = image.pixels;
        was.width = image.width;
        was.height = image.height;
        was.alpha = view->alpha;
        was.extent = clipped(
            buffer, {view->absX, view->absY, view->absX + image.width, view->absY + image.height});
        break;
    }
    case ViewKind::Text:
        was.text = textOf(view);
        was.family = familyOf(view);
        was.points = view->fontPoints;
        was.style = view->fontStyle;
        was.align = view->textAlign;
        was.color = view->color;
        was.extent = textExtent(buffer, view);
        break;
    case ViewKind::Picture:
    case ViewKind::Line:
        was.extent = whole(buffer);
        break;
    default:
        was.extent = {0, 0, 0, 0};
        break;
    }
}

void addDirty(std::vector<BlendClip>& dirty, const BlendClip& r) {
    if (!isEmpty(r))
        dirty.push_back(r);
}

// Makes the parts disjoint and lets each take in whole every text that
// reaches into it: a text is drawn whole, so all it may touch is composed anew.
void settleDirty(Composition& composition) {
    std::vector<BlendClip>& dirty = composition.dirty;
    for (bool grew = true; grew;) {
        grew = false;
        for (size_t i = 0; i < dirty.size() && !grew; ++i)
            for (size_t j = i + 1; j < dirty.size() && !grew; ++j)
                if (meet(dirty[i], dirty[j])) {
                    dirty[i] = join(dirty[i], dirty[j]);
                    dirty.erase(dirty.begin() + static_cast<ptrdiff_t>(j));
                    grew = true;
                }
        for (const ComposedView& item : composition.drawn)
            if (item.view->kind == ViewKind::Text)
                for (BlendClip& part : dirty)
                    if (meet(part, item.extent) && !holds(part, item.extent)) {
                        part = join(part, item.extent);
                        grew = true;
                    }
    }
}

// Text reaches the buffer through GDI; it must be there before the pixels are
// blended over it directly, and before the buffer is presented.
void flushText(const BackBuffer& buffer) {
    if (!buffer.graphics)
        return;
    GdipFlush(buffer.graphics, FlushIntentionSync);
    GdiFlush();
}

// Composes one part: every view that reaches into it, in drawing order.
void composePart(BackBuffer& buffer, const BlendClip& part) {
    bool textPending = false;
    for (const ComposedView& item : buffer.composition.drawn) {
        if (!meet(part, item.extent))
            continue;
        View* view = item.view;
        if (view->kind == ViewKind::Image) {
            if (textPending)
                flushText(buffer);
            textPending = false;
            buffer.blendImageClipped(view->absX, view->absY, view->selectedImage(), view->alpha,
                                     part);
        } else {
            view->drawSelf(buffer);
            textPending = true;
        }
    }
    if (textPending)
        flushText(buffer);
}

} // namespace

bool BackBuffer::compose(View* root) {
    if (!root)
        return false;
    std::vector<ComposedView>& drawn = composition.drawn;
    std::vector<View*>& order = composition.order;
    std::vector<BlendClip>& dirty = composition.dirty;
    order.clear();
    walk(order, root);
    bool full = composition.bits != bits || order.size() != drawn.size();
    for (size_t i = 0; i < order.size() && !full; ++i)
        full = drawn[i].view != order[i];
    if (full) {
        drawn.assign(order.size(), ComposedView());
        for (size_t i = 0; i < order.size(); ++i)
            record(*this, drawn[i], order[i]);
        composition.bits = bits;
        composePart(*this, whole(*this));
        return true;
    }
    dirty.clear();
    // Pictures and lines are drawn by GDI+ unclipped: a face that has one is
    // composed whole whenever anything changed.
    bool wholeFace = false;
    for (ComposedView& item : drawn) {
        wholeFace =
            wholeFace || item.view->kind == ViewKind::Picture || item.view->kind == ViewKind::Line;
        if (!changed(item, item.view))
            continue;
        addDirty(dirty, item.extent);
        record(*this, item, item.view);
        addDirty(dirty, item.extent);
    }
    if (dirty.empty())
        return false;
    if (wholeFace) {
        composePart(*this, whole(*this));
        return true;
    }
    settleDirty(composition);
    for (const BlendClip& part : dirty)
        composePart(*this, part);
    return true;
}

void paintWindow(BackBuffer& buffer, HWND window, View* root) {
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    buffer.compose(root);
    buffer.present();
    EndPaint(window, &paint);
}
