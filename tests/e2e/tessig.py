"""Running Tessig under Wine for the end-to-end tests."""

import re
import threading
import time
from pathlib import Path

from harness import BUILD, PROBE, send_datagram, udp_listeners, wait_until, windows_path
from parlex import installed

TESSIG = BUILD / "win64" / "logger" / "Tessig.exe"
CLOSING = "=" * 50 + "\r\n"
STAMP = re.compile(r"^\d{4}/\d\d/\d\d \d\d:\d\d:\d\d ={30}\r\n", re.M)


class RunningTessig:
    """Tessig with its output on a pipe (code page 932 bytes, CR LF lines)."""

    def __init__(self, wine, folder):
        self.wine = wine
        self.process = wine.start(installed(TESSIG, folder), cwd=folder)
        self.chunks = []
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for chunk in iter(lambda: self.process.stdout.read1(65536), b""):
            self.chunks.append(chunk)

    @property
    def output(self):
        return b"".join(self.chunks).decode("cp932", "replace")

    def reports(self):
        return self.output.count(CLOSING)

    def wait_reports(self, count, timeout=20):
        """True once count reports are out; otherwise fails with what came out."""
        if wait_until(lambda: self.reports() >= count, timeout):
            return True
        raise AssertionError(f"{self.reports()} of {count} reports in {timeout} s, exit code "
                             f"{self.process.poll()}, output {self.output[-1500:]!r}")

    def stop(self, payload=b"EXIT\0", timeout=15):
        """Sends the stop word; returns the exit code. Tessig starts listening
        on a thread of its own, beside its first report: a datagram sent
        before that would be lost."""
        wait_until(lambda: "127.0.0.1:12345" in udp_listeners(), 10)
        send_datagram(payload)
        code = self.process.wait(timeout)
        self.reader.join(5)
        self.wine.stop(self.process)
        return code

    def finish(self, timeout=20):
        code = self.process.wait(timeout)
        self.reader.join(5)
        self.wine.stop(self.process)
        return code


def scenario(tmp_path, text):
    path = tmp_path / "scenario.txt"
    path.write_text(text)
    return path


def first_report(output):
    """The first report without its time stamp line."""
    start = STAMP.search(output)
    assert start, output
    end = output.index(CLOSING, start.end())
    return output[start.end() : end + len(CLOSING)]


def capture_console(wine, seconds, folder):
    """Runs Tessig from folder in a console of its own through the probe;
    returns the exit code and the screen as a list of (text, [attribute per
    column])."""
    code, out = wine.run(PROBE, "capture-console", seconds,
                         windows_path(installed(TESSIG, folder)), cwd=folder, timeout=seconds + 30)
    lines = out.decode("utf-8", "replace").split("\n")
    assert lines[0].startswith("exit "), lines[:3]
    exit_code = int(lines[0].split()[1])
    screen = []
    for text, runs in zip(lines[1::2], lines[2::2]):
        attributes = []
        for run in runs.split():
            attribute, count = run.split(":")
            attributes += [int(attribute)] * int(count)
        screen.append((text, attributes))
    return exit_code, screen


def text_attributes(row):
    """The set of attributes under the non-blank characters of a screen row."""
    text, attributes = row
    return {attributes[i] for i, c in enumerate(text) if not c.isspace() and i < len(attributes)}
