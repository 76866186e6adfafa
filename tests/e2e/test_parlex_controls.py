"""Parlex responds under Wine, to real pointer input: the close button, the
tray button and the notification icon with its menu, the check box, dragging."""

import time

import pytest

from harness import PROBE, read_call_log, wait_until
from parlex import (WM_LBUTTONDOWN, WM_RBUTTONDOWN, click_control, open_menu, point_at,
                    press_background, press_until_seen, press_escape, region, start_parlex, tray_icon_event,
                    wait_passes, wait_window)
from skin_art import LAYERS, compose

ONE_GPU = "[gpu]\nname = G\n"
CLOSE = (240, 10)
TRAY = (208, 10)
CHECK = (13, 131)


@pytest.fixture
def parlex(wine, tmp_path, workdir):
    process = start_parlex(wine, workdir, ONE_GPU, tmp_path)
    rect = wait_window(wine)
    assert rect
    return process, rect


def expected_region(layers, box):
    canvas = compose(layers)
    return [canvas[y][x] for y in range(box[1], box[3]) for x in range(box[0], box[2])]


def shows(display, rect, box, layers, timeout=10):
    """Waits until a box of the window shows the skin's layers."""
    expected = expected_region(layers, box)
    return wait_until(lambda: list(region(display, rect, box).getdata()) == expected, timeout)


def test_close_button_click_ends_parlex(wine, display, workdir, parlex):
    process, rect = parlex
    click_control(display, rect, *CLOSE)
    assert process.wait(10) == 0
    assert not (workdir / "skin").exists()
    assert not wine.mutex_exists("Parlex_SS.exe")


def test_close_press_dragged_off_and_released_outside_does_nothing(wine, display, parlex):
    process, rect = parlex
    point_at(display, rect, *CLOSE)
    display.press()
    box = (222, 0, 271, 22)
    close_pressed = [(n.replace("5-close", "6-close-pressed"), x, y) for n, x, y in LAYERS]
    assert shows(display, rect, box, close_pressed), "pressed look while held"
    display.move(rect[0] + 150, rect[1] + 70)
    assert shows(display, rect, box, LAYERS), "the main image shows again once the pointer is off"
    display.move(rect[0] + 150, rect[1] + 200)  # out of the window
    display.release()
    assert wait_passes(wine, 2), "Parlex goes on"
    assert process.poll() is None
    assert shows(display, rect, box, LAYERS, 0)


def test_tray_hides_and_the_icon_brings_it_back(wine, display, parlex):
    process, rect = parlex
    click_control(display, rect, *TRAY)
    assert wait_until(lambda: not (wine.window_rect("Parlex", "Parlex") or [None] * 5)[4], 5)
    hidden = len(read_call_log(wine.log))
    time.sleep(3.2)  # three seconds of hiding in which no pass may start, not a wait
    late = [c["function"] for c in read_call_log(wine.log)[hidden:] if c["function"].startswith("NvAPI")]
    # At most the end of a pass under way when the window went, which ends
    # with the load.
    assert late.count("NvAPI_GPU_GetUsages") <= 1 and late[-1:] in ([], ["NvAPI_GPU_GetUsages"]), \
        "no NVAPI call while hidden"

    assert tray_icon_event(wine, WM_LBUTTONDOWN)
    assert wait_until(lambda: (wine.window_rect("Parlex", "Parlex") or [None] * 5)[4], 5), "restored on the press"
    assert wait_passes(wine, 1), "sampling again"

    # The tray button works again once the pointer has been seen outside it.
    display.move(rect[0] + 100, rect[1] + 70)
    click_control(display, rect, *TRAY)
    assert wait_until(lambda: not (wine.window_rect("Parlex", "Parlex") or [None] * 5)[4], 5)
    assert process.poll() is None


