#!/usr/bin/env python3
"""Checks which product folder includes which. The folders stand in the
layers that cmake/layers.txt names, the one list the build links by: a folder
may include its own headers and those of every folder it stands on, directly
or through another. An exception, should one ever be needed, is named below
with its reason; an include outside the layers and the exceptions fails the
check, and so does any circle of includes.

A unit test program tests one folder and stands where it does: its sources,
and the test headers they include, may include what that folder may, and it
links no product folder above it (tests/unit/CMakeLists.txt names the folder
to parlex_test)."""

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

UNIT_TESTS = ROOT / "tests" / "unit"
# parlex_test(<program> <folder> <sources>...), and the sources the function
# adds to every program.
TEST_PROGRAM = re.compile(r"^\s*parlex_test\(\s*(\w+)\s+(\w+)\s+([^)]*)\)", re.M)
EVERY_TEST_PROGRAM = re.compile(r"add_executable\(\$\{name\}\s+\$\{ARGN\}([^)]*)\)")
TEST_LINK = re.compile(r"^\s*target_link_libraries\(\s*(\w+)\s+([^)]*)\)", re.M)


def folder_includes(text):
    """The product headers a file includes, each as (folder, header)."""
    return INCLUDE.findall(text) + [(GENERATED[header], header) for header in BARE_INCLUDE.findall(text)
                                    if header in GENERATED]


def test_source_includes(source, seen):
    """What a test source includes of the product folders, itself and through
    the test headers beside it."""
    if source in seen or not source.is_file():
        return []
    seen.add(source)
    text = source.read_text(errors="replace")
    found = [(source, folder, header) for folder, header in folder_includes(text)]
    for header in BARE_INCLUDE.findall(text):
        found += test_source_includes(source.parent / header, seen)
    return found


def unit_test_faults():
    """Each unit test program's includes and links above the folder it tests,
    and how many programs there are."""
    text = (UNIT_TESTS / "CMakeLists.txt").read_text()
    common = EVERY_TEST_PROGRAM.search(text)
    common = common.group(1).split() if common else []
    wrong, programs = [], {}
    for program, tested, sources in TEST_PROGRAM.findall(text):
        programs[program] = tested
        if tested not in LAYERS:
            wrong.append(f"{program} tests {tested}, which cmake/layers.txt does not name")
            continue
        allowed = LAYERS[tested]
        seen = set()
        for source in sources.split() + common:
            path = UNIT_TESTS / source.replace("${PURE_TESTS}", "../pure")
            if not path.is_file():
                wrong.append(f"{program} is built from {source}, which is not there")
            for includer, folder, header in test_source_includes(path.resolve(), seen):
                if folder in LAYERS and folder not in allowed:
                    wrong.append(f"{includer.relative_to(ROOT)} includes {folder}/{header}: {program} tests "
                                 f"{tested}, which may include only {', '.join(sorted(allowed))}")
    for program, libraries in TEST_LINK.findall(text):
        if programs.get(program) in LAYERS:
            allowed = LAYERS[programs[program]]
            wrong += [f"{program} links {library}: it tests {programs[program]}, which may link only "
                      f"{', '.join(sorted(allowed))}"
                      for library in libraries.split() if library in LAYERS and library not in allowed]
    if not programs:
        wrong.append("tests/unit/CMakeLists.txt declares no program with parlex_test(<program> <folder> ...)")
    return wrong, len(programs)


def format_order_faults():
    """The include order .clang-format sorts by names the folders as the list
    does, top down: a folder added to the list and not to the format (or in
    another place) would sort as a test's own header."""
    text = (ROOT / ".clang-format").read_text()
    named = re.findall(r"""^\s*- Regex: '\^"([a-z_]+)/'""", text, re.M)
    listed = list(LAYERS)
    if named == listed:
        return []
    return [f".clang-format sorts includes by the folders {' '.join(named)}; cmake/layers.txt "
            f"lists {' '.join(listed)}"]


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
            for target_folder, target in folder_includes(source.read_text(errors="replace")):
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
    tests, programs = unit_test_faults()
    tests += format_order_faults()
    for line in wrong + stale + circles + tests:
        print(f"structure: {line}")
    if wrong or stale or circles or tests:
        return 1
    print(f"structure: ok ({len(LAYERS)} folders, {len(used)} named exceptions, "
          f"{programs} unit test programs)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
