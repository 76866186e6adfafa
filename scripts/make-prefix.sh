#!/usr/bin/env bash
# Makes (once) the project's Wine prefix and installs the simulated NVIDIA
# libraries where the vendor's driver puts its files on Windows:
#   system32/nvapi64.dll, syswow64/nvapi.dll, system32/nvml.dll and
#   C:/Program Files/NVIDIA Corporation/NVSMI/nvml.dll
# Usage: scripts/make-prefix.sh [prefix]   (default build/wine)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
prefix=${1:-${WINEPREFIX:-$root/build/wine}}
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# wineboot must not open windows on the user's screen.
unset DISPLAY
# Every step runs 64-bit programs, so the 64-bit loader starts them: the
# `wine` wrapper starts the 32-bit one, which a host without 32-bit user code
# cannot run, and which would only hand over to the 64-bit one.
wine64=/usr/lib/wine/wine64

if [ ! -f "$prefix/.parlex-prefix" ]; then
    rm -rf "$prefix"
    mkdir -p "$prefix"
    echo "making Wine prefix $prefix"
    "$wine64" wineboot -i >/dev/null 2>&1
    wineserver -w
    # GDI+ finds neither the Japanese UI font nor "Microsoft Sans Serif" in Wine;
    # map both to fonts Debian installs.
    iconv -f UTF-8 -t UTF-16LE "$root/scripts/fonts.reg.txt" | { printf '\xff\xfe'; cat; } \
        >"$prefix/drive_c/fonts.reg"
    "$wine64" regedit /S 'C:\fonts.reg'
    rm -f "$prefix/drive_c/fonts.reg"
    # Japanese text in dialogs and message boxes falls back to Noto Sans CJK.
    for font in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" "Liberation Sans"; do
        "$wine64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
            /v "$font" /t REG_MULTI_SZ /d 'NotoSansCJK-Regular.ttc,Noto Sans CJK JP' /f >/dev/null
    done
    wineserver -w
    touch "$prefix/.parlex-prefix"
fi

windows=$prefix/drive_c/windows
nvsmi="$prefix/drive_c/Program Files/NVIDIA Corporation/NVSMI"
mkdir -p "$nvsmi"
install_file() { [ -f "$1" ] && cp -f "$1" "$2"; return 0; }
install_file "$root/build/win32/gpusim/nvapi.dll" "$windows/syswow64/nvapi.dll"
install_file "$root/build/win64/gpusim/nvapi64.dll" "$windows/system32/nvapi64.dll"
install_file "$root/build/win64/gpusim/nvml.dll" "$windows/system32/nvml.dll"
install_file "$root/build/win64/gpusim/nvml.dll" "$nvsmi/nvml.dll"
# The x86_64 stand-in of Parlex (build/parlex64, where no 32-bit code runs)
# looks for nvapi.dll in its own system folder.
install_file "$root/build/parlex64/gpusim/nvapi.dll" "$windows/system32/nvapi.dll"
