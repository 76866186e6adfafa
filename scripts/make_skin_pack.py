#!/usr/bin/env python3
"""Builds Parlex's skin pack from the images that skin/art/pieces.txt lists: their bytes
concatenated, each stored byte the image byte + 1 (mod 256), and a header with
the size of every piece and its name, taken from its file name
("4-tray-pressed.png" is SkinPiece::trayPressed).

    make_skin_pack.py ART_DIR PACK_OUT HEADER_OUT
"""

import sys
from pathlib import Path


def pieces(art):
    """The file names of skin/art/pieces.txt, in the pack's order."""
    lines = (Path(art) / "pieces.txt").read_text(encoding="utf-8").splitlines()
    return [line.strip() for line in lines if line.strip() and not line.startswith("#")]


def piece_name(file_name):
    words = file_name.removesuffix(".png").split("-")[1:]
    return words[0] + "".join(word.capitalize() for word in words[1:])


def main(art, pack_out, header_out):
    files = pieces(art)
    images = [(Path(art) / name).read_bytes() for name in files]
    pack = bytes((b + 1) & 0xFF for image in images for b in image)
    Path(pack_out).write_bytes(pack)
    sizes = ", ".join(str(len(image)) for image in images)
    names = ", ".join(f"{piece_name(name)} = {n}" for n, name in enumerate(files))
    quoted = ", ".join(f'"{name}"' for name in files)
    Path(header_out).write_text(
        "// Made by scripts/make_skin_pack.py from skin/art; do not edit.\n"
        "#pragma once\n\n#include <cstdint>\n\n"
        f"constexpr uint32_t skinPieceCount = {len(images)};\n"
        f"constexpr uint32_t skinPieceSizes[skinPieceCount] = {{{sizes}}};\n"
        f"constexpr uint32_t skinPackSize = {len(pack)};\n\n"
        "// The pieces by name, in the pack's order.\n"
        f"enum class SkinPiece : int {{ {names} }};\n"
        "// Their files in skin/art.\n"
        f"inline constexpr const char* skinPieceFiles[skinPieceCount] = {{{quoted}}};\n")


if __name__ == "__main__":
    main(*sys.argv[1:4])
