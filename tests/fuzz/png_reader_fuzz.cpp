// Any bytes: the reader reads nothing past them, and what it takes has the
// size its header gives. Chunk checksums are set right first, so that the
// mutations reach the header, the inflation and the row filters.
#include "skin/png_reader.h"

#include <zlib.h>

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    for (size_t at = 8; at + 12 <= bytes.size();) {
        const uint32_t length = uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 |
                                uint32_t(bytes[at + 2]) << 8 | bytes[at + 3];
        if (length > bytes.size() - at - 12)
            break;
        const uint32_t crc = static_cast<uint32_t>(crc32(0, &bytes[at + 4], length + 4));
        for (int i = 0; i < 4; ++i)
            bytes[at + 8 + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
        at += 12 + length;
    }
    // Exactly what it was given, in a block of its own.
    std::vector<uint8_t> exact(bytes);
    PngPixels image;
    if (readPng(exact.data(), exact.size(), image) &&
        (image.width <= 0 || image.height <= 0 ||
         image.bgra.size() != size_t(image.width) * size_t(image.height) * 4))
        __builtin_trap();
    return 0;
}
