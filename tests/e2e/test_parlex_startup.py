"""Parlex's start-up under Wine: one instance, the centred window, the version
check, GPU discovery with its messages, the sampling thread."""

import subprocess
import time

import pytest

from harness import RUNS_32BIT, Display, Wine, read_call_log, wait_until
from parlex import (PARLEX, answer_message, shot_showing, start_parlex, values_lit, wait_message,
                    wait_passes, wait_window)

TWO_GPUS = "[gpu]\nname = NVIDIA GeForce RTX 4070\n[gpu]\nname = NVIDIA RTX A2000\n"


def test_second_start_ends_at_once_and_leaves_the_first_alone(wine, tmp_path, workdir):
    first = start_parlex(wine, workdir, TWO_GPUS, tmp_path)
    rect = wait_window(wine)
    assert rect
    started = time.monotonic()
    second = wine.start(workdir / PARLEX.name, cwd=workdir)
    assert second.wait(10) == 0
    assert time.monotonic() - started < 3
    assert wine.message_text("Parlex") is None
    assert first.poll() is None
    assert wine.window_rect("Parlex", "Parlex")[:4] == rect[:4]
    assert wine.mutex_exists("Parlex_SS.exe")


def test_centred_on_a_full_hd_screen(wine, tmp_path, workdir):
    start_parlex(wine, workdir, TWO_GPUS, tmp_path)
    assert wait_window(wine)[:4] == (825, 470, 271, 141)


def test_centred_on_a_small_screen(wine, prefix, tmp_path, workdir):
    # The Wine server keeps the display it started with: a new one for a new screen.
    wine.close()
    screen = Display(1366, 768)
    wine = Wine(prefix, screen, log=tmp_path / "calls.log")
    try:
        start_parlex(wine, workdir, TWO_GPUS, tmp_path)
        assert wait_window(wine)[:4] == (548, 314, 271, 141)
        geometry = screen.xdotool("search", "--name", "^Parlex$", "getwindowgeometry")
        assert "548,314" in geometry and "271x141" in geometry
    finally:
        wine.close()
        screen.close()


@pytest.mark.skipif(not RUNS_32BIT, reason="no 64-bit Windows 2000 exists: Wine gives the x86_64 "
                    "stand-in its default version instead")
def test_system_version(wine, tmp_path, workdir):
    wine.set_version("Parlex_SS.exe", "win2k")
    try:
        process = start_parlex(wine, workdir, TWO_GPUS, tmp_path)
        assert wait_message(wine) == "XP以降のOSが必要です"
        assert answer_message(wine, process) == 0
        assert wine.window_rect("Parlex", "Parlex") is None
        wine.set_version("Parlex_SS.exe", "winxp")
        process = start_parlex(wine, workdir)
        assert wait_window(wine)
    finally:
        wine.set_version("Parlex_SS.exe", None)


@pytest.mark.parametrize("text, message", [
    ("initialize_status = -6\n[gpu]\n", "NvAPIの初期化に失敗しました"),
    ("enum_status = -1\n[gpu]\n", "NvAPIの初期化に失敗しました"),
    ("tcc_status = -1\n[gpu]\n", "NvAPIの初期化に失敗しました"),
    ("missing = EnumTCCPhysicalGPUs\n[gpu]\n", "NvAPIの初期化に失敗しました"),
    ("# no GPU\n", "NvAPIの初期化に失敗しました"),
    ("nvapi = no\n", "NvAPIの初期化に失敗しました"),
    ("[gpu]\n[gpu]\nname_status = -5\n", "GPU名を取得できません"),
    ("[gpu]\n[gpu]\npci_status = -5\n", "デバイスIDを取得できません"),
], ids=["driver", "enumeration", "tcc-enumeration", "tcc-missing", "no-gpu", "no-library",
        "name", "pci"])
def test_discovery_failure_shows_its_message_then_exit_0(wine, tmp_path, workdir, text, message):
    process = start_parlex(wine, workdir, text, tmp_path)
    assert wait_message(wine) == message
    assert process.poll() is None, "the box waits for the user"
    assert answer_message(wine, process) == 0
    assert not (workdir / "skin").exists(), "a failed start leaves nothing behind"


