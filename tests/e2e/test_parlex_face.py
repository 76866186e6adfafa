"""Parlex's face under Wine: the skin as drawn, the rows of present and
absent GPUs, live values, hit-test priority and the skin's clean-up."""

import pytest

from harness import ROOT, wait_until, windows_path
from parlex import (PARLEX, answer_message, bright_pixels, press_background, press_escape, shot_showing,
                    start_parlex, values_lit, wait_message, wait_passes, wait_window, window_shot)
from skin_art import compose

ONE_GPU = "[gpu]\nname = G\n"
FOUR_GPUS = "[gpu]\nname = G\nrepeat = 4\n"


def covered_by_text(x, y):
    if y <= 28 and 70 <= x <= 180:
        return True  # title and version
    for k in range(4):
        top = 34 + 24 * k
        if top - 1 <= y <= top + 17 and (x <= 70 or x >= 110):
            return True  # name and values of a row
    return y >= 124 and x >= 22  # label and edition


def test_face_matches_the_art_where_no_text_covers_it(wine, display, tmp_path, workdir):
    start_parlex(wine, workdir, ONE_GPU, tmp_path)
    rect = wait_window(wine)
    expected = compose()
    compared = sum(1 for y in range(141) for x in range(271) if not covered_by_text(x, y))
    assert compared > 12000
    for attempt in range(2):  # every repaint blends over the last: still the same picture
        assert wait_passes(wine, 2), "readings shown and painted again"
        shot = window_shot(display, rect)
        wrong = [(x, y) for y in range(141) for x in range(271)
                 if not covered_by_text(x, y) and shot.getpixel((x, y)) != expected[y][x]]
        assert not wrong, f"{len(wrong)} pixels differ, first {wrong[:5]}"




@pytest.mark.parametrize("text, lit_rows", [(ONE_GPU, 1), (FOUR_GPUS, 4)], ids=["one", "four"])
def test_rows_of_present_gpus_are_lit_the_others_dim(wine, display, tmp_path, workdir, text,
                                                    lit_rows):
    start_parlex(wine, workdir, text, tmp_path)
    rect = wait_window(wine)
    shot = shot_showing(display, rect, values_lit(lit_rows))
    assert shot, "the rows' values lit"
    for k in range(lit_rows, 4):
        top = 34 + 24 * k
        names = bright_pixels(shot, (0, top, 60, top + 16))
        values = bright_pixels(shot, (120, top, 270, top + 16))
        assert names == 0 and values == 0, f"row {k} dim: '- empty -' and the defaults"
    if lit_rows == 1:
        # "- empty -" is drawn, faintly, in the empty rows.
        faint = shot.crop((0, 58, 60, 74))
        assert len(set(faint.getdata())) > 4


def test_values_change_from_second_to_second(wine, display, tmp_path, workdir):
    text = "[gpu]\nname = G\ngraphics = cycle 1000000 1500000 2000000\n" \
           "temperature = cycle 40 60 80\nload = cycle 5 50 95\n"
    start_parlex(wine, workdir, text, tmp_path)
    rect = wait_window(wine)
    first = window_shot(display, rect).crop((110, 34, 271, 50)).tobytes()
    assert wait_until(lambda: window_shot(display, rect).crop((110, 34, 271, 50)).tobytes() != first, 10)


def test_title_text_wins_the_hit_test_over_the_background(wine, display, tmp_path, workdir):
    start_parlex(wine, workdir, ONE_GPU, tmp_path)
    x, y = wait_window(wine)[:2]
    # A press on the title's anchor hits the text: the window stays.
    display.move(x + 125, y + 0)
    display.press()
    display.move(x + 185, y + 40)
    display.release()
    # A press on the background next to it drags the window by the pointer's
    # travel. Parlex takes input in order: once that move runs, the press on
    # the title has been handled, and it moved nothing.
    press_background(wine, display, (x, y), 60, 20)
    assert wine.window_rect("Parlex", "Parlex")[:2] == (x, y)
    for step in range(1, 6):
        display.move(x + 60 + 16 * step, y + 20 + 10 * step)
    display.release()
    assert wait_until(lambda: wine.window_rect("Parlex", "Parlex")[:2] == (x + 80, y + 50), 5), \
        (x, y, wine.window_rect("Parlex", "Parlex"))


def test_a_skin_folder_holding_another_file_stays(wine, display, tmp_path, workdir):
    (workdir / "skin").mkdir()
    (workdir / "skin" / "mine.txt").write_text("keep me")
    process = start_parlex(wine, workdir, ONE_GPU, tmp_path)
    rect = wait_window(wine)
    press_escape(wine, display, rect)
    assert process.wait(10) == 0
    assert sorted(p.name for p in (workdir / "skin").iterdir()) == ["mine.txt"]


def test_archive_that_cannot_be_written(wine, tmp_path, workdir):
    # Root ignores permission bits, so a folder where the archive must go stands
    # in for a current folder that cannot be written.
    (workdir / "skin" / "imgTemp_").mkdir(parents=True)
    process = start_parlex(wine, workdir, ONE_GPU, tmp_path)
    assert wait_message(wine) == ("アーカイブファイルを作成出来ません\nディスク容量もしくは現在のフォルダが"
                                  "書き込み禁止になっていないか確認して下さい")
    rect = wine.window_rect("Parlex", "Parlex")
    assert rect is None or not rect[4], "nothing is shown"
    assert answer_message(wine, process) == 0


