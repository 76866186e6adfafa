#!/usr/bin/env bash
# Packs the release: dist/Parlex-<version>-windows.zip with the two programs
# and the user README.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
version=$(sed -n 's/^project(Parlex VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
cp "$root/build/win32/monitor/Parlex_SS.exe" "$root/build/win64/logger/Tessig.exe" "$staging/"
# Windows line ends, so that every editor shows the README right.
sed 's/$/\r/' "$root/release/README.txt" >"$staging/README.txt"
mkdir -p "$root/dist"
zip_file=$root/dist/Parlex-$version-windows.zip
rm -f "$zip_file"
(cd "$staging" && zip -q -X "$zip_file" Parlex_SS.exe Tessig.exe README.txt)
echo "release: $zip_file"
