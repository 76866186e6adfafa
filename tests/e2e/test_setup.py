"""setup.sh when the package archive misbehaves: stand-ins for the package
tools, first on PATH, play the archive and record what they were asked, so
that the machine's packages are never touched."""

import os
import subprocess

import pytest

from harness import ROOT

FETCH_FAILED = ("E: Failed to fetch http://deb.debian.org/debian-security/dists/trixie-security/"
                "main/binary-i386/Packages.xz  File has unexpected size (26680 != 26692)")

# One script under every tool's name: update fails or works, an install with
# a target release and one without exit as told, every package is missing.
STAND_IN = r"""#!/bin/sh
tool=$(basename "$0")
[ "$tool" = sudo ] && exec "$@"
echo "$tool $*" >>"$CALLS"
case "$tool $1" in
    "apt-get update") [ "$UPDATE" = works ] && exit 0; echo "$FETCH_FAILED"; exit 100 ;;
    "apt-get install") case " $* " in *" -t "*) exit "$TARGETED" ;; *) exit "$PLAIN" ;; esac ;;
    "dpkg --print-foreign-architectures") echo i386 ;;
    dpkg-query*) exit 1 ;;
esac
exit 0
"""


@pytest.mark.parametrize("update, plain, targeted, succeeds, says, installs", [
    ("fails", 100, 0, True, "from the release suite trixie alone", 2),
    ("fails", 100, 100, False, "could not be updated: http://deb.debian.org/debian-security/"
     "dists/trixie-security/main/binary-i386/Packages.xz", 2),
    ("works", 100, 0, False, None, 1),
], ids=["release-suite-succeeds", "both-installs-fail", "no-second-try-without-an-index-failure"])
def test_an_install_after_a_failed_index_is_tried_once_from_the_release_suite(
        tmp_path, update, plain, targeted, succeeds, says, installs):
    tools = tmp_path / "tools"
    tools.mkdir()
    (tools / "stand-in").write_text(STAND_IN)
    (tools / "stand-in").chmod(0o755)
    for name in ("apt-get", "dpkg", "dpkg-query", "sleep", "sudo"):
        (tools / name).symlink_to("stand-in")
    (tmp_path / "os-release").write_text("ID=debian\nVERSION_CODENAME=trixie\n")
    calls = tmp_path / "calls"
    result = subprocess.run(
        [str(ROOT / "scripts" / "setup.sh")], capture_output=True, text=True, timeout=60,
        env={**os.environ, "PATH": f"{tools}:{os.environ['PATH']}", "CALLS": str(calls),
             "SETUP_OS_RELEASE": str(tmp_path / "os-release"), "FETCH_FAILED": FETCH_FAILED,
             "UPDATE": update, "PLAIN": str(plain), "TARGETED": str(targeted)})
    assert (result.returncode == 0) == succeeds, result.stderr
    if says:
        assert [line for line in result.stderr.splitlines() if says in line], result.stderr
    done = [line.split()[1:] for line in calls.read_text().splitlines()
            if line.startswith("apt-get install")]
    assert len(done) == installs
    assert all("--no-remove" in words for words in done), "nothing installed is removed"
    targets = [words[words.index("-t") + 1] for words in done if "-t" in words]
    assert targets == ["trixie"] * (installs - 1), "only the second try, from the release suite"