def test_a_skin_folder_that_is_a_link_is_refused(wine, tmp_path, workdir):
    # "skin" a link to another folder (a junction on Windows): nothing is
    # written through it. (A link in the archive's own place is removed on
    # Windows; Wine's DeleteFile removes a link's target instead, so that
    # case is not played here.)
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    (workdir / "skin").symlink_to(elsewhere, target_is_directory=True)
    process = start_parlex(wine, workdir, ONE_GPU, tmp_path)
    assert wait_message(wine) == ("アーカイブファイルを作成出来ません\nディスク容量もしくは現在のフォルダが"
                                  "書き込み禁止になっていないか確認して下さい")
    assert answer_message(wine, process) == 0
    assert list(elsewhere.iterdir()) == []


def test_a_skin_folder_cannot_be_moved_or_replaced_while_parlex_runs(wine, display, tmp_path,
                                                                     workdir):
    # Moved aside, "skin" could be replaced by a link to a folder whose
    # "imgTemp_" is a file that Parlex would then delete at exit.
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    (elsewhere / "imgTemp_").write_text("not Parlex's")
    process = start_parlex(wine, workdir, ONE_GPU, tmp_path)
    rect = wait_window(wine)
    code, out = wine.probe("move", windows_path(workdir / "skin"), windows_path(workdir / "aside"))
    if code == 0:
        (workdir / "skin").symlink_to(elsewhere, target_is_directory=True)
    press_escape(wine, display, rect)
    assert process.wait(10) == 0
    assert out.startswith("refused"), out
    assert (elsewhere / "imgTemp_").read_text() == "not Parlex's"
    assert not (workdir / "skin").exists()


LONG_NAMES = ["NVIDIA GeForce RTX 4070 Ti SUPER", "NVIDIA GeForce RTX 4090 Laptop GPU",
              "NVIDIA RTX 6000 Ada Generation",
              "NVIDIA RTX PRO 6000 Blackwell Workstation Edition"]


def widest_clock_scenario(names):
    return "".join(f"[gpu]\nname = {name}\ngraphics = 9999900\ntemperature = 65\nload = 37\n"
                   for name in names)


def face_with_names(wine, display, tmp_path, workdir, names):
    process = start_parlex(wine, workdir, widest_clock_scenario(names), tmp_path)
    rect = wait_window(wine)
    display.move(5, 5)
    shot = shot_showing(display, rect, values_lit(4))
    assert shot, "readings shown"
    wine.stop(process)
    assert wait_until(lambda: wine.window_rect("Parlex", "Parlex") is None and
                      not wine.mutex_exists("Parlex_SS.exe"), 15)
    return shot


def test_long_gpu_names_stay_out_of_the_clock_column(wine, display, tmp_path, workdir):
    short = face_with_names(wine, display, tmp_path, workdir, ["G"] * 4)
    long = face_with_names(wine, display, tmp_path, workdir, LONG_NAMES)
    rows = [(34 + 24 * k - 1, 34 + 24 * k + 17) for k in range(4)]
    # The clock column begins where the widest clock text lights its first pixel.
    clock_start = min(x for top, bottom in rows for y in range(top, bottom)
                      for x in range(60, 183) if sum(short.getpixel((x, y))) / 3 > 120)
    for k, (top, bottom) in enumerate(rows):
        box = (clock_start - 2, top, 271, bottom)
        assert long.crop(box).tobytes() == short.crop(box).tobytes(), \
            f"row {k}: '{LONG_NAMES[k]}' reaches the clock column"
        assert bright_pixels(long, (0, top, clock_start - 2, bottom)) > \
            2 * bright_pixels(short, (0, top, clock_start - 2, bottom)), "the name is shown"


def font_replacements(wine, drop):
    """Imports the prefix's font replacements, without the Japanese UI font when
    drop is true (as on a Windows that lacks it)."""
    lines = (ROOT / "scripts" / "fonts.reg.txt").read_text(encoding="utf-8").splitlines()
    if drop:
        lines = [line.split("=")[0] + "=-" if "Meiryo" in line or "メイリオ" in line else line
                 for line in lines]
    reg = wine.prefix / "drive_c" / "fonts-test.reg"
    reg.write_bytes(b"\xff\xfe" + ("\r\n".join(lines) + "\r\n").encode("utf-16-le"))
    wine.builtin("regedit", "/S", "C:\\fonts-test.reg")
    reg.unlink()


def test_face_renders_with_the_fallback_font_when_the_ui_font_is_missing(wine, display, tmp_path,
                                                                         workdir):
    font_replacements(wine, drop=True)
    try:
        start_parlex(wine, workdir, ONE_GPU, tmp_path)
        rect = wait_window(wine)
        display.move(5, 5)
        shot = shot_showing(display, rect, values_lit(1))
        assert shot, "the values are drawn"
        assert bright_pixels(shot, (70, 0, 180, 28)) > 40, "the title is drawn"
    finally:
        font_replacements(wine, drop=False)
