"""Tessig, the history logger, under Wine against the simulated driver."""

import os
import re
import socket
import time

import pytest

from harness import WINE64, read_call_log, send_datagram, udp_listeners, wait_until, windows_path
from tessig import (CLOSING, TESSIG, RunningTessig, capture_console, first_report, scenario,
                    text_attributes)

# Every test here runs Tessig, which listens on UDP port 12345.
pytestmark = pytest.mark.stop_port

HEADER = (",Current(GRAPHICS),Current(MEMORY),Base(GRAPHICS),Base(MEMORY),Boost(GRAPHICS),"
          "Boost(MEMORY),Load,Temperature,Power(Draw),Power(Limit),P-State\r\n")

# One GPU for each way a reading can come out; the TCC GPU is listed last.
EIGHT_CASES = """
[gpu]
name = Full
graphics = 1695999
memory = 9751000
base_graphics = 1395000
base_memory = 9751000
boost_graphics = 1860000
boost_memory = 9752000
load = 37
temperature = 61
power = 123456
power_limit = 350000
pstate = 2

[gpu]
name = Base from P0
base_status = -104
p0_graphics = 1395000
p0_memory = 7001000

[gpu]
name = Base from P0 without memory
base_status = -104
p0_graphics = 1200000
pstates_memory_status = -5

[gpu]
name = Base zero
base_graphics = 0
base_memory = 0

[gpu]
name = No boost
boost_status = -104

[gpu]
name = NVML temperature
thermal_status = -5
nvml_temperature = 66

[gpu]
name = No temperature no power
thermal_status = -5
nvml_temperature_status = 3
power_limit_status = 3
pstate = 5

[gpu]
name = TCC without P-state
tcc = yes
load = 80
pstate_status = -104
"""

# The defaults of a simulated GPU (gpusim/scenario.h), as the report shows them.
DEFAULT_CLOCKS = ("\tCurrent        1607 MHz(GRAPHICS), 5005 MHz(MEMORY)\n"
                  "\tBase           1607 MHz(GRAPHICS), 5005 MHz(MEMORY)\n")
DEFAULT_BOOST = "\tBoost          1733 MHz(GRAPHICS), 5005 MHz(MEMORY)\n"
DEFAULT_POWER = "\tPower(Draw)    90.000 W\n\tPower(Limit)   180.000 W\n"

EXPECTED_EIGHT = (
    "Full:\n"
    "\tCurrent        1695 MHz(GRAPHICS), 9751 MHz(MEMORY)\n"
    "\tBase           1395 MHz(GRAPHICS), 9751 MHz(MEMORY)\n"
    "\tBoost          1860 MHz(GRAPHICS), 9752 MHz(MEMORY)\n"
    "\tLoad           37 %\n"
    "\tTemperature    61\n"
    "\tPower(Draw)    123.456 W\n"
    "\tPower(Limit)   350.000 W\n"
    "\tP-State        2\n"
    "Base from P0:\n"
    "\tCurrent        1607 MHz(GRAPHICS), 5005 MHz(MEMORY)\n"
    "\tBase           1395 MHz(GRAPHICS), 7001 MHz(MEMORY)\n"
    + DEFAULT_BOOST + "\tLoad           10 %\n\tTemperature    45\n" + DEFAULT_POWER +
    "\tP-State        0\n"
    "Base from P0 without memory:\n"
    "\tCurrent        1607 MHz(GRAPHICS), 5005 MHz(MEMORY)\n"
    "\tBase           1200 MHz(GRAPHICS), 0 MHz(MEMORY)\n"
    + DEFAULT_BOOST + "\tLoad           10 %\n\tTemperature    45\n" + DEFAULT_POWER +
    "\tP-State        0\n"
    "Base zero:\n"
    "\tCurrent        1607 MHz(GRAPHICS), 5005 MHz(MEMORY)\n"
    "\tBase           0 MHz(GRAPHICS), 0 MHz(MEMORY)\n"
    + DEFAULT_BOOST + "\tLoad           10 %\n\tTemperature    45\n" + DEFAULT_POWER +
    "\tP-State        0\n"
    "No boost:\n" + DEFAULT_CLOCKS +
    "\tBoost          No Support\n"
    "\tLoad           10 %\n\tTemperature    45\n" + DEFAULT_POWER + "\tP-State        0\n"
    "NVML temperature:\n" + DEFAULT_CLOCKS + DEFAULT_BOOST +
    "\tLoad           10 %\n\tTemperature    66\n" + DEFAULT_POWER + "\tP-State        0\n"
    "No temperature no power:\n" + DEFAULT_CLOCKS + DEFAULT_BOOST +
    "\tLoad           10 %\n\tTemperature    0\n\tP-State        5\n"
    "TCC without P-state:\n" + DEFAULT_CLOCKS + DEFAULT_BOOST +
    "\tLoad           0 %\n\tTemperature    45\n" + DEFAULT_POWER +
    CLOSING.replace("\r\n", "\n"))


