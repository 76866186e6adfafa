// Any archive, short, long or changed: every piece is read at its offset
// into a buffer of its size, and what the archive lacks reads as 0x2F.
#include "skin/pack_reader.h"

#include "skin_pieces.h"

#include <cstdint>
#include <cstdio>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::FILE* archive = std::tmpfile();
    if (!archive)
        return 0;
    if (size)
        std::fwrite(data, 1, size, archive);
    for (uint32_t piece = 0; piece < skinPieceCount; ++piece) {
        std::vector<uint8_t> buffer(skinPieceSizes[piece]);
        readSkinPieceInto(static_cast<int>(piece), archive, buffer.data());
        const size_t offset = skinPieceOffset(static_cast<int>(piece));
        for (size_t i = 0; i < buffer.size(); ++i) {
            const size_t at = offset + i;
            const uint8_t expected = at < size ? static_cast<uint8_t>(data[at] - 1) : 0x2F;
            if (buffer[i] != expected)
                __builtin_trap();
        }
    }
    std::fclose(archive);
    return 0;
}
