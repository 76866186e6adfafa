"""Running Parlex under Wine for the end-to-end tests."""

import functools
import shutil
import time

from harness import PARLEX_TREE, read_call_log, wait_until
from skin_art import LAYERS, art_size, compose

PARLEX = PARLEX_TREE / "monitor" / "Parlex_SS.exe"


def installed(program, folder):
    """The program copied into folder, as a user unpacks it there: each
    program works in its own folder."""
    copy = folder / program.name
    if not copy.exists():
        shutil.copy(program, copy)
    return copy


def start_parlex(wine, folder, scenario_text=None, tmp_path=None, cwd=None):
    """Parlex from its own folder, started there unless cwd names another."""
    if scenario_text is not None:
        path = tmp_path / "scenario.txt"
        path.write_text(scenario_text)
        wine.scenario = path
    return wine.start(installed(PARLEX, folder), cwd=cwd or folder)


def wait_window(wine, timeout=20):
    """The window's (x, y, width, height, visible, pid) once it is shown."""
    return wait_until(lambda: (lambda r: r if r and r[4] else None)(wine.window_rect("Parlex", "Parlex")),
                      timeout)


def wait_message(wine, timeout=20):
    return wait_until(lambda: wine.message_text("Parlex"), timeout)


def answer_message(wine, process=None, timeout=20):
    """Presses the OK button of Parlex's message box."""
    assert wine.press_message("Parlex")
    if process is not None:
        return process.wait(timeout)
    return None


def press_escape(wine, display, rect):
    """Gives the window the keyboard focus with a click on its title, then Esc."""
    x, y = rect[0], rect[1]
    display.click(x + 60, y + 20)
    assert wait_until(lambda: wine.probe("foreground")[1].startswith("Parlex Parlex"), 10)
    display.key("Escape")


WM_TRAYICON = 0x8003
WM_LBUTTONDOWN = 0x201
WM_RBUTTONDOWN = 0x204


def tray_icon_event(wine, mouse_message):
    """What the shell sends when the notification icon is clicked."""
    return wine.probe("post", "Parlex", "Parlex", WM_TRAYICON, 32770, mouse_message)[0] == 0


def open_menu(wine):
    def menu():
        code, out = wine.probe("menu")
        return tuple(map(int, out.split())) if code == 0 else None
    return wait_until(menu, 10)


def region(display, rect, box):
    """A box of the window (left, top, right, bottom) as it is on the screen."""
    x, y = rect[:2]
    return display.screenshot(box=(x + box[0], y + box[1], x + box[2], y + box[3]))


def point_at(display, rect, x, y):
    """Brings the pointer onto a control with more than one move over it, the
    way a hand does."""
    display.move(rect[0] + x + 1, rect[1] + y + 1)
    display.move(rect[0] + x, rect[1] + y)


# Each control's image at rest, and the one it shows once it took a press.
TAKEN = {"5-close.png": "6-close-pressed.png", "3-tray.png": "4-tray-pressed.png",
         "7-check-off.png": "8-check-on.png", "8-check-on.png": "7-check-off.png"}


@functools.cache
def control_box(name):
    x, y = next(layer[1:] for layer in LAYERS if layer[0] == name)
    return x, y, x + art_size(name)[0], y + art_size(name)[1]


@functools.cache
def look(name, image):
    """The pixels of the box of the control drawn from name, showing image."""
    left, top, right, bottom = control_box(name)
    canvas = compose([(image if n == name else n, x, y) for n, x, y in LAYERS])
    return [pixel for row in canvas[top:bottom] for pixel in row[left:right]]


def press_until_seen(display, rect, x, y, press=None):
    """Presses once the control shows a look at rest (the box has two), and
    holds until it shows exactly the look that one takes on a press: Parlex
    takes a press as it handles it, paints that look then and keeps it while
    the button is held there. Any change would not do: a late first paint or
    another view's repaint is one too. press, if given, makes the press
    instead of a plain button-down where the pointer is."""
    name = next(n for n, _, _ in LAYERS if n in TAKEN and control_box(n)[0] <= x < control_box(n)[2]
                and control_box(n)[1] <= y < control_box(n)[3])
    shown = lambda: list(region(display, rect, control_box(name)).getdata())  # noqa: E731
    rests = [image for image in (name, TAKEN[name]) if image in TAKEN]
    rest = wait_until(lambda: next((image for image in rests if shown() == look(name, image)), None), 15)
    assert rest, "the control at rest"
    (press or display.press)()
    assert wait_until(lambda: shown() == look(name, TAKEN[rest]), 15), "the press was taken"


def click_control(display, rect, x, y, hold=0):
    """Press, hold (once the control took the press) and release on a point of
    the window."""
    point_at(display, rect, x, y)
    press_until_seen(display, rect, x, y)
    time.sleep(hold)  # how long the hand holds, not a wait for Parlex
    display.release()


def press_background(wine, display, rect, x, y):
    """Presses the background at a point of the window and waits for the system
    move that the press posts to take hold. The move starts from where the
    pointer is when Parlex handles the press, so travel made before that would
    not count (a person's hand is never that quick; xdotool is)."""
    display.move(rect[0] + x, rect[1] + y)
    display.press()
    assert wait_until(lambda: wine.probe("moving", "Parlex", "Parlex")[1] == "moving", 15)


def sampling_passes(wine):
    """How many sampling passes the driver has seen: each asks for the first
    GPU's load once."""
    return sum(1 for call in read_call_log(wine.log)
               if call["function"] == "NvAPI_GPU_GetUsages" and call.get("gpu") == "0")


def wait_passes(wine, count, timeout=30):
    """Waits for count more sampling passes than have come so far: what Parlex
    does, or must not do, once a second has had that many chances."""
    start = sampling_passes(wine)
    return wait_until(lambda: sampling_passes(wine) >= start + count, timeout)


def window_shot(display, rect):
    x, y, w, h = rect[:4]
    return display.screenshot().crop((x, y, x + w, y + h))


def bright_pixels(shot, box):
    region = shot.crop(box)
    return sum(1 for p in region.getdata() if sum(p) / 3 > 170)


def values_lit(rows):
    """Whether the value columns of the first rows of a shot of the window
    show readings."""
    return lambda shot: all(bright_pixels(shot, (120, 34 + 24 * k, 270, 50 + 24 * k)) > 40
                            for k in range(rows))


def shot_showing(display, rect, condition, timeout=15):
    """A shot of the window once condition holds for it, or None."""
    return wait_until(lambda: (lambda shot: shot if condition(shot) else None)(window_shot(display, rect)),
                      timeout)