@pytest.fixture
def workdir(tmp_path):
    folder = tmp_path / "work"
    (folder / "log").mkdir(parents=True)
    return folder


def start(wine, tmp_path, workdir, text):
    wine.scenario = scenario(tmp_path, text)
    return RunningTessig(wine, workdir)


def run_to_exit(wine, tmp_path, workdir, text, timeout=20):
    """Starts Tessig expecting it to end by itself; returns (code, output)."""
    tessig = start(wine, tmp_path, workdir, text)
    code = tessig.finish(timeout)
    return code, tessig.output


class TestReport:
    def test_every_reading_byte_for_byte(self, wine, tmp_path, workdir):
        tessig = start(wine, tmp_path, workdir, EIGHT_CASES)
        assert tessig.wait_reports(2)
        assert tessig.stop() == 0
        report = first_report(tessig.output)
        assert "\n" not in report.replace("\r\n", ""), "every line ends in CR LF on a pipe"
        assert report.replace("\r\n", "\n") == EXPECTED_EIGHT

        calls = read_call_log(wine.log)
        base_zero = [c for c in calls if c["function"] == "NvAPI_GPU_GetPstates20" and c.get("gpu") == "3"]
        assert len(base_zero) == 1, "only the probe asks: a base of zero is taken as it is"
        assert not [c for c in calls if c["function"] == "nvmlDeviceGetTemperature" and c.get("gpu") == "0"]

    def test_name_in_cyan_readings_in_magenta_and_back_to_grey(self, wine, tmp_path, workdir):
        wine.scenario = scenario(tmp_path, "[gpu]\nname = First GPU\n[gpu]\nname = Second GPU\n")
        code, screen = capture_console(wine, 3, workdir)
        stamps = [row for row in screen if row[0].rstrip().endswith("=" * 30) and "/" in row[0]]
        names = [row for row in screen if row[0].rstrip() in ("First GPU:", "Second GPU:")]
        readings = [row for row in screen if row[0].startswith("\t") or row[0].startswith("    ")]
        closings = [row for row in screen if row[0].rstrip() == "=" * 50]
        assert len(stamps) >= 2 and len(names) >= 4 and len(closings) >= 2
        assert all(text_attributes(row) == {11} for row in names)
        assert all(text_attributes(row) == {5} for row in readings if row[0].strip())
        assert all(text_attributes(row) == {7} for row in closings), "set back to 7 after each"
        assert all(text_attributes(row) == {7} for row in stamps[1:])

    def test_power_of_123456_milliwatts(self, wine, tmp_path, workdir):
        tessig = start(wine, tmp_path, workdir, "[gpu]\npower = 123456\npower_limit = 7\n")
        assert tessig.wait_reports(1)
        assert tessig.stop() == 0
        report = first_report(tessig.output)
        assert "\tPower(Draw)    123.456 W\r\n\tPower(Limit)   0.007 W\r\n" in report


def power_of(report, name):
    """The power lines of one GPU's block in a report, or None without them."""
    block = report.split(name + ":\r\n", 1)[1].split(":\r\n", 1)[0]
    lines = [line for line in block.split("\r\n") if line.startswith("\tPower(Draw)")]
    return lines[0].split()[-2] if lines else None


