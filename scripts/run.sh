#!/usr/bin/env bash
# Builds everything and runs Parlex (and, from its check box, Tessig) on the
# simulated driver's lively default machine: on your display when there is
# one, otherwise on a virtual display. Saves a screenshot of the window to
# build/parlex-screenshot.png.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
"$root/scripts/make-prefix.sh"
tree=$root/build/win32 loader=/usr/lib/wine/wine
if ! "$root/scripts/runs-32bit-code"; then
    tree=$root/build/parlex64 loader=/usr/lib/wine/wine64
    echo "this host runs no 32-bit user code: running Parlex's x86_64 build of the same" \
        "sources (build/parlex64), which is never shipped"
fi

# Parlex and Tessig run from one folder, as a user unpacks them.
run=$root/build/run
mkdir -p "$run/log"
cp -f "$tree/monitor/Parlex_SS.exe" "$root/build/win64/logger/Tessig.exe" "$run/"

export WINEPREFIX=$root/build/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset GPUSIM_SCENARIO GPUSIM_LOG

xvfb=""
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    # The server picks a number nobody holds and writes it to the file
    # (-displayfd): a test run starting its own at the same moment never
    # ends up sharing it.
    display_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
    xvfb=$!
    number=""
    for _ in $(seq 100); do
        number=$(head -n 1 "$display_file")
        [ -n "$number" ] && break
        sleep 0.1
    done
    rm -f "$display_file"
    if [ -z "$number" ]; then
        echo "no virtual display could be started" >&2
        kill "$xvfb" 2>/dev/null
        exit 1
    fi
    export DISPLAY=":$number"
    echo "no display: running on the virtual display $DISPLAY"
fi

cd "$run"
"$loader" ./Parlex_SS.exe &
parlex=$!

finish() {
    if [ -n "$xvfb" ]; then
        kill "$parlex" 2>/dev/null || true
        wineserver -k 2>/dev/null || true
        kill "$xvfb" 2>/dev/null || true
    fi
}
trap finish EXIT

window=$(timeout 60 xdotool search --sync --name '^Parlex$' | head -n 1)
sleep 4 # a few seconds of readings
eval "$(xdotool getwindowgeometry --shell "$window")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$root/build/parlex-screenshot.png"
echo "screenshot: $root/build/parlex-screenshot.png"

if [ -z "$xvfb" ]; then
    echo "Parlex is running; close it with its close button, Esc, or the tray menu."
    wait "$parlex" || true
fi
