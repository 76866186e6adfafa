#!/usr/bin/env bash
# Builds the two release programs a second time, in another folder
# (build/again), and packs them into build/again/dist: the release test
# compares that zip with dist's, byte for byte. The tree stays, so a later
# run builds only what changed.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
again=$root/build/again
for side in win32:i686-w64-mingw32:Parlex_SS win64:x86_64-w64-mingw32:Tessig; do
    IFS=: read -r tree triplet target <<<"$side"
    [ -f "$again/$tree/CMakeCache.txt" ] ||
        cmake -S "$root" -B "$again/$tree" -G Ninja --toolchain "$root/cmake/mingw.cmake" \
            -DPARLEX_TARGET="$triplet" -DCMAKE_BUILD_TYPE=Release -DPARLEX_TESTS=OFF >/dev/null
    cmake --build "$again/$tree" --target "$target" >/dev/null
done
"$root/scripts/package.sh" "$again" "$again/dist" >/dev/null
