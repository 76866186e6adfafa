#!/usr/bin/env python3
"""Builds Parlex's skin pack from the nine images of skin/art: their bytes
concatenated, each stored byte the image byte + 1 (mod 256), and a header with
the size of every piece and its name, taken from its file name
("4-tray-pressed.png" is SkinPiece::trayPressed).

    make_skin_pack.py ART_DIR PACK_OUT HEADER_OUT
"""

import sys
from pathlib import Path

PIECES = [
    "0-background.png", "1-corner.png", "2-rows.png", "3-tray.png", "4-tray-pressed.png",
    "5-close.png", "6-close-pressed.png", "7-check-off.png", "8-check-on.png",
]


def piece_name(file_name):
    words = file_name.removesuffix(".png").split("-")[1:]
    return words[0] + "".join(word.capitalize() for word in words[1:])


def main(art, pack_out, header_out):
    pieces = [(Path(art) / name).read_bytes() for name in PIECES]
    pack = bytes((b + 1) & 0xFF for piece in pieces for b in piece)
    Path(pack_out).write_bytes(pack)
    sizes = ", ".join(str(len(piece)) for piece in pieces)
    names = ", ".join(f"{piece_name(name)} = {n}" for n, name in enumerate(PIECES))
    Path(header_out).write_text(
        "// Made by scripts/make_skin_pack.py from skin/art; do not edit.\n"
        "#pragma once\n\n#include <cstdint>\n\n"
        f"constexpr uint32_t skinPieceCount = {len(pieces)};\n"
        f"constexpr uint32_t skinPieceSizes[skinPieceCount] = {{{sizes}}};\n"
        f"constexpr uint32_t skinPackSize = {len(pack)};\n\n"
        "// The pieces by name, in the pack's order.\n"
        f"enum class SkinPiece : int {{ {names} }};\n")


if __name__ == "__main__":
    main(*sys.argv[1:4])
