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
    python3 python3-pytest python3-pytest-xdist python3-pil
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
# indexes it has.
update_log=$(mktemp)
trap 'rm -f "$update_log"' EXIT
update_failed=""
for try in 1 2 3; do
    if $sudo apt-get update -q 2>&1 | tee "$update_log"; [ "${PIPESTATUS[0]}" -eq 0 ] &&
        ! grep -q '^E: ' "$update_log"; then
        update_failed=""
        break
    fi
    # "Failed to fetch URL  reason": the index that failed, for the last word.
    update_failed=$(sed -n 's/^E: Failed to fetch \([^ ]*\).*/\1/p' "$update_log" | head -n 1)
    [ -z "$update_failed" ] && update_failed="an index (see apt-get update's messages above)"
    [ "$try" -lt 3 ] && { echo "setup: the package index update failed; trying again in 20 s" >&2; sleep 20; }
done
# -y refuses downgrades, and --no-remove ends the install rather than remove
# a package: what is installed stays as it is.
install() {
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends --no-remove \
        "$@" "${missing[@]}"
}
install && exit 0
[ -z "$update_failed" ] && exit 1
# With one architecture's index of a suite missing, the other's may offer
# newer versions of a multi-arch library than the missing one could match
# ("held broken packages"). The release's own suite has both architectures
# from one index. (SETUP_OS_RELEASE: a release file of the tests' own.)
codename=$(. "${SETUP_OS_RELEASE:-/etc/os-release}" && echo "${VERSION_CODENAME:-}")
if [ -z "$codename" ]; then
    echo "setup: the install failed, and the index $update_failed could not be updated" >&2
    exit 1
fi
echo "setup: the install failed after an index failed to update; trying once more from the release suite $codename alone" >&2
install -t "$codename" && exit 0
echo "setup: the install failed; the package index that could not be updated: $update_failed" >&2
exit 1