class TestNvmlPairing:
    """NVML numbers its devices by PCI bus, not as the driver nor as Tessig
    lists the GPUs; each GPU's power must be its own."""

    def test_figures_follow_the_bus_not_the_order(self, wine, tmp_path, workdir):
        text = ("[gpu]\nname = Ordinary on bus 9\nbus = 9\npower = 9000\n"
                "[gpu]\nname = Compute on bus 2\ntcc = yes\nbus = 2\npower = 2000\n"
                "[gpu]\nname = Ordinary on bus 5\nbus = 5\npower = 5000\n"
                "[gpu]\nname = Not in NVML\nbus = 7\nnvml = no\npower = 7000\n")
        tessig = start(wine, tmp_path, workdir, text)
        assert tessig.wait_reports(2)
        assert tessig.stop() == 0
        report = first_report(tessig.output)
        # Tessig lists the ordinary GPUs first: bus 9, bus 5, bus 7, then the
        # TCC one; NVML lists bus 2, 5 and 9.
        assert [power_of(report, name) for name in
                ("Ordinary on bus 9", "Ordinary on bus 5", "Not in NVML", "Compute on bus 2")] == \
            ["9.000", "5.000", None, "2.000"]

    def test_a_side_that_cannot_tell_keeps_the_list_order(self, wine, tmp_path, workdir):
        text = ("[gpu]\nname = First\nbus = 3\nbus_status = -104\npower = 3000\n"
                "[gpu]\nname = Second\nbus = 1\npower = 1000\n")
        tessig = start(wine, tmp_path, workdir, text)
        assert tessig.wait_reports(1)
        assert tessig.stop() == 0
        report = first_report(tessig.output)
        assert [power_of(report, "First"), power_of(report, "Second")] == ["1.000", "1.000"]


class TestPstatesRecord:
    def test_the_base_is_p0s_and_no_other_state_stands_in(self, wine, tmp_path, workdir):
        # Without the base clock type the base comes from P0 of the P-states
        # record, which the driver fills with every P-state the GPU has.
        text = ("[gpu]\nname = With P0\nbase_status = -104\np0_graphics = 1395000\n"
                "p0_memory = 7001000\npstates = 0 2 5 8\n"
                "[gpu]\nname = Without P0\nbase_status = -104\npstates = 2 5 8\n")
        tessig = start(wine, tmp_path, workdir, text)
        assert tessig.wait_reports(1)
        assert tessig.stop() == 0
        report = first_report(tessig.output).replace("\r\n", "\n")
        assert "With P0:\n" + "\tCurrent        1607 MHz(GRAPHICS), 5005 MHz(MEMORY)\n" \
            "\tBase           1395 MHz(GRAPHICS), 7001 MHz(MEMORY)\n" in report
        assert "\tBase           0 MHz(GRAPHICS), 0 MHz(MEMORY)\n" in report.split("Without P0:")[1]


class TestDriverReset:
    def test_readings_come_back_in_the_new_order(self, wine, tmp_path, workdir):
        text = ("reset_at_call = 30\nreset_order = reverse\n"
                "[gpu]\nname = Alpha\ngraphics = 1100000\n"
                "[gpu]\nname = Beta\ngraphics = 1200000\n")
        tessig = start(wine, tmp_path, workdir, text)

        def last_report():  # the last whole one: the text after the last closing is not
            blocks = [b for b in tessig.output.split(CLOSING)[:-1] if "Alpha:" in b and "Beta:" in b]
            return blocks[-1].replace("\r\n", "\n") if blocks else "Alpha:Beta:"

        # Until a report lists the GPUs in the new order; then one more.
        assert wait_until(lambda: last_report().index("Beta:") < last_report().index("Alpha:"),
                          30), tessig.output
        assert tessig.stop() == 0
        assert any(c["function"] == "driver" for c in read_call_log(wine.log)), "the reset came"
        last = last_report()
        assert last.index("Beta:") < last.index("Alpha:"), "the list follows the new discovery"
        assert "Beta:\n\tCurrent        1200 MHz" in last
        assert "Alpha:\n\tCurrent        1100 MHz" in last


    def test_a_gpu_that_leaves_is_no_longer_reported_until_it_returns(self, wine, tmp_path,
                                                                      workdir):
        text = ("leave_at_call = 20\nreturn_at_call = 50\n"
                "[gpu]\nname = Alpha\n[gpu]\nname = Beta\n")
        tessig = start(wine, tmp_path, workdir, text)

        def present():
            blocks = [block for block in tessig.output.split(CLOSING)[:-1] if "Alpha:" in block]
            return "".join("B" if "Beta:" in block else "-" for block in blocks)

        # Until Beta has left and come back.
        wait_until(lambda: re.search(r"-B", present()), 40)
        assert tessig.stop() == 0
        assert re.fullmatch(r"B+-+B+", present()), present()