def choose_from_menu(display, menu, item):
    x, y, w, h = menu
    display.click(x + w // 2, y + h * (1 + 2 * item) // 4)


def test_tray_menu_open_dismiss_and_close(wine, display, workdir, parlex):
    process, rect = parlex
    click_control(display, rect, *TRAY)
    assert wait_until(lambda: not (wine.window_rect("Parlex", "Parlex") or [None] * 5)[4], 5)

    display.move(700, 500)
    assert tray_icon_event(wine, WM_RBUTTONDOWN)
    menu = open_menu(wine)
    assert menu and menu[:2] == (700, 500), "the menu opens at the cursor"
    # Windows closes a menu on a click elsewhere only when its owner is in front.
    assert wine.probe("foreground")[1].startswith("Parlex Parlex")
    display.key("Escape")  # dismissed: nothing changes
    assert wait_until(lambda: wine.probe("menu")[0] != 0, 5)
    # A menu opens again only once Parlex is done with the last one.
    assert tray_icon_event(wine, WM_RBUTTONDOWN)
    assert open_menu(wine)
    assert not (wine.window_rect("Parlex", "Parlex") or [None] * 5)[4] and process.poll() is None
    display.click(300, 300)  # a click elsewhere dismisses it too
    assert wait_until(lambda: wine.probe("menu")[0] != 0, 5)
    assert tray_icon_event(wine, WM_RBUTTONDOWN)
    menu = open_menu(wine)
    assert not (wine.window_rect("Parlex", "Parlex") or [None] * 5)[4] and process.poll() is None
    choose_from_menu(display, menu, 0)  # "open"
    assert wait_until(lambda: (wine.window_rect("Parlex", "Parlex") or [None] * 5)[4], 5)

    display.move(rect[0] + 100, rect[1] + 70)
    click_control(display, rect, *TRAY)
    assert wait_until(lambda: not (wine.window_rect("Parlex", "Parlex") or [None] * 5)[4], 5)
    assert tray_icon_event(wine, WM_RBUTTONDOWN)
    choose_from_menu(display, open_menu(wine), 1)  # "close"
    assert process.wait(10) == 0
    assert not (workdir / "skin").exists()
    assert not wine.mutex_exists("Parlex_SS.exe")


def test_icon_comes_back_when_the_shell_restarts_while_hidden(wine, display, parlex):
    process, rect = parlex
    code, out = wine.probe("new-shell", "1.5")
    assert code == 0 and "add" not in out, "no icon while the window is shown"
    click_control(display, rect, *TRAY)
    assert wait_until(lambda: not (wine.window_rect("Parlex", "Parlex") or [None] * 5)[4], 5)

    # Wine's own shell hands a new notification area the icons it knows; the
    # program's own add comes on top of that, as on Windows it is the only one.
    # Until Wine's shell has the icon, a new one hears of it only once.
    def adds():
        out = wine.probe("new-shell", "2")[1]
        return len([line for line in out.split("\r\n") if line == "add 32770 from Parlex"]) >= 2
    assert wait_until(adds, 30)
    assert process.poll() is None


def test_a_shell_that_refuses_the_icon_gets_the_window_back(wine, display, parlex):
    process, rect = parlex
    shell = wine.start(PROBE, "new-shell", "8", "refuse")
    assert shell.stdout.readline().strip() == b"shell"
    click_control(display, rect, *TRAY)
    assert wait_until(lambda: not (wine.window_rect("Parlex", "Parlex") or [None] * 5)[4], 3)
    assert wait_until(lambda: (wine.window_rect("Parlex", "Parlex") or [None] * 5)[4], 7), "never left without both"
    adds = shell.communicate(timeout=15)[0].decode().count("add 32770 from Parlex")
    assert adds > 1, "tried again before giving up"
    assert process.poll() is None


def jump_and_press(display, rect, rest, target):
    """The pointer rests on one control, then a single jump onto another and an
    immediate press, as a touch tap or a pen gives: no move over the target
    before the press."""
    point_at(display, rect, *rest)
    time.sleep(0.3)  # the pointer rests there, as a hand does before a tap
    press_until_seen(display, rect, *target, press=lambda: display.xdotool(
        "mousemove", rect[0] + target[0], rect[1] + target[1], "mousedown", 1))
    display.release()


@pytest.mark.stop_port  # a ticked box starts the logger, unticked it sends the stop word
@pytest.mark.parametrize("rest, target", [(CLOSE, TRAY), (TRAY, CLOSE), (CLOSE, CHECK)],
                         ids=["tray", "close", "check box"])
def test_a_jump_and_press_onto_a_control_is_never_lost(wine, display, workdir, parlex, rest,
                                                       target):
    process, rect = parlex
    jump_and_press(display, rect, rest, target)
    if target == TRAY:
        assert wait_until(lambda: not (wine.window_rect("Parlex", "Parlex") or [None] * 5)[4], 5)
    elif target == CLOSE:
        assert process.wait(10) == 0
    else:
        box = (7, 125, 21, 139)
        ticked = [(n.replace("7-check-off", "8-check-on"), x, y) for n, x, y in LAYERS]
        display.move(rect[0] + 100, rect[1] + 70)
        assert shows(display, rect, box, ticked)


@pytest.mark.stop_port
def test_check_box_toggles_once_per_press(wine, display, parlex):
    process, rect = parlex
    box = (7, 125, 21, 139)
    ticked = [(n.replace("7-check-off", "8-check-on"), x, y) for n, x, y in LAYERS]
    click_control(display, rect, *CHECK, hold=1.0)  # a long press toggles once
    display.move(rect[0] + 100, rect[1] + 70)
    assert shows(display, rect, box, ticked)
    click_control(display, rect, *CHECK)
    display.move(rect[0] + 100, rect[1] + 70)
    assert shows(display, rect, box, LAYERS)
    assert process.poll() is None


def test_escape_ends_like_the_close_button(wine, display, workdir, parlex):
    process, rect = parlex
    assert (workdir / "skin" / "imgTemp_").stat().st_size > 0
    press_escape(wine, display, rect)
    assert process.wait(10) == 0
    assert not (workdir / "skin").exists()
    assert not wine.mutex_exists("Parlex_SS.exe")
    again = start_parlex(wine, workdir)
    assert wait_window(wine), "a new start succeeds at once"
    wine.stop(again)


def test_a_log_off_cleans_up_like_a_close(wine, workdir, parlex):
    # After WM_ENDSESSION Windows ends the process, without WM_DESTROY.
    process, _ = parlex
    wine.probe("post", "Parlex", "Parlex", 0x16, 1, 0)  # WM_ENDSESSION, the session ends
    assert wait_until(lambda: not (workdir / "skin").exists(), 5)
    wine.stop(process)


def test_dragging_defers_the_repaint(wine, display, tmp_path, workdir):
    cycling = "[gpu]\nname = G\ngraphics = cycle 1000000 1500000 2000000\n" \
              "temperature = cycle 40 60 80\nload = cycle 5 50 95\n"
    process = start_parlex(wine, workdir, cycling, tmp_path)
    rect = wait_window(wine)
    x, y = rect[:2]
    press_background(wine, display, rect, 60, 20)
    for step in range(1, 4):
        display.move(x + 60 + 10 * step, y + 20 + 10 * step)
    assert wait_until(lambda: wine.window_rect("Parlex", "Parlex")[:2] == (x + 30, y + 30), 10)
    moved = wine.window_rect("Parlex", "Parlex")
    values = (110, 34, 271, 50)

    # The values change with every pass; while the window is held, three
    # passes come and go and the face stays as it was.
    held = region(display, moved, values).tobytes()
    assert wait_passes(wine, 3)
    assert region(display, moved, values).tobytes() == held, "no repaint while the window is dragged"
    display.release()
    assert wait_until(lambda: region(display, moved, values).tobytes() != held, 10), \
        "the refresh paints again once it is let go"
    assert process.poll() is None
