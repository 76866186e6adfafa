#include "skin/blend.h"

#include <algorithm>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

uint8_t blendRule(int d, int s, int a) {
    double product = (a / -255.0) * static_cast<double>(s - d);
    return static_cast<uint8_t>(d - static_cast<int>(product));
}

void fillBlendTable(uint8_t* table) {
    // minus[k][a] = -trunc((a / -255.0) * k) for k = s - d in -255..255, kept
    // modulo 256: the entry is then d + minus[s - d][a], one byte addition.
    // trunc is odd and the product changes sign exactly with k, so the row
    // of -k is the row of k negated.
    static uint8_t minus[511][256];
    static double quotient[256];
    for (int a = 0; a < 256; ++a)
        quotient[a] = a / -255.0;
    for (int k = 0; k <= 255; ++k)
        for (int a = 0; a < 256; ++a) {
            const int value = -static_cast<int>(quotient[a] * static_cast<double>(k));
            minus[k + 255][a] = static_cast<uint8_t>(value);
            minus[255 - k][a] = static_cast<uint8_t>(-value);
        }
#if defined(__SSE2__)
    // The table is far larger than any cache: stores that bypass it write it
    // without first reading every line they fill.
    if (reinterpret_cast<uintptr_t>(table) % 16 == 0) {
        for (int d = 0; d < 256; ++d) {
            const __m128i base = _mm_set1_epi8(static_cast<char>(d));
            for (int s = 0; s < 256; ++s) {
                const uint8_t* row = minus[s - d + 255];
                uint8_t* out = table + blendIndex(d, s, 0);
                for (int a = 0; a < 256; a += 16) {
                    const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + a));
                    _mm_stream_si128(reinterpret_cast<__m128i*>(out + a), _mm_add_epi8(base, k));
                }
            }
        }
        _mm_sfence();
        return;
    }
#endif
    for (int d = 0; d < 256; ++d) {
        for (int s = 0; s < 256; ++s) {
            const uint8_t* row = minus[s - d + 255];
            uint8_t* out = table + blendIndex(d, s, 0);
            const uint8_t base = static_cast<uint8_t>(d);
            for (int a = 0; a < 256; ++a)
                out[a] = static_cast<uint8_t>(base + row[a]);
        }
    }
}

void fillBlendTableLiterally(uint8_t* table) {
    for (int d = 0; d < 256; ++d)
        for (int s = 0; s < 256; ++s)
            for (int a = 0; a < 256; ++a)
                table[blendIndex(d, s, a)] = blendRule(d, s, a);
}

void blendPixels(uint32_t* bufferBits, int bufferWidth, int bufferHeight, int x, int y,
                 const uint8_t* pixels, int width, int height, float factor, const uint8_t* table) {
    blendPixelsClipped(bufferBits, bufferWidth, bufferHeight, x, y, pixels, width, height, factor,
                       table, {0, 0, bufferWidth, bufferHeight});
}

void blendPixelsClipped(uint32_t* bufferBits, int bufferWidth, int bufferHeight, int x, int y,
                        const uint8_t* pixels, int width, int height, float factor,
                        const uint8_t* table, BlendClip clip) {
    if (!pixels || width <= 0 || height <= 0)
        return;
    const int left = std::max(clip.left, 0);
    const int top = std::max(clip.top, 0);
    const int right = std::min(clip.right, bufferWidth);
    const int bottom = std::min(clip.bottom, bufferHeight);
    const int x0 = std::max(x, left);
    const int y0 = std::max(y, top);
    const int columns = std::min(right, x + width) - x0;
    const int rows = std::min(bottom, y + height) - y0;
    if (columns <= 0 || rows <= 0)
        return;
    const int skipX = x0 - x;
    const int skipY = y0 - y;
    for (int r = 0; r < rows; ++r) {
        const uint8_t* source = pixels + (static_cast<size_t>(r + skipY) * width + skipX) * 4;
        uint32_t* destination =
            bufferBits + static_cast<size_t>(bufferHeight - 1 - (y0 + r)) * bufferWidth + x0;
        for (int c = 0; c < columns; ++c, source += 4) {
            const uint8_t alpha =
                static_cast<uint8_t>(static_cast<int>(static_cast<float>(source[3]) * factor));
            const uint32_t old = destination[c];
            if (alpha == 0) {
                destination[c] = old & 0xFFFFFF;
                continue;
            }
            if (alpha == 255) {
                destination[c] =
                    source[0] | (source[1] << 8) | (static_cast<uint32_t>(source[2]) << 16);
                continue;
            }
            const uint32_t blue = table[blendIndex(old & 0xFF, source[0], alpha)];
            const uint32_t green = table[blendIndex((old >> 8) & 0xFF, source[1], alpha)];
            const uint32_t red = table[blendIndex((old >> 16) & 0xFF, source[2], alpha)];
            destination[c] = blue | (green << 8) | (red << 16);
        }
    }
}