@pytest.mark.parametrize("count", [5, 9])
def test_more_than_four_gpus_notice_once_and_four_slots(wine, tmp_path, workdir, count):
    process = start_parlex(wine, workdir, f"[gpu]\nrepeat = {count}\n", tmp_path)
    assert wait_message(wine) == ("ビデオカードが5枚以上存在します\n認識できるビデオカードは4枚までです\n"
                                  "4枚までを認識します")
    # The timers run while the notice is open; nothing may break, and the
    # window answers all along.
    code, longest = wine.probe("ping", "Parlex", "Parlex", "1.5")
    assert code == 0 and longest != "hung"
    assert process.poll() is None
    answer_message(wine)
    assert wait_window(wine)
    assert wait_passes(wine, 2)
    assert wine.message_text("Parlex") is None, "shown once"
    calls = read_call_log(wine.log)
    names = [c["gpu"] for c in calls if c["function"] == "NvAPI_GPU_GetFullName"]
    assert names == ["0", "1", "2", "3"], "the fifth name is never asked for"
    sampled = {c["gpu"] for c in calls if c["function"] == "NvAPI_GPU_GetAllClockFrequencies"}
    assert sampled == {"0", "1", "2", "3"}


def test_probing_and_sampling(wine, tmp_path, workdir):
    text = ("[gpu]\nname = Old clocks\nclock_layouts = 1\nthermal_layouts = 1\n"
            "[gpu]\nname = New\n[gpu]\nname = Compute\ntcc = yes\n")
    start_parlex(wine, workdir, text, tmp_path)
    assert wait_window(wine)
    assert wait_passes(wine, 4)
    calls = read_call_log(wine.log)
    clocks = [c for c in calls if c["function"] == "NvAPI_GPU_GetAllClockFrequencies"]
    old = [c for c in clocks if c["gpu"] == "0"]
    assert [(c["version"], c["status"]) for c in old[:2]] == [("0x30108", "-9"), ("0x20108", "-9")]
    assert old[1]["time"] - old[0]["time"] >= 1, "a pause of at least 1 ms"
    assert {c["version"] for c in old[2:]} == {"0x10108"}, "layout 1 is used without a probe"
    thermal = [c for c in calls if c["function"] == "NvAPI_GPU_GetThermalSettings" and c["gpu"] == "0"]
    assert thermal[0]["version"] == "0x20044" and thermal[0]["status"] == "-9"
    assert {c["version"] for c in thermal[1:]} == {"0x10044"}

    # After discovery every NVAPI call comes from one thread, about once a second.
    discovery_thread = next(c["tid"] for c in calls if c["function"] == "NvAPI_Initialize")
    first_sample = next(i for i, c in enumerate(calls) if c["function"] == "NvAPI_GPU_GetUsages")
    sampling = {c["tid"] for c in calls[first_sample - 4:] if c["function"].startswith("NvAPI_GPU")}
    assert len(sampling) == 1 and discovery_thread not in sampling
    passes = [c["time"] for c in calls if c["function"] == "NvAPI_GPU_GetUsages" and c["gpu"] == "0"]
    assert len(passes) >= 3
    gaps = [b - a for a, b in zip(passes, passes[1:])]
    assert all(950 <= gap <= 2500 for gap in gaps), gaps
    tcc_usage = [c for c in calls if c["function"] == "NvAPI_GPU_GetUsages" and c["gpu"] == "-1"]
    assert tcc_usage, "the TCC slot's usage query finds no handle"


def test_working_directory_too_long_for_the_buffer(wine, tmp_path):
    folder = tmp_path
    while len(str(folder)) < 280:
        folder = folder / "a-rather-long-folder-name"
    folder.mkdir(parents=True)
    start_parlex(wine, folder, TWO_GPUS, tmp_path)
    assert wait_window(wine), "start-up goes on"


