"""End-to-end harness: runs the real programs under Wine on a virtual X
display against the simulated driver, and acts and looks as a person would.

Every process the harness starts is remembered and ended by its id; the Wine
server of the prefix is stopped when the session ends.
"""

import contextlib
import fcntl
import os
import select
import signal
import socket
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
BUILD = ROOT / "build"
WINE32 = "/usr/lib/wine/wine"
WINE64 = "/usr/lib/wine/wine64"
PROBE = BUILD / "win64" / "tests" / "probe" / "winprobe.exe"


def windows_path(path):
    """The Windows name of a Linux path (Wine maps / to drive Z:)."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def is_64bit(program):
    data = Path(program).read_bytes()[:1024]
    offset = int.from_bytes(data[0x3C:0x40], "little")
    return data[offset + 4 : offset + 6] == b"\x64\x86"


# Whether this host runs 32-bit user code (scripts/runs-32bit-code tells).
RUNS_32BIT = subprocess.run([str(ROOT / "scripts" / "runs-32bit-code")]).returncode == 0
NO_32BIT = "this host runs no 32-bit user code, so Wine cannot start a 32-bit program here"
# The 32-bit side's tree: Parlex, its driver library and what is planted beside
# it. Where no 32-bit code runs, its x86_64 stand-in of the same sources.
PARLEX_TREE = BUILD / ("win32" if RUNS_32BIT else "parlex64")


def wait_until(condition, timeout=10.0, interval=0.05):
    """Polls condition until it returns something true; returns that or None."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() >= deadline:
            return None
        time.sleep(interval)


class Display:
    """An Xvfb server of its own. The server picks a display number that no
    other server holds and says which (-displayfd): two runs or workers that
    start their servers at the same moment never share one, which choosing a
    number by its lock file could not promise (the second server's socket
    check would see the first's socket before the second gave up)."""

    def __init__(self, width=1920, height=1080):
        self.width, self.height = width, height
        reader, writer = os.pipe()
        process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(writer), "-screen", "0", f"{width}x{height}x24",
             "-nolisten", "tcp"],
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
            pass_fds=(writer,),
        )
        os.close(writer)
        answer = b""
        with os.fdopen(reader, "rb") as told:
            if select.select([told], [], [], 30)[0]:
                answer = told.readline()
        if not answer.strip().isdigit():
            process.kill()
            raise RuntimeError("Xvfb did not start")
        number = int(answer)
        self.number, self.name, self.process = number, f":{number}", process

    def env(self):
        return {"DISPLAY": self.name}

    def close(self):
        self.process.terminate()
        try:
            self.process.wait(5)
        except subprocess.TimeoutExpired:
            self.process.kill()

    # What a person does and sees.

    def xdotool(self, *args):
        return subprocess.run(
            ["xdotool", *map(str, args)],
            env={**os.environ, "DISPLAY": self.name},
            capture_output=True,
            text=True,
            timeout=20,
        ).stdout

    def move(self, x, y):
        # --sync waits for the pointer to move, and one that is there already
        # never does: xdotool then gives up only after 15 seconds.
        if self.pointer() != (x, y):
            self.xdotool("mousemove", "--sync", x, y)

    def pointer(self):
        """Where the pointer is, as (x, y)."""
        where = dict(word.split("=") for word in self.xdotool("getmouselocation", "--shell").split())
        return int(where["X"]), int(where["Y"])

    def press(self, button=1):
        self.xdotool("mousedown", button)

    def release(self, button=1):
        self.xdotool("mouseup", button)

    def click(self, x, y, button=1):
        self.move(x, y)
        self.xdotool("click", button)

    def key(self, name):
        self.xdotool("key", name)

    def screenshot(self, path=None, box=None):
        """The whole screen, or a box of it (left, top, right, bottom), as a PIL
        image (saved to path when given)."""
        from PIL import Image

        target = Path(path) if path else Path(f"/tmp/parlex-shot-{self.number}.png")
        crop = ["-crop", f"{box[2] - box[0]}x{box[3] - box[1]}+{box[0]}+{box[1]}", "+repage"] if box else []
        subprocess.run(
            ["import", "-display", self.name, "-window", "root", *crop, str(target)],
            check=True,
            capture_output=True,
            timeout=30,
        )
        image = Image.open(target)
        image.load()
        return image.convert("RGB")