class TestLoadFallback:
    """The load comes from an interface the vendor does not publish; without
    it the published utilisation of the graphics domain stands in."""

    @pytest.mark.parametrize("text, load", [
        ("missing = GPU_GetUsages\n[gpu]\nload = 42\n", "42"),
        ("[gpu]\nload = 42\nusage_status = -5\n", "42"),
        ("missing = GPU_GetUsages\n[gpu]\nload = 42\ndynamic_status = -5\n", "0"),
        ("missing = GPU_GetUsages\n[gpu]\nload = 42\ngraphics_domain = no\n", "0"),
    ], ids=["usage-query-missing", "usage-query-fails", "both-fail", "no-graphics-domain"])
    def test_load(self, wine, tmp_path, workdir, text, load):
        tessig = start(wine, tmp_path, workdir, text)
        assert tessig.wait_reports(1)
        assert tessig.stop() == 0
        assert f"\tLoad           {load} %\r\n" in first_report(tessig.output)


class TestStartupFailures:
    @pytest.mark.parametrize("text, message", [
        ("initialize_status = -6\n[gpu]\n", "NvAPIの初期化に失敗しました\n"),
        ("# no GPU at all\n", "NvAPIの初期化に失敗しました\n"),
        ("enum_status = -1\ntcc_status = -1\n[gpu]\n", "NvAPIの初期化に失敗しました\n"),
        ("nvml_location = none\n[gpu]\n", "nvml.dllのロードに失敗しました\n"),
        ("nvml_init_status = 1\n[gpu]\n", "NvMLの初期化に失敗しました\n"),
        ("[gpu]\nname_status = -5\n[gpu]\n", "GPU名を取得できません\n"),
        ("[gpu]\nrepeat = 7\n[gpu]\nname_status = -5\n", "GPU名を取得できません\n"),
        # A count beyond the table, read as negative before it was clamped.
        ("enum_count = 4294967295\n[gpu]\n[gpu]\ntcc = yes\n", "GPU名を取得できません\n"),
    ], ids=["driver", "no-gpu", "enumerations", "nvml-missing", "nvml-init", "name-0", "name-7",
            "count-beyond-the-table"])
    def test_message_and_exit_code_1(self, wine, tmp_path, workdir, text, message):
        code, output = run_to_exit(wine, tmp_path, workdir, text)
        assert code == 1
        assert output.replace("\r\n", "\n") == message
        assert not wine.mutex_exists("Tessig.exe")
        assert (workdir / "log" / "history.csv").exists() is False

    def test_the_system_folder_copy_of_nvml_comes_first(self, wine, tmp_path, workdir):
        # A copy an older driver left in NVSMI refuses the driver that runs.
        tessig = start(wine, tmp_path, workdir, "nvml_refused_at = fixed\n[gpu]\n")
        assert tessig.wait_reports(1)
        assert tessig.stop() == 0

    def test_system_version(self, wine, tmp_path, workdir):
        for version, expected in (("vista", 1), ("win7", None), ("win8", None)):
            wine.set_version("Tessig.exe", version)
            try:
                tessig = start(wine, tmp_path, workdir, "[gpu]\n")
                if expected == 1:
                    assert tessig.finish() == 1
                    assert tessig.output.replace("\r\n", "\n") == "7以降のOSが必要です\n"
                else:
                    assert tessig.wait_reports(1), version
                    assert tessig.stop() == 0
            finally:
                wine.set_version("Tessig.exe", None)

    def test_failure_message_in_light_red(self, wine, tmp_path, workdir):
        wine.scenario = scenario(tmp_path, "initialize_status = -6\n[gpu]\n")
        code, screen = capture_console(wine, 10, workdir)
        assert code == 1
        rows = [row for row in screen if "NvAPI" in row[0]]
        assert len(rows) == 1 and text_attributes(rows[0]) == {12}

    def test_nine_gpus_warn_in_yellow_and_report_eight(self, wine, tmp_path, workdir):
        wine.scenario = scenario(tmp_path, "[gpu]\nrepeat = 8\n[gpu]\nname_status = -5\n")
        code, screen = capture_console(wine, 3, workdir)
        texts = [row[0].rstrip() for row in screen]
        assert texts[:3] == ["ビデオカードが9枚以上存在します", "認識できるビデオカードは8枚までです",
                             "8枚までを認識します"]
        assert all(text_attributes(row) == {14} for row in screen[:3])
        assert text_attributes(screen[3]) == {7}, "back to grey after the warning"
        first = texts.index("=" * 50)
        assert sum(1 for text in texts[:first] if text.endswith(":")) == 8
        names = [c for c in read_call_log(wine.log) if c["function"] == "NvAPI_GPU_GetFullName"]
        assert len(names) == 8, "the ninth name is never asked for"


