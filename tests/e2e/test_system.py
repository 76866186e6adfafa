"""The whole system under Wine: "Monitor History" starts Tessig through
cmd.exe and stops it with the datagram; the notices; paths with blanks,
parentheses and "&"."""

import os
import re
import shutil
import socket
import time

import pytest

from harness import BUILD, PARLEX_TREE, PROBE, own_processes, read_call_log, send_datagram, wait_until
from parlex import (PARLEX, answer_message, click_control, installed, start_parlex, wait_message,
                    wait_passes, wait_window)
from tessig import TESSIG, RunningTessig
from test_tessig import HEADER

# Every test here runs Tessig, which listens on UDP port 12345.
pytestmark = pytest.mark.stop_port

ONE_GPU = "[gpu]\nname = G\n"
CHECK = (13, 131)


@pytest.fixture
def workdir(tmp_path):
    folder = tmp_path / "work"
    (folder / "log").mkdir(parents=True)
    shutil.copy(TESSIG, folder / "Tessig.exe")
    return folder


@pytest.fixture
def cleanup(wine):
    """Stops any logger a test leaves behind, by datagram and then by id."""
    yield
    if wine.mutex_exists("Tessig.exe"):
        send_datagram(b"EXIT\0")
        wait_until(lambda: not wine.mutex_exists("Tessig.exe"), 5)
    for pid in own_processes("Tessig.exe", wine):
        try:
            os.kill(pid, 9)
        except OSError:
            pass


def header_lines(workdir):
    path = workdir / "log" / "history.csv"
    return path.read_text().count("P-State") if path.exists() else 0


def toggle(display, rect):
    click_control(display, rect, *CHECK)
    display.move(rect[0] + 100, rect[1] + 70)


def test_tick_starts_tessig_untick_stops_it(wine, display, tmp_path, workdir, cleanup):
    start_parlex(wine, workdir, ONE_GPU, tmp_path)
    rect = wait_window(wine)
    toggle(display, rect)
    assert wait_until(lambda: wine.mutex_exists("Tessig.exe"), 4), "running within two seconds"
    assert wait_until(lambda: header_lines(workdir) == 1, 5)
    assert (workdir / "log" / "history.csv").read_bytes().decode() == HEADER
    assert wait_until(lambda: display.xdotool("search", "--onlyvisible", "--name", "cmd.exe").split(),
                      5), "in a console window of its own"
    toggle(display, rect)
    assert wait_until(lambda: not wine.mutex_exists("Tessig.exe"), 6)
    assert wait_until(lambda: not own_processes("Tessig.exe", wine), 5)
    assert header_lines(workdir) == 1


def test_a_logger_started_by_hand_is_respected(wine, display, tmp_path, workdir, cleanup):
    start_parlex(wine, workdir, ONE_GPU, tmp_path)
    rect = wait_window(wine)
    # With the box unticked Parlex stops any logger, so this one starts deaf:
    # the stop port is taken until the box is ticked.
    blocker = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    blocker.bind(("127.0.0.1", 12345))
    try:
        by_hand = RunningTessig(wine, workdir)
        assert by_hand.wait_reports(1)
        toggle(display, rect)
        assert wait_passes(wine, 2)
        assert header_lines(workdir) == 1, "nothing launched while it runs"
    finally:
        blocker.close()
    assert by_hand.stop() == 0  # once its listener has the free port  # it ends; the box is still ticked, the launch still wanted
    assert wait_until(lambda: header_lines(workdir) == 2, 5), "the next pass launches one"
    assert wait_until(lambda: wine.mutex_exists("Tessig.exe"), 3)
    # Closed by the user: not started again while the box stays ticked.
    send_datagram(b"EXIT\0")
    assert wait_until(lambda: not wine.mutex_exists("Tessig.exe"), 5)
    assert wait_passes(wine, 3)
    assert header_lines(workdir) == 2
    assert not wine.mutex_exists("Tessig.exe")


def test_parlex_closed_leaves_tessig_and_the_next_parlex_stops_it(wine, display, tmp_path,
                                                                  workdir, cleanup):
    process = start_parlex(wine, workdir, ONE_GPU, tmp_path)
    rect = wait_window(wine)
    toggle(display, rect)
    assert wait_until(lambda: wine.mutex_exists("Tessig.exe"), 4)
    click_control(display, rect, 240, 10)  # the close button
    assert process.wait(10) == 0
    # Every driver call from now on is Tessig's: it goes on reading.
    reports = lambda: sum(1 for c in read_call_log(wine.log)  # noqa: E731
                          if c["function"] == "NvAPI_GPU_GetAllClockFrequencies")
    closed = reports()
    assert wait_until(lambda: reports() >= closed + 2, 15)
    assert wine.mutex_exists("Tessig.exe"), "Tessig keeps running"
    start_parlex(wine, workdir)
    started = time.monotonic()
    assert wait_until(lambda: not wine.mutex_exists("Tessig.exe"), 6)
    assert time.monotonic() - started < 4


