#!/usr/bin/env bash
# The unit tests of both architectures, built with --coverage
# (build/coverage-win32 or, where no 32-bit code runs, build/coverage-parlex64;
# build/coverage-win64) and run under Wine, and their
# line coverage per product folder (gcovr with MinGW's gcov). Only the unit
# tests and what they link are built there: the programs come from
# scripts/build.sh. Needs a display in DISPLAY, as the unit tests do.
# Usage: scripts/coverage.sh [--werror] [--tests | --report]
#   --tests   build and run the unit tests, print CTest's output, no report
#   --report  only the report, over the counts of the last --tests
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
werror=OFF
mode=all
for option in "$@"; do
    case $option in
        --werror) werror=ON ;;
        --tests) mode=tests ;;
        --report) mode=report ;;
        *) echo "usage: scripts/coverage.sh [--werror] [--tests | --report]" >&2; exit 2 ;;
    esac
done
# The counts go where the objects are, on Wine's drive for the root.
export GCOV_PREFIX=Z:
failed=0

# A tree configured with a toolchain file that is no longer there (one per
# architecture, before) is configured afresh; its objects stay.
fresh_if_moved() {
    local cache=$1/CMakeCache.txt
    [ -f "$cache" ] && ! grep -q "^CMAKE_TOOLCHAIN_FILE:.*=$root/cmake/mingw.cmake$" "$cache" &&
        rm -rf "$cache" "$1/CMakeFiles"
    return 0
}

# The 32-bit side's tests where this host runs 32-bit code; elsewhere their
# x86_64 stand-in (see the parlex64 preset), which Wine's 64-bit loader runs.
if "$root/scripts/runs-32bit-code"; then
    sides="i686:win32 x86_64:win64"
else
    sides="x86_64:parlex64 x86_64:win64"
fi

# -O0 without -g: the counts need no debugger's information, and compiling
# it is a good part of these builds' time.
run_tests() {
    local arch=$1 name=$2 build=$root/build/coverage-$2 stand_in=OFF
    [ "$name" = parlex64 ] && stand_in=ON
    fresh_if_moved "$build"
    cmake -S "$root" -B "$build" -G Ninja --toolchain "$root/cmake/mingw.cmake" \
        -DPARLEX_TARGET=$arch-w64-mingw32 -DPARLEX_STAND_IN=$stand_in -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_CXX_FLAGS_DEBUG=-O0 -DCMAKE_C_FLAGS_DEBUG=-O0 -DPARLEX_WERROR=$werror -DPARLEX_UNIT_TESTS=ON \
        -DCMAKE_CXX_FLAGS="--coverage" -DCMAKE_C_FLAGS="--coverage" \
        -DCMAKE_EXE_LINKER_FLAGS="--coverage" -DCMAKE_SHARED_LINKER_FLAGS="--coverage" >/dev/null || return 1
    cmake --build "$build" --target tests/unit/all >/dev/null || {
        cmake --build "$build" --target tests/unit/all 2>&1 | tail -n 40
        return 1
    }
    find "$build" -name '*.gcda' -delete
    (cd "$build" && ctest -j2 --output-on-failure)
}

report() {
    local reports=() folders
    # The product folders, as cmake/layers.txt names them.
    folders=$(awk '!/^#/ && NF {print $1}' "$root/cmake/layers.txt" | paste -sd'|')
    for side in $sides; do
        local arch=${side%%:*} build=$root/build/coverage-${side##*:}
        # A side whose tests did not run here leaves no counts.
        if [ -z "$(find "$build" -name '*.gcda' -print -quit 2>/dev/null)" ]; then
            echo "coverage: the ${side##*:} unit tests did not run here; what only they reach is not measured"
            continue
        fi
        # The tree as the only search path: gcovr would otherwise read the
        # notes of both trees under the root.
        gcovr "$build" --root "$root" --object-directory "$build" --gcov-executable "$arch-w64-mingw32-gcov-posix" \
            --filter "$root/($folders)/" --json "$build/coverage.json" \
            >/dev/null 2>&1 || return 1
        reports+=("$build/coverage.json")
    done
    [ ${#reports[@]} -gt 0 ] || { echo "coverage: no unit test counts to report"; return 1; }
    /usr/bin/python3 - "${reports[@]}" <<'PYTHON'
import json, sys
from collections import defaultdict
lines = defaultdict(dict)  # file -> line -> covered



def source(name):
    """The source's own name: a header reached through its folder's view in
    a build tree (build/<tree>/layers/<folder>/<folder>/...) is its folder's."""
    parts = name.split("/")
    return "/".join(parts[parts.index("layers") + 2:]) if "layers" in parts else name


for report in sys.argv[1:]:
    for entry in json.load(open(report))["files"]:
        name = source(entry["file"])
        for line in entry["lines"]:
            if line.get("gcovr/noncode"):
                continue
            number = line["line_number"]
            lines[name][number] = lines[name].get(number, False) or line["count"] > 0
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
}

# Both sides at once: one side's longest test program runs on one core
# while the other side builds; each side's output comes in order.
if [ "$mode" != report ]; then
    pids=() logs=()
    for side in $sides; do
        logs+=("$(mktemp)")
        run_tests "${side%%:*}" "${side##*:}" >"${logs[-1]}" 2>&1 &
        pids+=($!)
    done
    for i in "${!pids[@]}"; do
        wait "${pids[$i]}" || failed=1
        cat "${logs[$i]}"
        rm -f "${logs[$i]}"
    done
fi
if [ "$mode" != tests ]; then
    report || failed=1
fi
exit $failed
