// The table-driven alpha blend of the back buffer. Pure arithmetic, no system
// calls: the table, the literal rule it must equal, and the blend of one image.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t blendTableSize = 256 * 256 * 256;

// Index of destination d, source s and effective alpha a.
constexpr size_t blendIndex(int d, int s, int a) {
    return static_cast<size_t>(d) * 65536 + static_cast<size_t>(s) * 256 + static_cast<size_t>(a);
}

// The rule itself: low 8 bits of d - trunc((a / -255.0) * (s - d)) in double
// precision, in exactly this order. Slightly off exact arithmetic in 3,018
// entries, which is the look every skin was made for.
uint8_t blendRule(int d, int s, int a);

// Fills the table by the rule, from the 256 x 511 distinct products of a and
// s - d rather than one double multiplication per entry.
void fillBlendTable(uint8_t* table);
// The same table, one rule evaluation per entry (the reference for tests and
// the benchmark).
void fillBlendTableLiterally(uint8_t* table);

// Blends an image of width x height straight-alpha BGRA pixels (rows top to
// bottom) into a bottom-up 32-bit buffer with its top-left pixel at (x, y),
// clipped to the buffer. The effective alpha of a pixel is trunc(alpha x
// factor); the destination's fourth byte becomes 0.
// A pixel whose effective alpha is 0 or 255 takes no table look-up: the
// table's entries there are the destination and the source themselves.
void blendPixels(uint32_t* bufferBits, int bufferWidth, int bufferHeight, int x, int y,
                 const uint8_t* pixels, int width, int height, float factor, const uint8_t* table);

// A part of the buffer, counted from its top-left pixel; right and bottom are
// one past the last column and row.
struct BlendClip {
    int left, top, right, bottom;
};

// The same blend, leaving every pixel outside clip as it is.
void blendPixelsClipped(uint32_t* bufferBits, int bufferWidth, int bufferHeight, int x, int y,
                        const uint8_t* pixels, int width, int height, float factor,
                        const uint8_t* table, BlendClip clip);
