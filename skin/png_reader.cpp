#include "skin/png_reader.h"

#include <zlib.h>

#include <cstring>

namespace {

const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
const uint64_t largestImage = 16u << 20; // pixels

uint32_t bigEndian(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

bool typeIs(const uint8_t* type, const char* name) {
    return std::memcmp(type, name, 4) == 0;
}

// Chunks that change no pixel as GDI+ decodes them. Any other chunk (a
// palette, transparency, gamma, chromaticities, an ICC profile, significant
// bits, anything unknown) leaves the image to GDI+.
bool changesNoPixel(const uint8_t* type) {
    static const char* const inert[] = {"tEXt", "zTXt", "iTXt", "tIME", "pHYs", "bKGD"};
    for (const char* name : inert)
        if (typeIs(type, name))
            return true;
    return false;
}

uint8_t paeth(uint8_t a, uint8_t b, uint8_t c) {
    const int p = a + b - c;
    const int pa = p > a ? p - a : a - p;
    const int pb = p > b ? p - b : b - p;
    const int pc = p > c ? p - c : c - p;
    if (pa <= pb && pa <= pc)
        return a;
    return pb <= pc ? b : c;
}

// Undoes each row's filter in place; rows start with their filter type.
bool unfilter(uint8_t* data, size_t rowBytes, int32_t height, size_t pixelBytes) {
    const uint8_t* previous = nullptr;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = data + static_cast<size_t>(y) * (rowBytes + 1);
        const uint8_t filter = row[0];
        uint8_t* line = row + 1;
        for (size_t i = 0; i < rowBytes; ++i) {
            const uint8_t left = i >= pixelBytes ? line[i - pixelBytes] : 0;
            const uint8_t up = previous ? previous[i] : 0;
            const uint8_t upLeft = previous && i >= pixelBytes ? previous[i - pixelBytes] : 0;
            switch (filter) {
            case 0:
                break;
            case 1:
                line[i] = static_cast<uint8_t>(line[i] + left);
                break;
            case 2:
                line[i] = static_cast<uint8_t>(line[i] + up);
                break;
            case 3:
                line[i] = static_cast<uint8_t>(line[i] + (left + up) / 2);
                break;
            case 4:
                line[i] = static_cast<uint8_t>(line[i] + paeth(left, up, upLeft));
                break;
            default:
                return false;
            }
        }
        previous = line;
    }
    return true;
}

bool inflateAll(const std::vector<uint8_t>& compressed, std::vector<uint8_t>& raw) {
    if (compressed.size() > 0xFFFFFFFFu || raw.size() > 0xFFFFFFFFu)
        return false;
    z_stream stream = {};
    if (inflateInit(&stream) != Z_OK)
        return false;
    stream.next_in = const_cast<Bytef*>(compressed.data());
    stream.avail_in = static_cast<uInt>(compressed.size());
    stream.next_out = raw.data();
    stream.avail_out = static_cast<uInt>(raw.size());
    const int result = inflate(&stream, Z_FINISH);
    inflateEnd(&stream);
    // The stream must end, and fill the image exactly.
    return result == Z_STREAM_END && stream.avail_out == 0;
}

} // namespace

bool readPng(const uint8_t* bytes, size_t count, PngPixels& image) {
    if (!bytes || count < sizeof signature || std::memcmp(bytes, signature, sizeof signature) != 0)
        return false;
    size_t at = sizeof signature;
    int32_t width = 0, height = 0;
    size_t pixelBytes = 0;
    bool header = false, ended = false, idatDone = false;
    std::vector<uint8_t> compressed;
    while (!ended) {
        if (count - at < 12)
            return false;
        const uint32_t length = bigEndian(bytes + at);
        const uint8_t* type = bytes + at + 4;
        if (length > count - at - 12)
            return false;
        const uint8_t* data = type + 4;
        const uLong crc = crc32(crc32(0, nullptr, 0), type, length + 4);
        if (crc != bigEndian(data + length))
            return false;
        if (!header) {
            // IHDR: width, height, depth 8, RGB (2) or RGBA (6), the only
            // compression and filter methods, no interlace.
            if (!typeIs(type, "IHDR") || length != 13 || data[8] != 8 ||
                (data[9] != 2 && data[9] != 6) || data[10] != 0 || data[11] != 0 || data[12] != 0)
                return false;
            const uint32_t w = bigEndian(data), h = bigEndian(data + 4);
            if (w == 0 || h == 0 || static_cast<uint64_t>(w) * h > largestImage)
                return false;
            width = static_cast<int32_t>(w);
            height = static_cast<int32_t>(h);
            pixelBytes = data[9] == 6 ? 4 : 3;
            header = true;
        } else if (typeIs(type, "IDAT")) {
            // The image data is one run of IDAT chunks.
            if (idatDone)
                return false;
            compressed.insert(compressed.end(), data, data + length);
        } else if (typeIs(type, "IEND")) {
            ended = true;
        } else if (changesNoPixel(type)) {
            idatDone = idatDone || !compressed.empty();
        } else {
            return false;
        }
        at += 12 + static_cast<size_t>(length);
    }
    if (compressed.empty())
        return false;
    const size_t rowBytes = static_cast<size_t>(width) * pixelBytes;
    std::vector<uint8_t> raw((rowBytes + 1) * static_cast<size_t>(height));
    if (!inflateAll(compressed, raw) || !unfilter(raw.data(), rowBytes, height, pixelBytes))
        return false;
    image.width = width;
    image.height = height;
    image.bgra.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    uint8_t* out = image.bgra.data();
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* in = raw.data() + static_cast<size_t>(y) * (rowBytes + 1) + 1;
        for (int32_t x = 0; x < width; ++x, in += pixelBytes, out += 4) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            out[3] = pixelBytes == 4 ? in[3] : 0xFF;
        }
    }
    return true;
}
