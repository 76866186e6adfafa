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
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
