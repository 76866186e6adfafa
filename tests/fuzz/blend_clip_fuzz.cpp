// Any image at any place, any clip, on a buffer of any small size: the blend
// writes only inside both the buffer and the clip, and reads only the image.
#include "skin/blend.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
    int next(int low, int high) {
        int value = size ? data[0] : 0;
        if (size) {
            ++data;
            --size;
        }
        return low + value % (high - low + 1);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::vector<uint8_t> table = [] {
        std::vector<uint8_t> filled(blendTableSize);
        fillBlendTable(filled.data());
        return filled;
    }();
    Input in{data, size};
    const int bufferWidth = in.next(1, 48), bufferHeight = in.next(1, 48);
    const int x = in.next(-64, 64), y = in.next(-64, 64);
    const int width = in.next(0, 40), height = in.next(0, 40);
    const BlendClip clip = {in.next(-64, 64), in.next(-64, 64), in.next(-64, 64), in.next(-64, 64)};
    const float factor = static_cast<float>(in.next(0, 255)) / 255.0f;
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    for (uint8_t& byte : pixels)
        byte = static_cast<uint8_t>(in.next(0, 255));
    std::vector<uint32_t> buffer(static_cast<size_t>(bufferWidth) * bufferHeight, 0xAB123456);
    const std::vector<uint32_t> before = buffer;
    blendPixelsClipped(buffer.data(), bufferWidth, bufferHeight, x, y,
                       pixels.empty() ? nullptr : pixels.data(), width, height, factor,
                       table.data(), clip);
    for (int row = 0; row < bufferHeight; ++row)
        for (int column = 0; column < bufferWidth; ++column) {
            const bool inside = column >= clip.left && column < clip.right && row >= clip.top &&
                                row < clip.bottom && column >= x && column < x + width &&
                                row >= y && row < y + height;
            const size_t at = static_cast<size_t>(bufferHeight - 1 - row) * bufferWidth + column;
            if (!inside && buffer[at] != before[at])
                __builtin_trap();
        }
    return 0;
}
