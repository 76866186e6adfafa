// The skin's PNG reader against images written here with every row filter,
// and the kinds it must leave to GDI+: pure, built for Windows and, under
// sanitizers, for the build machine.
#include "skin/png_reader.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void put32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    put32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32(out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

uint8_t paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

struct Png {
    int width, height, channels;
    std::vector<uint8_t> rgba; // what the file holds, 3 or 4 bytes a pixel
    uint8_t depth = 8, colorType = 0, interlace = 0;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> extra; // before IDAT
    int idatPieces = 1;

    Png(int w, int h, int c) : width(w), height(h), channels(c), rgba(size_t(w) * h * c) {
        colorType = c == 4 ? 6 : 2;
        for (size_t i = 0; i < rgba.size(); ++i)
            rgba[i] = static_cast<uint8_t>((i * 7919u) ^ (i >> 5) * 31u);
    }

    // Row y is filtered with type y % 5, so every filter meets every edge.
    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> raw;
        const int row = width * channels;
        for (int y = 0; y < height; ++y) {
            raw.push_back(static_cast<uint8_t>(y % 5));
            for (int i = 0; i < row; ++i) {
                const uint8_t* line = &rgba[size_t(y) * row];
                const int a = i >= channels ? line[i - channels] : 0;
                const int b = y ? line[i - row] : 0;
                const int c = y && i >= channels ? line[i - row - channels] : 0;
                const int predictors[5] = {0, a, b, (a + b) / 2, paeth(a, b, c)};
                raw.push_back(static_cast<uint8_t>(line[i] - predictors[y % 5]));
            }
        }
        uLongf size = compressBound(static_cast<uLong>(raw.size()));
        std::vector<uint8_t> packed(size);
        compress(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
        packed.resize(size);
        std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        std::vector<uint8_t> header;
        put32(header, static_cast<uint32_t>(width));
        put32(header, static_cast<uint32_t>(height));
        header.insert(header.end(), {depth, colorType, 0, 0, interlace});
        chunk(out, "IHDR", header);
        for (const auto& [type, data] : extra)
            chunk(out, type.c_str(), data);
        const size_t piece = packed.size() / idatPieces + 1;
        for (size_t at = 0; at < packed.size(); at += piece)
            chunk(out, "IDAT", std::vector<uint8_t>(packed.begin() + at,
                                                    packed.begin() + std::min(packed.size(), at + piece)));
        chunk(out, "tEXt", {'a', 0, 'b'});
        chunk(out, "IEND", {});
        return out;
    }

    std::vector<uint8_t> bgra() const {
        std::vector<uint8_t> out;
        for (size_t i = 0; i < rgba.size(); i += channels)
            out.insert(out.end(), {rgba[i + 2], rgba[i + 1], rgba[i],
                                   channels == 4 ? rgba[i + 3] : uint8_t(0xFF)});
        return out;
    }
};

bool reads(const std::vector<uint8_t>& bytes, PngPixels& image) {
    return readPng(bytes.data(), bytes.size(), image);
}

TEST(PngReader, ReadsEveryFilterOfRgbaAndRgbExactly) {
    for (int channels : {4, 3})
        for (auto [w, h] : {std::pair{1, 1}, {7, 11}, {271, 6}}) {
            Png png(w, h, channels);
            png.idatPieces = 3;
            PngPixels image;
            ASSERT_TRUE(reads(png.bytes(), image)) << channels << " " << w << "x" << h;
            EXPECT_EQ(w, image.width);
            EXPECT_EQ(h, image.height);
            EXPECT_EQ(png.bgra(), image.bgra) << channels << " " << w << "x" << h;
        }
}

// What GDI+ would decode otherwise, or not at all, is left to it.
TEST(PngReader, LeavesOtherKindsAndDamagedFilesAlone) {
    std::vector<std::vector<uint8_t>> refused;
    Png sixteen(4, 4, 4);
    sixteen.depth = 16;
    refused.push_back(sixteen.bytes());
    Png interlaced(4, 4, 4);
    interlaced.interlace = 1;
    refused.push_back(interlaced.bytes());
    Png grey(4, 4, 4);
    grey.colorType = 4;
    refused.push_back(grey.bytes());
    for (const char* type : {"gAMA", "iCCP", "cHRM", "tRNS", "PLTE", "sBIT", "abCD"}) {
        Png managed(4, 4, 4);
        managed.extra.push_back({type, {0, 0, 0xB1, 0x8F}});
        refused.push_back(managed.bytes());
    }
    const std::vector<uint8_t> good = Png(9, 9, 4).bytes();
    std::vector<uint8_t> badCrc = good;
    badCrc[29] ^= 1; // the header's CRC
    refused.push_back(badCrc);
    refused.push_back(std::vector<uint8_t>(good.begin(), good.end() - 12)); // no IEND
    refused.push_back(std::vector<uint8_t>(good.begin(), good.begin() + 40));
    refused.push_back({});
    for (size_t i = 0; i < refused.size(); ++i) {
        PngPixels image;
        EXPECT_FALSE(reads(refused[i], image)) << i;
    }
    PngPixels image;
    EXPECT_TRUE(reads(good, image));
}

} // namespace