class MovedNvml:
    """Takes nvml.dll away from the prefix's fixed path and system directory."""

    def __init__(self, prefix):
        self.places = [prefix / "drive_c/Program Files/NVIDIA Corporation/NVSMI/nvml.dll",
                       prefix / "drive_c/windows/system32/nvml.dll"]

    def __enter__(self):
        for place in self.places:
            place.rename(place.with_suffix(".away"))
        return self

    def put_back(self, place):
        place.with_suffix(".away").rename(place)

    def __exit__(self, *exc):
        for place in self.places:
            if place.with_suffix(".away").exists():
                self.put_back(place)


def test_nvml_missing_then_only_in_the_system_directory(wine, display, prefix, tmp_path,
                                                        workdir, cleanup):
    with MovedNvml(prefix) as nvml:
        start_parlex(wine, workdir, ONE_GPU, tmp_path)
        rect = wait_window(wine)
        toggle(display, rect)
        assert wait_message(wine) == "nvml.dllが見つかりませんでした"
        answer_message(wine)
        assert wait_passes(wine, 2)
        assert wine.message_text("Parlex") is None, "retried silently"
        assert not wine.mutex_exists("Tessig.exe")
        nvml.put_back(nvml.places[1])  # current drivers: the system directory only
        assert wait_until(lambda: wine.mutex_exists("Tessig.exe"), 5)
        assert wait_until(lambda: header_lines(workdir) == 1, 5)
        toggle(display, rect)
        assert wait_until(lambda: not wine.mutex_exists("Tessig.exe"), 6)


def test_windows_vista_gets_the_notice_once(wine, display, tmp_path, workdir, cleanup):
    wine.set_version("Parlex_SS.exe", "vista")
    try:
        start_parlex(wine, workdir, ONE_GPU, tmp_path)
        rect = wait_window(wine)
        toggle(display, rect)
        text = wait_message(wine)
        assert text.startswith("この機能は以下のWindows OSのみサポートします") and "64bit only" in text
        answer_message(wine)
        toggle(display, rect)
        toggle(display, rect)
        assert wait_passes(wine, 2)
        assert wine.message_text("Parlex") is None
        assert not wine.mutex_exists("Tessig.exe")
    finally:
        wine.set_version("Parlex_SS.exe", None)


def test_working_directory_with_blanks_parentheses_and_ampersand(wine, display, tmp_path,
                                                                 cleanup):
    folder = tmp_path / "Program Files (x86)" / "Parlex & Co"
    (folder / "log").mkdir(parents=True)
    shutil.copy(TESSIG, folder / "Tessig.exe")
    start_parlex(wine, folder, ONE_GPU, tmp_path)
    rect = wait_window(wine)
    toggle(display, rect)
    assert wait_until(lambda: wine.mutex_exists("Tessig.exe"), 5)
    assert wait_until(lambda: header_lines(folder) == 1, 5)
    toggle(display, rect)
    assert wait_until(lambda: not wine.mutex_exists("Tessig.exe"), 6)


def test_rapid_ticking(wine, display, tmp_path, workdir, cleanup):
    process = start_parlex(wine, workdir, ONE_GPU, tmp_path)
    rect = wait_window(wine)
    most = 0
    # Each state lasts one pass of the logger control.
    for _ in range(10):
        toggle(display, rect)  # tick
        assert wait_passes(wine, 1)
        most = max(most, len(own_processes("Tessig.exe", wine)))
        toggle(display, rect)  # untick
        assert wait_passes(wine, 1)
        most = max(most, len(own_processes("Tessig.exe", wine)))
    assert most == 1, "exactly one Tessig at any time"
    assert wait_until(lambda: not wine.mutex_exists("Tessig.exe"), 6)
    assert wait_until(lambda: not own_processes("Tessig.exe", wine), 5), "none at the end"
    launches = header_lines(workdir)
    assert launches >= 1
    assert (workdir / "log" / "history.csv").read_bytes().decode() == HEADER * launches
    assert wine.message_text("Parlex") is None
    assert process.poll() is None


@pytest.mark.parametrize("message", [0x0010, 0x0002], ids=["WM_CLOSE", "WM_DESTROY"])
def test_window_closed_while_a_notice_is_open_shuts_down_in_order(wine, display, prefix,
                                                                   tmp_path, workdir, cleanup,
                                                                   message):
    with MovedNvml(prefix):
        process = start_parlex(wine, workdir, ONE_GPU, tmp_path)
        rect = wait_window(wine)
        toggle(display, rect)
        assert wait_message(wine) == "nvml.dllが見つかりませんでした"
        # The window goes while the notice has its procedure switched off.
        assert wine.probe("post", "Parlex", "Parlex", message, 0, 0)[0] == 0
        assert process.wait(10) == 0
    assert not (workdir / "skin").exists(), "the shutdown removed the skin"
    assert not wine.mutex_exists("Parlex_SS.exe")
    start_parlex(wine, workdir, ONE_GPU, tmp_path)
    assert wait_window(wine), "a new Parlex starts normally"


