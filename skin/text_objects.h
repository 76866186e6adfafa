// The GDI+ objects that draw Parlex's texts. A face has a handful of distinct
// fonts and alignments, so each is made the first time it is needed and kept
// until GDI+ shuts down, rather than made and deleted in every paint.
#pragma once

#include <windows.h>
// GDI+ needs the COM declarations that WIN32_LEAN_AND_MEAN leaves out.
#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>

// Where a text stands against its point: it starts there, is centred on it,
// or ends there (GDI+'s StringAlignment, in its order).
enum class TextAlign : uint32_t { start = 0, centre = 1, end = 2 };
// GDI+'s FontStyle values that the face uses.
enum class FontStyle : uint32_t { regular = 0, bold = 1 };

// The font of a family, size and style: the named family, else the generic
// sans-serif one; null where the system has neither.
Gdiplus::GpFont* textFont(const wchar_t* family, int32_t points, FontStyle style);
// A string format with the alignment; null on failure.
Gdiplus::GpStringFormat* textFormat(TextAlign align);
// The one brush of all texts, set to color; null on failure.
Gdiplus::GpSolidFill* textBrush(uint32_t color);

// The width a text takes when drawn with font, padding included; 0 when it
// cannot be measured.
float textWidth(Gdiplus::GpGraphics* graphics, const wchar_t* text, Gdiplus::GpFont* font);

// The box a text takes when drawn with font and format from the layout point
// (x, y), as GDI+ measures it; false when it cannot be measured.
bool textBounds(Gdiplus::GpGraphics* graphics, const wchar_t* text, Gdiplus::GpFont* font,
                Gdiplus::GpStringFormat* format, float x, float y, Gdiplus::RectF& bounds);

// Deletes every kept object; runs before GDI+ shuts down.
void releaseTextObjects();
// How many fonts are kept (tests: the count stays put over many paints).
int keptFontCount();
