#!/usr/bin/env bash
# Builds both architectures: build/win32 (Parlex side) and build/win64 (Tessig side);
# where this host runs no 32-bit code, also build/parlex64 (Parlex for x86_64).
# Usage: scripts/build.sh [--werror] [--no-unit-tests] [--again]
# (the test command builds the unit tests in the coverage trees instead)
# --again also builds the release programs in another folder, beside the
# trees (scripts/build-again.sh), for the release test's comparison.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
werror=OFF
unit_tests=ON
again=""
for option in "$@"; do
    case $option in
        --werror) werror=ON ;;
        --no-unit-tests) unit_tests=OFF ;;
        --again) again=yes ;;
        *) echo "usage: scripts/build.sh [--werror] [--no-unit-tests] [--again]" >&2; exit 2 ;;
    esac
done
presets="win32 win64"
# Where this host runs no 32-bit code, the tests run Parlex's x86_64 stand-in.
"$root/scripts/runs-32bit-code" || presets="$presets parlex64"
# The second build shares the cores with the first: one waits for its
# links while the other compiles.
if [ -n "$again" ]; then
    mkdir -p "$root/build"
    "$root/scripts/build-again.sh" >"$root/build/again.log" 2>&1 &
    again=$!
fi
for preset in $presets; do
    # A tree configured with a toolchain file that is no longer there (one
    # per architecture, before) is configured afresh; its objects stay.
    cache=$root/build/$preset/CMakeCache.txt
    if [ -f "$cache" ] && ! grep -q "^CMAKE_TOOLCHAIN_FILE:.*=$root/cmake/mingw.cmake$" "$cache"; then
        rm -rf "$cache" "$root/build/$preset/CMakeFiles"
    fi
    cmake --preset "$preset" -DPARLEX_WERROR=$werror -DPARLEX_UNIT_TESTS=$unit_tests >/dev/null
    cmake --build --preset "$preset"
done
"$root/scripts/package.sh"
if [ -n "$again" ] && ! wait "$again"; then
    cat "$root/build/again.log"
    echo "the second build of the release programs failed" >&2
    exit 1
fi
