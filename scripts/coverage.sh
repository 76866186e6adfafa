#!/usr/bin/env bash
# Line coverage of the unit tests, per product folder: both architectures
# built again with --coverage (build/coverage-win32, build/coverage-win64),
# their unit tests run under Wine, and gcovr (with MinGW's gcov) over the
# counts. Needs a display in DISPLAY, as the unit tests do.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# The counts go where the objects are, on Wine's drive for the root.
export GCOV_PREFIX=Z:
reports=()
for side in i686:win32 x86_64:win64; do
    arch=${side%%:*}
    name=${side##*:}
    build=$root/build/coverage-$name
    cmake -S "$root" -B "$build" -G Ninja --toolchain "$root/cmake/mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="--coverage" -DCMAKE_C_FLAGS="--coverage" \
        -DCMAKE_EXE_LINKER_FLAGS="--coverage" -DCMAKE_SHARED_LINKER_FLAGS="--coverage" >/dev/null
    cmake --build "$build" >/dev/null
    find "$build" -name '*.gcda' -delete
    (cd "$build" && ctest -j2 >/dev/null) || echo "coverage: some $name unit tests failed"
    gcovr --root "$root" --object-directory "$build" --gcov-executable "$arch-w64-mingw32-gcov-posix" \
        --filter "$root/(monitor|skin|files|sampling|gpu|nvapi|logger)/" --json "$build/coverage.json" \
        >/dev/null 2>&1
    reports+=("$build/coverage.json")
done
/usr/bin/python3 - "${reports[@]}" <<'PYTHON'
import json, sys
from collections import defaultdict
lines = defaultdict(dict)  # file -> line -> covered
for report in sys.argv[1:]:
    for entry in json.load(open(report))["files"]:
        for line in entry["lines"]:
            if line.get("gcovr/noncode"):
                continue
            number = line["line_number"]
            lines[entry["file"]][number] = lines[entry["file"]].get(number, False) or line["count"] > 0
folders = defaultdict(lambda: [0, 0])
unreached = []
for name, counted in sorted(lines.items()):
    folder = name.split("/")[0]
    covered = sum(counted.values())
    folders[folder][0] += covered
    folders[folder][1] += len(counted)
    if counted and covered == 0:
        unreached.append(name)
for folder, (covered, total) in sorted(folders.items()):
    print(f"coverage: {folder:9} {covered:5} of {total:5} lines, {100 * covered / max(total, 1):5.1f} %")
print("coverage: files no unit test reaches: " + (", ".join(unreached) or "none"))
PYTHON
