#!/usr/bin/env bash
# Packs the release: dist/Parlex-<version>-windows.zip with the two programs,
# stripped of their debug sections, and the user README; its SHA-256 beside
# it. The same programs always give the same zip: fixed times, order and modes.
# Usage: scripts/package.sh [build folder] [dist folder]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
dist=${2:-$root/dist}
version=$(sed -n 's/^project(Parlex VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
# One fixed time: the header time that strip writes, and the zip entries' times.
export SOURCE_DATE_EPOCH=946684800
i686-w64-mingw32-strip -o "$staging/Parlex_SS.exe" "$build/win32/monitor/Parlex_SS.exe"
x86_64-w64-mingw32-strip -o "$staging/Tessig.exe" "$build/win64/logger/Tessig.exe"
# Windows line ends, so that every editor shows the README right.
sed 's/$/\r/' "$root/release/README.txt" >"$staging/README.txt"
chmod 0644 "$staging"/*
touch -d "@$SOURCE_DATE_EPOCH" "$staging"/*
mkdir -p "$dist"
zip_name=Parlex-$version-windows.zip
rm -f "$dist/$zip_name"
(cd "$staging" && TZ=UTC zip -q -X "$dist/$zip_name" Parlex_SS.exe Tessig.exe README.txt)
(cd "$dist" && sha256sum "$zip_name" >"$zip_name.sha256")
echo "release: $dist/$zip_name"
