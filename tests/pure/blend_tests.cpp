// The blend table and the blend of an image into the buffer: pure arithmetic,
// built for Windows and, under sanitizers, for the build machine.
#include "skin/blend.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

namespace {

// --- blend table -----------------------------------------------------------

// The fill writes a table that starts on a 16-byte boundary, as the
// program's does, in blocks of 16 bytes; any other table byte by byte.
class BlendTable : public ::testing::Test {
  protected:
    static std::vector<uint8_t> storage;
    static uint8_t* table;
    static void SetUpTestSuite() {
        storage.resize(blendTableSize + 16);
        table = storage.data() + (16 - reinterpret_cast<uintptr_t>(storage.data()) % 16) % 16;
        fillBlendTable(table);
    }
};
std::vector<uint8_t> BlendTable::storage;
uint8_t* BlendTable::table;

// The fast fill, aligned and not, and the literal one, all against the rule
// written out here, in one walk of the 16.7 million entries.
TEST_F(BlendTable, EqualsTheRuleAtEveryIndexAsTheLiteralFillDoes) {
    std::vector<uint8_t> literalFill(blendTableSize + 1);
    fillBlendTable(literalFill.data() + 1);
    EXPECT_EQ(0, std::memcmp(table, literalFill.data() + 1, blendTableSize)) << "unaligned";
    fillBlendTableLiterally(literalFill.data());
    size_t mismatches = 0, literalMismatches = 0;
    for (int d = 0; d < 256; ++d)
        for (int s = 0; s < 256; ++s)
            for (int a = 0; a < 256; ++a) {
                const double literal = (a / -255.0) * (s - d);
                const uint8_t expected = static_cast<uint8_t>(d - static_cast<int>(literal));
                mismatches += table[blendIndex(d, s, a)] != expected;
                literalMismatches += literalFill[blendIndex(d, s, a)] != expected;
            }
    EXPECT_EQ(0u, mismatches);
    EXPECT_EQ(0u, literalMismatches);
}

TEST_F(BlendTable, KnownEntriesAndTheStepsNearerToTheDestination) {
    EXPECT_EQ(48, table[blendIndex(0, 85, 147)]);
    std::set<std::pair<int, int>> pairs;
    size_t nearer = 0;
    for (int d = 0; d < 256; ++d)
        for (int s = 0; s < 256; ++s)
            for (int a = 0; a < 256; ++a) {
                const int exact = d + (s - d) * a / 255; // truncated toward zero
                const int entry = table[blendIndex(d, s, a)];
                if (entry != exact) {
                    ASSERT_EQ(exact + (s > d ? -1 : 1), entry) << d << " " << s << " " << a;
                    ++nearer;
                    pairs.insert({a, s - d});
                }
            }
    EXPECT_EQ(3018u, nearer);
    EXPECT_EQ(24u, pairs.size());
    for (int d = 0; d < 256; d += 17)
        for (int s = 0; s < 256; s += 5) {
            EXPECT_EQ(d, table[blendIndex(d, s, 0)]);
            EXPECT_EQ(s, table[blendIndex(d, s, 255)]);
        }
}

// --- blending an image into the buffer ---------------------------------------

class Blend : public ::testing::Test {
  protected:
    static std::vector<uint8_t> table;
    static void SetUpTestSuite() {
        table.resize(blendTableSize);
        fillBlendTable(table.data());
    }
    static const int width = 8, height = 6;
    std::vector<uint32_t> buffer = std::vector<uint32_t>(width * height, 0xAA102030);

    // The pixel at window column x and row y of the bottom-up buffer.
    uint32_t at(int x, int y) const { return buffer[(height - 1 - y) * width + x]; }

