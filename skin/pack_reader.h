// Reading the pieces of the skin pack from an archive: plain C I/O and
// arithmetic, also built and fuzzed on the build machine.
#pragma once

#include <cstdint>
#include <cstdio>

// The offset of piece n in the pack.
uint32_t skinPieceOffset(int piece);
// A stored byte back to the image byte: 0x00 -> 0xFF, 0x01 -> 0x00, 0xFF -> 0xFE.
inline uint8_t restoreSkinByte(uint8_t stored) {
    return static_cast<uint8_t>(stored - 1);
}

// Fills buffer, which holds the size of piece n, with piece n as read from
// the archive at its offset and restored; bytes the archive does not have
// (a short or changed file) stay 0x30, restored to 0x2F.
void readSkinPieceInto(int piece, std::FILE* archive, uint8_t* buffer);
