#!/usr/bin/env bash
# Each GDI+ stub of monitor/gdiplus_library.cpp is asm beside the slot
# (__imp_ name) it jumps through. GCC keeps its own idea of the current
# section, and at -O0 it emits asm and variables in source order: a stub that
# left its section switched would put the slots after it in code, and the
# first write to one would fault. So the file is built here unoptimised for
# both targets, with the build's include root and definitions, and every slot
# must be data.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
objects=$(mktemp -d)
trap 'rm -rf "$objects"' EXIT
failed=0
# The language standard as the build sets it, in its one place.
standard=$(sed -n 's/^set(CMAKE_CXX_STANDARD \([0-9]*\))$/\1/p' "$root/cmake/layers.cmake")
for triplet in i686-w64-mingw32 x86_64-w64-mingw32; do
    object=$objects/$triplet.o
    "$triplet-g++-posix" -std="c++$standard" -O0 -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0601 \
        -I"$root" -c "$root/monitor/gdiplus_library.cpp" -o "$object"
    # Defined symbols: address, type, name.
    slots=$("$triplet-nm" "$object" | awk 'NF == 3 && $3 ~ /^__imp_/ {print $2, $3}')
    outside=$(awk '$1 !~ /^[DdBb]$/' <<<"$slots")
    if [ -z "$slots" ]; then
        echo "$triplet: no __imp_ slot found in gdiplus_library.cpp" >&2
        failed=1
    elif [ -n "$outside" ]; then
        echo "$triplet: GDI+ slots outside data at -O0:" >&2
        echo "$outside" >&2
        failed=1
    else
        echo "stub sections ($triplet, -O0): $(wc -l <<<"$slots") slots, all data"
    fi
done
exit $failed