def test_a_driver_reset_is_followed_by_a_new_discovery(wine, display, tmp_path, workdir):
    def names(rect):
        x, y = rect[:2]
        shot = display.screenshot()
        return [shot.crop((x, y + 34 + 24 * k, x + 120, y + 50 + 24 * k)).tobytes() for k in (0, 1)]

    # The face of the GPUs in the order the reset brings, for comparison.
    reference = start_parlex(wine, workdir, "[gpu]\nname = Beta Beta Beta\n[gpu]\nname = Alpha\n",
                             tmp_path)
    expected = names(wait_window(wine))  # the names come with the window
    wine.stop(reference)
    assert wait_until(lambda: wine.window_rect("Parlex", "Parlex") is None, 10)

    text = ("reset_at_call = 24\nreset_order = reverse\n"
            "[gpu]\nname = Alpha\n[gpu]\nname = Beta Beta Beta\n")
    start_parlex(wine, workdir, text, tmp_path)
    rect = wait_window(wine)
    assert names(rect) != expected
    reset = lambda: [c for c in read_call_log(wine.log) if c["function"] == "driver"]  # noqa: E731
    assert wait_until(reset, 20)

    def since(function):
        calls = read_call_log(wine.log)
        return [c for c in calls[calls.index(reset()[0]) + 1:] if c["function"] == function]

    assert wait_until(lambda: since("NvAPI_GPU_GetFullName"), 15), "named again"
    assert wait_until(lambda: {c["gpu"] for c in since("NvAPI_GPU_GetAllClockFrequencies")[-4:]
                               if c["status"] == "0"} == {"0", "1"}, 15), "read again"
    assert wait_until(lambda: names(rect) == expected, 15), "the names follow the new order"
    assert "#32770" not in wine.probe("windows")[1], "no box for it"



def test_a_gpu_that_leaves_takes_its_figures_and_comes_back_as_at_start(wine, display, tmp_path,
                                                                        workdir):
    def rows(rect):
        x, y = rect[:2]
        return display.screenshot().crop((x, y + 30, x + 271, y + 124)).tobytes()

    def after(marker):
        calls = read_call_log(wine.log)
        at = next((i for i, c in enumerate(calls) if c["function"] == marker), None)
        return at is not None and any(c["function"] == "NvAPI_EnumPhysicalGPUs" for c in calls[at:])

    def settled(rect, gpus):
        """The rows once the readings are shown and two passes change nothing:
        each repaint of a text blends over the last, the first ones show."""
        assert shot_showing(display, rect, values_lit(gpus)), "the readings shown"

        def unchanged():
            before = rows(rect)
            return before if wait_passes(wine, 2) and rows(rect) == before else None
        return wait_until(unchanged, 20)

    gpu = "graphics = 1500000\ntemperature = 60\nload = 40\n"
    alone = start_parlex(wine, workdir, f"[gpu]\nname = Alpha\n{gpu}", tmp_path)
    face_of_one = settled(wait_window(wine), 1)
    wine.stop(alone)
    assert wait_until(lambda: wine.window_rect("Parlex", "Parlex") is None, 10)

    start_parlex(wine, workdir, f"leave_at_call = 60\nreturn_at_call = 90\n[gpu]\nname = Alpha\n"
                 f"{gpu}[gpu]\nname = Beta\n{gpu}", tmp_path)
    rect = wait_window(wine)
    face_of_two = settled(rect, 2)
    assert face_of_two and face_of_two != face_of_one
    assert wait_until(lambda: after("gpu"), 20), "left and discovered again"
    assert wait_until(lambda: rows(rect) == face_of_one, 15), "the row it left reads as an empty one"
    assert wait_until(lambda: after("driver"), 20), "back and discovered again"
    assert wait_until(lambda: rows(rect) == face_of_two, 15)

def test_a_slow_driver_never_freezes_the_window(wine, tmp_path, workdir):
    start_parlex(wine, workdir, "call_delay_ms = 300\n[gpu]\nname = G\n[gpu]\nname = H\n", tmp_path)
    assert wait_window(wine, timeout=40)
    code, longest = wine.probe("ping", "Parlex", "Parlex", "4")
    assert code == 0 and longest != "hung"
    assert int(longest) < 200, "the window answers while the driver takes its time"


def test_closing_lets_the_sampling_thread_leave_the_driver_first(wine, tmp_path, workdir):
    # Each driver call outlasts the rest of the shutdown, but not the two
    # seconds the shutdown waits: closed in the call that follows a
    # temperature, Parlex must wait for it to end.
    process = start_parlex(wine, workdir, "call_delay_ms = 1200\n[gpu]\nname = G\n", tmp_path)
    wait_window(wine, timeout=60)

    def temperatures():
        return [c for c in read_call_log(wine.log) if c["function"] == "NvAPI_GPU_GetThermalSettings"]

    seen = len(temperatures())
    assert wait_until(lambda: len(temperatures()) > seen, 10)
    wine.probe("post", "Parlex", "Parlex", 0x10, 0, 0)  # WM_CLOSE
    assert process.wait(10) == 0
    calls = read_call_log(wine.log)
    sampler = [c for c in calls if c["function"] == "NvAPI_GPU_GetThermalSettings"][-1]["tid"]
    assert sampler in {c["tid"] for c in calls if c["function"] == "thread"}