def test_the_stop_datagram_is_exit_and_a_zero_to_the_loopback_port(wine, display, tmp_path,
                                                                  workdir):
    # With the box unticked Parlex stops a running logger once a second.
    listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("0.0.0.0", 12345))
    listener.settimeout(15)
    holder = wine.start(PROBE, "hold-mutex", "Tessig.exe", "30")
    try:
        assert wait_until(lambda: wine.mutex_exists("Tessig.exe"), 10)
        start_parlex(wine, workdir, ONE_GPU, tmp_path)
        assert wait_window(wine)
        payload, sender = listener.recvfrom(64)
        destination = listener.getsockname()
    finally:
        listener.close()
        wine.stop(holder)
    assert payload == b"EXIT\0"
    assert sender[0] == "127.0.0.1"
    assert destination[1] == 12345


@pytest.mark.parametrize("program", ["Parlex", "Tessig"])
def test_a_dll_beside_the_program_is_never_loaded_by_name(wine, display, tmp_path, workdir, cleanup,
                                                         program):
    # The simulated driver loads a helper by bare name, as vendor libraries
    # do; a copy planted beside the program must not be the one it gets.
    if program == "Parlex":
        exe = workdir / "Parlex_SS.exe"
        shutil.copy(PARLEX, exe)
        shutil.copy(PARLEX_TREE / "gpusim" / "nvapi.dll", workdir / "nvhelper.dll")
    else:
        exe = workdir / "Tessig.exe"
        shutil.copy(BUILD / "win64" / "gpusim" / "nvapi64.dll", workdir / "nvhelper.dll")
    wine.scenario = tmp_path / "scenario.txt"
    wine.scenario.write_text("load_by_name = nvhelper.dll\n[gpu]\nname = G\n")

    def helpers():
        return [c.get("helper") for c in read_call_log(wine.log) if c["function"] == "NvAPI_Initialize"]

    process = wine.start(exe, cwd=workdir)
    try:
        assert wait_until(helpers, 20)
    finally:
        wine.stop(process)
    assert helpers() == ["none"] * len(helpers())


def test_nothing_planted_is_loaded_run_or_written(wine, display, tmp_path, workdir, cleanup):
    # Started as a log-on task or an elevated prompt starts it: from another
    # folder, which holds a planted Tessig.exe and cmd.exe. Wine set to search
    # as Windows does: a gdiplus.dll beside the program before the system's
    # own. history.csv is a second name of a file only an administrator writes.
    launcher = tmp_path / "launcher"
    launcher.mkdir()
    planted = PARLEX_TREE / "tests" / "probe" / "cmd.exe"
    for folder in (workdir, launcher):
        shutil.copy(planted, folder / "cmd.exe")
    shutil.copy(planted, launcher / "Tessig.exe")
    shutil.copy(PARLEX_TREE / "gpusim" / "nvapi.dll", workdir / "gdiplus.dll")
    protected = tmp_path / "protected.txt"
    protected.write_bytes(b"only an administrator writes here\r\n")
    os.link(protected, workdir / "log" / "history.csv")
    wine.scenario = tmp_path / "scenario.txt"
    wine.scenario.write_text(ONE_GPU)
    with open(tmp_path / "trace.txt", "wb") as trace:
        wine.start(installed(PARLEX, workdir), cwd=launcher, stderr=trace,
                   extra_env={"WINEDLLOVERRIDES": "mscoree,mshtml=;gdiplus=n,b",
                              "WINEDEBUG": "-all,+exec"})
    # The planted library has none of GDI+'s functions: loaded, it stops Parlex.
    rect = wait_window(wine)
    assert rect, "Parlex starts with the system's GDI+"
    assert (workdir / "skin" / "imgTemp_").exists() and not (launcher / "skin").exists()
    toggle(display, rect)
    assert wait_until(lambda: wine.mutex_exists("Tessig.exe"), 10), "the real logger starts"
    assert wait_passes(wine, 2)
    assert [p.name for p in (*workdir.iterdir(), *launcher.iterdir()) if p.suffix == ".ran"] == []
    assert protected.read_bytes() == b"only an administrator writes here\r\n"
    # Wine looks in the system folder first for a bare name: what was asked
    # for, with no AutoRun command of the registry run.
    text = (tmp_path / "trace.txt").read_text(errors="replace")
    asked = re.findall(r'file=L"([^"]*)"', text)
    assert asked and all(re.fullmatch(r"C:\\\\windows\\\\system32\\\\cmd\.exe", a, re.I)
                         for a in asked), asked
    switches = re.findall(r'parm=L"(\S+ \S+ \S+)', text)
    assert switches and all(p == "/d /s /c" for p in switches), switches
