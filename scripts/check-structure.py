#!/usr/bin/env python3
"""Checks which product folder includes which. The folders stand in the
layers that cmake/layers.txt names, the one list the build links by: a folder
may include its own headers and those of every folder it stands on, directly
or through another. An exception, should one ever be needed, is named below
with its reason; an include outside the layers and the exceptions fails the
check, and so does any circle of includes."""

import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]


def read_layers(path):
    """Each folder of the list with the folders it may include: itself and
    every folder below it, however far down."""
    below = {}
    for line in path.read_text().splitlines():
        words = line.split()
        if words and not words[0].startswith("#"):
            below[words[0]] = words[1:]

    def reach(folder):
        reached = {folder}
        for other in below[folder]:
            reached |= reach(other)
        return reached

    return {folder: reach(folder) for folder in below}


LAYERS = read_layers(ROOT / "cmake" / "layers.txt")

EXCEPTIONS = {}

# Headers a folder's build makes, included by their bare names: each belongs
# to the folder whose build makes it (version.h is the whole project's).
GENERATED = {"skin_pieces.h": "skin"}
BARE_INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+\.h)"', re.M)

INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/([^"]+)"', re.M)


def include_circles():
    """Circles of includes between files, a header and its source counted as one."""
    edges = {}
    for folder in LAYERS:
        for source in (ROOT / folder).glob("*.[ch]*"):
            unit = f"{folder}/{source.stem}"
            for target_folder, target in INCLUDE.findall(source.read_text(errors="replace")):
                other = f"{target_folder}/{Path(target).stem}"
                if target_folder in LAYERS and other != unit:
                    edges.setdefault(unit, set()).add(other)
    circles, done = [], set()

    def visit(unit, path):
        if unit in path:
            circle = path[path.index(unit):] + [unit]
            if frozenset(circle) not in done:
                done.add(frozenset(circle))
                circles.append(circle)
            return
        for other in sorted(edges.get(unit, ())):
            visit(other, path + [unit])

    for unit in sorted(edges):
        visit(unit, [])
    return circles


def main():
    wrong = []
    used = set()
    for folder, allowed in LAYERS.items():
        for source in sorted((ROOT / folder).glob("*.[ch]*")):
            name = f"{folder}/{source.name}"
            text = source.read_text(errors="replace")
            includes = INCLUDE.findall(text) + [(GENERATED[header], header)
                                                for header in BARE_INCLUDE.findall(text)
                                                if header in GENERATED]
            for target_folder, target in includes:
                if target_folder not in LAYERS or target_folder in allowed:
                    continue
                key = (name, f"{target_folder}/{target}")
                if key in EXCEPTIONS:
                    used.add(key)
                else:
                    wrong.append(f"{name} includes {target_folder}/{target}: {folder} may include "
                                 f"only {', '.join(sorted(allowed))}")
    stale = [f"{a} no longer includes {b}: drop the exception" for a, b in EXCEPTIONS if (a, b) not in used]
    circles = [f"{' -> '.join(circle)} includes itself round" for circle in include_circles()]
    for line in wrong + stale + circles:
        print(f"structure: {line}")
    if wrong or stale or circles:
        return 1
    print(f"structure: ok ({len(LAYERS)} folders, {len(used)} named exceptions)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
