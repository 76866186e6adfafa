// Reads the PNG images a skin is made of without the system's image codecs,
// which cost a start-up tens of milliseconds and more than a megabyte to load.
// It takes only what it can decode exactly as GDI+ does: 8-bit RGB or RGBA,
// not interlaced, with no chunk that asks for color or gamma handling.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct PngPixels {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> bgra; // straight alpha, rows top to bottom
};

// False for bytes it does not take (another PNG kind, a damaged file, not a
// PNG at all, an image over 16 Mpixel): the caller decodes those as before.
bool readPng(const uint8_t* bytes, size_t count, PngPixels& image);
