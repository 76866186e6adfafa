#include "skin/text_objects.h"

#include <iterator>
#include <string>
#include <vector>

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

struct KeptFont {
    std::wstring family;
    int32_t points;
    ::FontStyle style;
    GpFont* font; // null: neither the family nor the fallback exists
};

// Released from GDI+'s own shutdown, at the end of static destruction: never
// destroyed itself, so that it is still there then.
std::vector<KeptFont>& fonts = *new std::vector<KeptFont>;
GpStringFormat* formats[3];
GpSolidFill* brush;

// Looking a family up by name walks the system's fonts, which takes
// milliseconds; each name is looked up once.
struct KeptFamily {
    std::wstring name;
    GpFontFamily* family; // null: the system has no such family
};
std::vector<KeptFamily>& families = *new std::vector<KeptFamily>;
GpFontFamily* genericFamily;
bool genericLookedUp;

GpFontFamily* familyNamed(const wchar_t* name) {
    for (const KeptFamily& kept : families)
        if (kept.name == name)
            return kept.family;
    GpFontFamily* family = nullptr;
    if (GdipCreateFontFamilyFromName(name, nullptr, &family) != Ok)
        family = nullptr;
    families.push_back({name, family});
    return family;
}

GpFont* makeFont(const wchar_t* familyName, int32_t points, ::FontStyle style) {
    const REAL emSize = points * 96.0f / 72.0f;
    GpFont* font = nullptr;
    if (GpFontFamily* family = familyNamed(familyName))
        GdipCreateFont(family, emSize, static_cast<INT>(style), UnitPixel, &font);
    if (font)
        return font;
    // The named family is missing (an optional font on some editions of
    // Windows): the generic sans-serif family.
    if (!genericLookedUp) {
        genericLookedUp = true;
        if (GdipGetGenericFontFamilySansSerif(&genericFamily) != Ok)
            genericFamily = nullptr;
    }
    if (genericFamily)
        GdipCreateFont(genericFamily, emSize, static_cast<INT>(style), UnitPixel, &font);
    return font;
}

} // namespace

GpFont* textFont(const wchar_t* family, int32_t points, ::FontStyle style) {
    if (!family)
        return nullptr;
    for (const KeptFont& kept : fonts)
        if (kept.points == points && kept.style == style && kept.family == family)
            return kept.font;
    fonts.push_back({family, points, style, makeFont(family, points, style)});
    return fonts.back().font;
}

GpStringFormat* textFormat(TextAlign align) {
    const auto index = static_cast<uint32_t>(align);
    if (index >= std::size(formats))
        return nullptr;
    if (!formats[index] && GdipCreateStringFormat(0, LANG_NEUTRAL, &formats[index]) == Ok &&
        formats[index])
        GdipSetStringFormatAlign(formats[index], static_cast<StringAlignment>(index));
    return formats[index];
}

GpSolidFill* textBrush(uint32_t color) {
    if (!brush && GdipCreateSolidFill(color, &brush) != Ok)
        brush = nullptr;
    if (brush)
        GdipSetSolidFillColor(brush, color);
    return brush;
}

bool textBounds(GpGraphics* graphics, const wchar_t* text, GpFont* font, GpStringFormat* format,
                float x, float y, RectF& bounds) {
    if (!graphics || !text || !font || !format)
        return false;
    RectF layout(x, y, 0.0f, 0.0f);
    return GdipMeasureString(graphics, text, -1, font, &layout, format, &bounds, nullptr,
                             nullptr) == Ok;
}

float textWidth(GpGraphics* graphics, const wchar_t* text, GpFont* font) {
    RectF bounds;
    if (!textBounds(graphics, text, font, textFormat(TextAlign::start), 0.0f, 0.0f, bounds))
        return 0.0f;
    return bounds.Width;
}

void releaseTextObjects() {
    for (KeptFont& kept : fonts)
        if (kept.font)
            GdipDeleteFont(kept.font);
    fonts.clear();
    for (KeptFamily& kept : families)
        if (kept.family)
            GdipDeleteFontFamily(kept.family);
    families.clear();
    if (genericFamily)
        GdipDeleteFontFamily(genericFamily);
    genericFamily = nullptr;
    genericLookedUp = false;
    for (GpStringFormat*& format : formats) {
        if (format)
            GdipDeleteStringFormat(format);
        format = nullptr;
    }
    if (brush)
        GdipDeleteBrush(brush);
    brush = nullptr;
}

int keptFontCount() {
    return static_cast<int>(fonts.size());
}
