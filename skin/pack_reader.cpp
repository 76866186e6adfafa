#include "skin/pack_reader.h"

#include "skin_pieces.h"

#include <cstring>

uint32_t skinPieceOffset(int piece) {
    uint32_t offset = 0;
    for (int i = 0; i < piece; ++i)
        offset += skinPieceSizes[i];
    return offset;
}

void readSkinPieceInto(int piece, std::FILE* archive, uint8_t* buffer) {
    const uint32_t size = skinPieceSizes[piece];
    std::memset(buffer, 0x30, size);
    std::fseek(archive, static_cast<long>(skinPieceOffset(piece)), SEEK_SET);
    std::fread(buffer, size, 1, archive);
    for (uint32_t i = 0; i < size; ++i)
        buffer[i] = restoreSkinByte(buffer[i]);
}
