"""The release zip: two statically linked programs with their manifests and
version blocks, a user README, and a Parlex that runs as unpacked."""

import re
import subprocess
import zipfile

from harness import ROOT
from parlex import wait_window

# DLLs every Windows has; anything else would have to ship beside the programs.
SYSTEM_DLLS = {"KERNEL32.dll", "USER32.dll", "GDI32.dll", "ADVAPI32.dll", "SHELL32.dll",
               "ole32.dll", "gdiplus.dll", "WS2_32.dll", "msvcrt.dll", "SHLWAPI.dll"}


def release_zip():
    version = re.search(r"project\(Parlex VERSION ([0-9.]+)",
                        (ROOT / "CMakeLists.txt").read_text()).group(1)
    return ROOT / "dist" / f"Parlex-{version}-windows.zip"


def imported_dlls(program, objdump):
    out = subprocess.run([objdump, "-p", str(program)], capture_output=True, text=True).stdout
    return set(re.findall(r"DLL Name: (\S+)", out))


def test_zip_unpacks_to_two_programs_and_a_readme(wine, display, tmp_path):
    with zipfile.ZipFile(release_zip()) as archive:
        assert sorted(archive.namelist()) == ["Parlex_SS.exe", "README.txt", "Tessig.exe"]
        archive.extractall(tmp_path)
    readme = (tmp_path / "README.txt").read_text(encoding="utf-8")
    for words in ("NVIDIA", "管理者権限", "Administrator rights", "Monitor History", "log"):
        assert words in readme

    parlex, tessig = tmp_path / "Parlex_SS.exe", tmp_path / "Tessig.exe"
    assert imported_dlls(parlex, "i686-w64-mingw32-objdump") <= SYSTEM_DLLS
    assert imported_dlls(tessig, "x86_64-w64-mingw32-objdump") <= SYSTEM_DLLS

    for program, name in ((parlex, "Parlex_SS"), (tessig, "Tessig")):
        code, out = wine.probe("resources", "Z:" + str(program).replace("/", "\\"))
        assert 'level="requireAdministrator"' in out and 'uiAccess="false"' in out
        assert "FileVersion=1.3.0.1009" in out
        assert f"OriginalFilename={name}.exe" in out
    code, out = wine.probe("resources", "Z:" + str(parlex).replace("/", "\\"))
    assert "<dpiAware" in out and ">true</dpiAware>" in out
    assert "Microsoft.Windows.Common-Controls" in out and 'version="6.0.0.0"' in out
    assert "translation 0411 932" in out
    assert "ProductVersion=1.3 (build 1009)" in out and "ProductName=TAVO Parlex_SS" in out

    wine.scenario = tmp_path / "scenario.txt"
    wine.scenario.write_text("[gpu]\nname = G\n")
    wine.start(parlex, cwd=tmp_path)
    assert wait_window(wine)[:4] == (825, 470, 271, 141)
