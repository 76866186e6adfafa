"""Benchmarks of Parlex and Tessig under Wine. They measure and print ratios
against references measured in the same run; they assert nothing.

    /usr/bin/python3 tests/bench/run_bench.py
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))

from harness import BUILD, Display, Wine, send_datagram, wait_until  # noqa: E402
from parlex import PARLEX, click_control, wait_window  # noqa: E402
from tessig import TESSIG  # noqa: E402

TICK = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def pids_of(name):
    found = []
    for proc in Path("/proc").iterdir():
        if proc.name.isdigit():
            try:
                if name.encode() in (proc / "cmdline").read_bytes().split(b"\0")[0]:
                    found.append(int(proc.name))
            except OSError:
                pass
    return found


def measure(pids, seconds):
    """CPU use of each process over the interval, as a share of one core."""
    before = {pid: cpu_seconds(pid) for pid in pids}
    time.sleep(seconds)
    return {pid: (cpu_seconds(pid) - before[pid]) / seconds for pid in pids}


def private_memory(pid):
    """Private resident memory of a process (Wine's own share included), bytes."""
    total = 0
    for line in Path(f"/proc/{pid}/smaps_rollup").read_text().splitlines():
        if line.startswith(("Private_Clean:", "Private_Dirty:")):
            total += int(line.split()[1]) * 1024
    return total


def main():
    prefix = BUILD / "wine"
    subprocess.run([str(BUILD.parent / "scripts" / "make-prefix.sh"), str(prefix)], check=True)
    display = Display()
    wine = Wine(prefix, display)
    work = Path(tempfile.mkdtemp())
    try:
        code, out = wine.run(BUILD / "win32" / "tests" / "bench" / "parlex_bench.exe", timeout=300)
        print(out.decode().strip())

        server = pids_of("wineserver")
        reference = wine.start(BUILD / "win32" / "tests" / "bench" / "idle_reference.exe")
        time.sleep(3)
        use = measure([reference.pid] + server, 20)
        reference_cpu, reference_server = use[reference.pid], sum(use[p] for p in server)
        reference_private = private_memory(reference.pid)
        wine.stop(reference)

        (work / "log").mkdir()
        shutil.copy(TESSIG, work / "Tessig.exe")
        parlex = wine.start(PARLEX, cwd=work)
        rect = wait_window(wine)
        time.sleep(3)
        use = measure([parlex.pid] + server, 20)
        parlex_cpu, parlex_server = use[parlex.pid], sum(use[p] for p in server)
        parlex_private = private_memory(parlex.pid)
        print(f"idle, 20 s, window shown, pointer still: Parlex {parlex_cpu:.1%} of a core "
              f"(wineserver {parlex_server:.1%}); reference window with the same timers "
              f"{reference_cpu:.1%} (wineserver {reference_server:.1%}); "
              f"ratio {parlex_cpu / max(reference_cpu, 1e-9):.1f}x")
        print(f"private memory after start-up: Parlex {parlex_private / 2**20:.1f} MiB (the blend "
              f"table is 16 MiB of it); reference window {reference_private / 2**20:.1f} MiB")

        click_control(display, rect, 13, 131)  # tick "Monitor History"
        display.move(rect[0] + 100, rect[1] + 70)
        assert wait_until(lambda: pids_of("Tessig.exe"), 10)
        time.sleep(3)
        tessig = pids_of("Tessig.exe")[0]
        use = measure([parlex.pid, tessig] + server, 30)
        print(f"whole system, 30 s, box ticked: Parlex {use[parlex.pid]:.1%}, Tessig "
              f"{use[tessig]:.1%}, wineserver {sum(use[p] for p in server):.1%} of a core; "
              f"reference window {reference_cpu:.1%}")
        print(f"private memory: Parlex {private_memory(parlex.pid) / 2**20:.1f} MiB, "
              f"Tessig {private_memory(tessig) / 2**20:.1f} MiB, "
              f"reference window {reference_private / 2**20:.1f} MiB")
        click_control(display, rect, 13, 131)
        wait_until(lambda: not pids_of("Tessig.exe"), 10)
    finally:
        send_datagram(b"EXIT\0")
        wine.close()
        display.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
