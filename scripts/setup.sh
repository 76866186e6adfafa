#!/usr/bin/env bash
# Installs what building and testing need, from Debian's archive, when missing.
set -euo pipefail

packages=(
    cmake ninja-build
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
    wine wine64 wine32:i386
    xvfb xdotool imagemagick x11-utils
    fonts-noto-cjk fonts-liberation
    googletest g++ clang clang-format gcovr
    zlib1g-dev libz-mingw-w64-dev
    python3 python3-pytest python3-pytest-xdist python3-pytest-rerunfailures python3-pil
    iproute2 zip unzip
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
# A mirror in the middle of a sync serves an index that does not match its
# release file, and apt-get update then fails for that index alone. Such a
# failure is tried again; one that stays leaves the install to work with the
# indexes it has, and to fail with its own message if they are not enough.
for try in 1 2 3; do
    $sudo apt-get update -q && break
    [ "$try" -lt 3 ] && { echo "setup: the package index update failed; trying again in 20 s" >&2; sleep 20; }
done
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