class TestProbing:
    def test_record_versions_fall_back(self, wine, tmp_path, workdir):
        text = ("[gpu]\nname = Layout two\nclock_layouts = 2 1\n"
                "[gpu]\nname = Oldest P-states and thermal\npstates_layouts = 1\nthermal_layouts = 1\n"
                "base_status = -104\np0_graphics = 999000\n"
                "[gpu]\nname = Refuses everything\nclock_layouts =\nthermal_layouts =\n"
                "pstates_layouts =\nnvml_temperature_status = 3\n")
        tessig = start(wine, tmp_path, workdir, text)
        assert tessig.wait_reports(2)
        assert tessig.stop() == 0
        calls = read_call_log(wine.log)

        def versions(function, gpu):
            return [(c["version"], c["status"]) for c in calls
                    if c["function"] == function and c.get("gpu") == gpu]

        clocks = [c for c in calls if c["function"] == "NvAPI_GPU_GetAllClockFrequencies" and c["gpu"] == "0"]
        assert (clocks[0]["version"], clocks[0]["status"]) == ("0x30108", "-9")
        assert (clocks[1]["version"], clocks[1]["status"]) == ("0x20108", "0")
        assert clocks[1]["time"] - clocks[0]["time"] >= 1, "a pause of at least 1 ms"
        assert {c["version"] for c in clocks[2:]} == {"0x20108"}

        pstates = versions("NvAPI_GPU_GetPstates20", "1")
        assert pstates[:2] == [("0x31CF8", "-9"), ("0x21CF8", "-9")]
        assert set(pstates[2:]) == {("0x11C94", "0")}, "the oldest layout is used without a probe"
        thermal = versions("NvAPI_GPU_GetThermalSettings", "1")
        assert thermal[0] == ("0x20044", "-9") and set(thermal[1:]) == {("0x10044", "0")}

        assert {v for v, _ in versions("NvAPI_GPU_GetAllClockFrequencies", "2")[2:]} == {"0x10108"}
        assert {v for v, _ in versions("NvAPI_GPU_GetThermalSettings", "2")[1:]} == {"0x10044"}
        report = first_report(tessig.output).replace("\r\n", "\n")
        assert "Oldest P-states and thermal:\n\tCurrent        1607 MHz(GRAPHICS), 5005 MHz(MEMORY)\n" \
               "\tBase           999 MHz(GRAPHICS), 5005 MHz(MEMORY)\n" in report
        assert ("Refuses everything:\n"
                "\tCurrent        0 MHz(GRAPHICS), 0 MHz(MEMORY)\n"
                "\tBase           0 MHz(GRAPHICS), 0 MHz(MEMORY)\n"
                "\tBoost          No Support\n"
                "\tLoad           10 %\n"
                "\tTemperature    0\n") in report


