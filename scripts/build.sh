#!/usr/bin/env bash
# Builds both architectures: build/win32 (Parlex side) and build/win64 (Tessig side).
# Usage: scripts/build.sh [--werror]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
werror=OFF
[ "${1:-}" = "--werror" ] && werror=ON
for preset in win32 win64; do
    cmake --preset "$preset" -DPARLEX_WERROR=$werror >/dev/null
    cmake --build --preset "$preset"
done
"$root/scripts/package.sh"