    void blend(int x, int y, const std::vector<uint8_t>& pixels, int w, int h,
               float factor = 1.0f) {
        blendPixels(buffer.data(), width, height, x, y, pixels.data(), w, h, factor, table.data());
    }
};
std::vector<uint8_t> Blend::table;

std::vector<uint8_t> solid(int w, int h, uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
    std::vector<uint8_t> pixels(static_cast<size_t>(w * h) * 4);
    for (size_t i = 0; i < pixels.size(); i += 4) {
        pixels[i] = b;
        pixels[i + 1] = g;
        pixels[i + 2] = r;
        pixels[i + 3] = a;
    }
    return pixels;
}

TEST_F(Blend, OpaqueCopiesAndTransparentKeepsTheColor) {
    blend(0, 0, solid(2, 2, 1, 2, 3, 255), 2, 2);
    EXPECT_EQ(0x00030201u, at(0, 0)) << "top row of the image on the top row of the window";
    EXPECT_EQ(0x00030201u, at(1, 1));
    EXPECT_EQ(0xAA102030u, at(2, 0));
    blend(4, 4, solid(2, 2, 1, 2, 3, 0), 2, 2);
    EXPECT_EQ(0x00102030u, at(4, 4)) << "alpha 0: color kept, fourth byte zeroed";
}

TEST_F(Blend, FactorScalesAlpha) {
    buffer.assign(width * height, 0);
    blend(0, 0, solid(1, 1, 255, 255, 255, 255), 1, 1, 0.5f);
    const uint8_t expected = table[blendIndex(0, 255, 127)];
    EXPECT_EQ(expected, at(0, 0) & 0xFF);
    EXPECT_EQ(127, expected);
}

TEST_F(Blend, ClipsOnEveryEdge) {
    // A 3 x 3 image whose pixels carry their own column and row in blue and green.
    std::vector<uint8_t> pixels;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            pixels.insert(pixels.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(r), 9, 255});
    blend(-1, -2, pixels, 3, 3);
    EXPECT_EQ(0x00090201u, at(0, 0)) << "left and top cut: column 1, row 2 shows at (0, 0)";
    EXPECT_EQ(0x00090202u, at(1, 0));
    EXPECT_EQ(0xAA102030u, at(0, 1));
    blend(width - 2, height - 1, pixels, 3, 3);
    EXPECT_EQ(0x00090000u, at(width - 2, height - 1)) << "right and bottom cut";
    EXPECT_EQ(0x00090001u, at(width - 1, height - 1));
    const std::vector<uint32_t> before = buffer;
    blend(width, 0, pixels, 3, 3);
    blend(-3, 0, pixels, 3, 3);
    blend(0, height, pixels, 3, 3);
    blend(0, 0, pixels, 0, 0);
    blendPixels(buffer.data(), width, height, 0, 0, nullptr, 3, 3, 1.0f, table.data());
    EXPECT_TRUE(before == buffer) << "outside the buffer or empty: nothing drawn";
}

// Opaque and transparent pixels skip the table: the result must be the
// table's, bit for bit, for every alpha and factor; a clip keeps the rest.
TEST_F(Blend, EveryPixelAsTheTableSaysAndNothingOutsideTheClip) {
    for (int d = 0; d < 256; ++d)
        for (int s = 0; s < 256; ++s)
            ASSERT_TRUE(table[blendIndex(d, s, 0)] == d && table[blendIndex(d, s, 255)] == s)
                << "the shortcuts hold for every color: " << d << ", " << s;
    std::vector<uint8_t> pixels;
    uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    const uint8_t alphas[] = {0, 255, 1, 254, 128};
    for (int i = 0; i < 8 * 8; ++i)
        pixels.insert(pixels.end(), {static_cast<uint8_t>(next()), static_cast<uint8_t>(next()),
                                     static_cast<uint8_t>(next()), alphas[i % 5]});
    for (uint32_t& pixel : buffer)
        pixel = next() << 8 ^ next();
    for (float factor : {1.0f, 0.75f}) {
        const std::vector<uint32_t> before = buffer;
        const BlendClip clip = {3, 2, 7, 6};
        blendPixelsClipped(buffer.data(), width, height, 1, 1, pixels.data(), 8, 8, factor,
                           table.data(), clip);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const uint32_t old = before[(height - 1 - y) * width + x];
                uint32_t expected = old;
                if (x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom) {
                    const uint8_t* s = &pixels[((y - 1) * 8 + (x - 1)) * 4];
                    const int a = static_cast<int>(static_cast<float>(s[3]) * factor);
                    expected = 0;
                    for (int k = 0; k < 3; ++k)
                        expected |=
                            static_cast<uint32_t>(table[blendIndex((old >> 8 * k) & 0xFF, s[k], a)])
                            << 8 * k;
                }
                ASSERT_EQ(expected, at(x, y)) << x << ", " << y << ", factor " << factor;
            }
    }
}

} // namespace