class TestStopListener:
    def test_listens_on_loopback_only(self, wine, tmp_path, workdir):
        tessig = start(wine, tmp_path, workdir, "[gpu]\n")
        assert tessig.wait_reports(1)
        assert wait_until(udp_listeners, 10) == ["127.0.0.1:12345"]
        assert tessig.stop() == 0

    def test_other_datagrams_are_ignored(self, wine, tmp_path, workdir):
        tessig = start(wine, tmp_path, workdir, "[gpu]\n")
        assert tessig.wait_reports(1)
        for payload in (b"exit", b"EXIT\r\n", b"EXITS", b""):
            send_datagram(payload)
        seen = tessig.reports()
        assert tessig.wait_reports(seen + 2)
        assert tessig.process.poll() is None, "still running"
        assert tessig.stop(b"EXIT\0abc") == 0

    @pytest.mark.parametrize("payload", [b"EXIT", b"EXIT\0"], ids=["4-bytes", "terminated"])
    def test_stop_word_ends_after_exactly_one_more_report(self, wine, tmp_path, workdir, payload):
        tessig = start(wine, tmp_path, workdir, "[gpu]\n")
        assert tessig.wait_reports(1)  # sent in the pause after the first report
        before = tessig.reports()
        assert tessig.stop(payload) == 0
        assert tessig.reports() == before + 1
        assert tessig.output.endswith(CLOSING)
        assert not wine.mutex_exists("Tessig.exe")

    def test_port_taken_by_another_socket(self, wine, tmp_path, workdir):
        blocker = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        blocker.bind(("0.0.0.0", 12345))
        try:
            tessig = start(wine, tmp_path, workdir, "[gpu]\n")
            assert tessig.wait_reports(1)
            stat = lambda: sum(map(int, open(f"/proc/{tessig.process.pid}/stat").read().rsplit(")", 1)[1].split()[11:13]))
            # Over two more reports, which come as usual.
            before, started = stat(), time.monotonic()
            assert tessig.wait_reports(tessig.reports() + 2)
            ticks = stat() - before
            seconds = time.monotonic() - started
            cpu = ticks / os.sysconf("SC_CLK_TCK") / seconds
            assert cpu < 0.5, f"the listener spins: {cpu:.0%} of a core"
        finally:
            blocker.close()
        assert tessig.stop() == 0  # once the listener, trying again, has the port


class TestHistory:
    def test_three_runs_three_header_lines(self, wine, tmp_path, workdir):
        for _ in range(3):
            tessig = start(wine, tmp_path, workdir, "[gpu]\n")
            assert tessig.wait_reports(1)
            assert tessig.stop() == 0
        assert (workdir / "log" / "history.csv").read_bytes().decode() == HEADER * 3

    def test_a_log_folder_that_is_a_link_is_not_followed(self, wine, tmp_path):
        elsewhere = tmp_path / "elsewhere"
        elsewhere.mkdir()
        work = tmp_path / "linked"
        work.mkdir()
        (work / "log").symlink_to(elsewhere, target_is_directory=True)
        tessig = start(wine, tmp_path, work, "[gpu]\n")
        assert tessig.wait_reports(2)
        assert tessig.stop() == 0
        assert list(elsewhere.iterdir()) == [], "no header written through the link"

    def test_no_log_folder_no_file_reports_run(self, wine, tmp_path):
        bare = tmp_path / "bare"
        bare.mkdir()
        tessig = start(wine, tmp_path, bare, "[gpu]\n")
        assert tessig.wait_reports(2)
        assert tessig.stop() == 0
        assert [p.name for p in bare.iterdir()] == ["Tessig.exe"]
        assert "失敗" not in tessig.output

    def test_second_instance_exits_at_once(self, wine, tmp_path, workdir):
        first = start(wine, tmp_path, workdir, "[gpu]\n")
        assert first.wait_reports(1)
        started = time.monotonic()
        second = RunningTessig(wine, workdir)
        assert second.finish(10) == 0
        assert time.monotonic() - started < 5
        assert second.output == ""
        assert (workdir / "log" / "history.csv").read_bytes().decode() == HEADER
        assert first.process.poll() is None
        assert first.stop() == 0

    def test_working_directory_too_long_for_the_path(self, wine, tmp_path):
        # 244 characters still fit with the 16 of "/log/history.csv"; this is longer.
        folder = tmp_path
        while len(windows_path(folder)) < 236:
            folder = folder / "deep"
        folder = folder / ("x" * (250 - len(windows_path(folder)) - 1))
        (folder / "log").mkdir(parents=True)
        assert 245 <= len(windows_path(folder)) <= 260
        tessig = start(wine, tmp_path, folder, "[gpu]\n")
        assert tessig.wait_reports(1)
        assert tessig.stop() == 0
        assert list((folder / "log").iterdir()) == []