class Wine:
    """One Wine prefix (made by scripts/make-prefix.sh) and the processes
    started in it."""

    def __init__(self, prefix, display=None, scenario=None, log=None, holds_stop_port=True):
        self.prefix = Path(prefix)
        self.display = display
        self.scenario = scenario
        self.log = log
        self.holds_stop_port = holds_stop_port
        self.processes = []

    def env(self, extra=None):
        env = dict(os.environ)
        env.update(
            WINEPREFIX=str(self.prefix),
            WINEDEBUG="-all",
            WINEDLLOVERRIDES="mscoree,mshtml=",
        )
        env.pop("GPUSIM_SCENARIO", None)
        env.pop("GPUSIM_LOG", None)
        if self.display:
            env.update(self.display.env())
        else:
            env.pop("DISPLAY", None)
        if self.scenario:
            env["GPUSIM_SCENARIO"] = windows_path(self.scenario)
        if self.log:
            env["GPUSIM_LOG"] = windows_path(self.log)
        env.update(extra or {})
        return env

    def command(self, program, *args):
        loader = WINE64 if is_64bit(program) else WINE32
        return [loader, str(program), *map(str, args)]

    def serve(self):
        """Puts a server in place that stays until close() (scripts/wine-serve:
        Debian's ends with its last program, and one started in that moment
        dies at once); where one runs already, does nothing."""
        subprocess.run([str(ROOT / "scripts" / "wine-serve")], env=self.env(), timeout=150)

    def start(self, program, *args, cwd=None, extra_env=None, stdout=subprocess.PIPE,
              stderr=subprocess.DEVNULL):
        if not is_64bit(program) and not RUNS_32BIT:
            import pytest

            pytest.skip(NO_32BIT)
        # Tessig listens on the machine's one stop port: only a test that
        # holds it (marked stop_port) may start one.
        assert self.holds_stop_port or Path(program).name != "Tessig.exe", \
            "a test that starts Tessig must be marked stop_port"
        self.serve()
        process = subprocess.Popen(
            self.command(program, *args),
            cwd=cwd or ROOT,
            env=self.env(extra_env),
            stdin=subprocess.DEVNULL,
            stdout=stdout,
            stderr=stderr,
            start_new_session=True,
        )
        self.processes.append(process)
        return process

    def run(self, program, *args, cwd=None, extra_env=None, timeout=60):
        """Runs a program to its end; returns (exit code, stdout bytes)."""
        process = self.start(program, *args, cwd=cwd, extra_env=extra_env)
        try:
            out, _ = process.communicate(timeout=timeout)
        finally:
            self.stop(process)
        return process.returncode, out

    def probe(self, *args, timeout=30):
        code, out = self.run(PROBE, *args, timeout=timeout)
        return code, out.decode("utf-8", "replace").rstrip("\r\n")

    def stop(self, process):
        if process.poll() is None:
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            process.wait(10)
        if process in self.processes:
            self.processes.remove(process)

    def close(self):
        for process in list(self.processes):
            self.stop(process)
        subprocess.run(
            ["wineserver", "-k"], env=self.env(), capture_output=True, timeout=30
        )

    def builtin(self, *args, timeout=60):
        """Runs one of Wine's own programs (reg, regedit) to its end."""
        self.serve()
        subprocess.run([WINE64, *args], env=self.env(), capture_output=True, timeout=timeout)

    def set_version(self, program, version):
        """Makes Wine report another Windows version to one program (win2k,
        winxp, vista, win7, win8...); None removes the setting."""
        key = "HKCU\\Software\\Wine\\AppDefaults\\" + program
        if version:
            self.builtin("reg", "add", key, "/v", "Version", "/d", version, "/f")
        else:
            self.builtin("reg", "delete", key, "/f")

    # What only Win32 shows, through the probe.

    def mutex_exists(self, name):
        return self.probe("mutex", name)[1] == "present"

    def window_rect(self, title, window_class=None):
        code, out = self.probe("window", title, *([window_class] if window_class else []))
        if code != 0:
            return None
        x, y, w, h, shown, pid = out.split()
        return int(x), int(y), int(w), int(h), shown == "visible", int(pid)

    def message_text(self, caption):
        code, out = self.probe("message", caption)
        return out.replace("\\n", "\n") if code == 0 else None

    def press_message(self, caption):
        return self.probe("press", caption)[0] == 0


@contextlib.contextmanager
def stop_port_lock():
    """Holds the machine-wide lock of UDP port 12345, the loggers' stop port:
    two runs on one machine take turns instead of stopping each other's."""
    with open("/tmp/parlex-udp-12345.lock", "a") as lock:
        try:
            fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            print("waiting for another run to free UDP port 12345", file=sys.stderr)
            fcntl.flock(lock, fcntl.LOCK_EX)
        try:
            yield
        finally:
            fcntl.flock(lock, fcntl.LOCK_UN)


def own_processes(program, wine):
    """Processes of a program started in this Wine prefix on this display:
    another run's are never touched."""
    found = []
    for proc in Path("/proc").iterdir():
        if not proc.name.isdigit():
            continue
        try:
            if not (proc / "cmdline").read_bytes().split(b"\0")[0].endswith(program.encode()):
                continue
            environment = dict(entry.split(b"=", 1) for entry in
                               (proc / "environ").read_bytes().split(b"\0") if b"=" in entry)
        except OSError:
            continue
        wanted = wine.env()
        if (environment.get(b"WINEPREFIX", b"").decode() == wanted["WINEPREFIX"] and
                environment.get(b"DISPLAY", b"").decode() == wanted.get("DISPLAY", "")):
            found.append(int(proc.name))
    return found


def udp_listeners(port=12345):
    """The local addresses that sockets of this machine listen on at a UDP port."""
    lines = subprocess.run(["ss", "-uln"], capture_output=True, text=True).stdout.splitlines()
    return [line.split()[3] for line in lines
            if line.split()[3:4] and line.split()[3].endswith(f":{port}")]


def send_datagram(payload, port=12345, host="127.0.0.1"):
    """Sends one UDP datagram from Linux; only to loopback addresses."""
    assert host.startswith("127."), "test traffic stays on the loopback interface"
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
        sender.sendto(payload, (host, port))


def read_call_log(path):
    """The simulated driver's call log as a list of dicts:
    time (ms), pid, tid, function, and the key=value details."""
    calls = []
    if not Path(path).exists():
        return calls
    for line in Path(path).read_text(errors="replace").splitlines():
        words = line.split()
        if len(words) < 4:
            continue
        call = {"time": int(words[0]), "function": words[3]}
        for word in words[1:3] + words[4:]:
            if "=" in word:
                key, value = word.split("=", 1)
                call[key] = value
        calls.append(call)
    return calls
