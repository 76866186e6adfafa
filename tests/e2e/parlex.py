"""Running Parlex under Wine for the end-to-end tests."""

import shutil
import time

from harness import PARLEX_TREE, wait_until

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


def press_escape(display, rect):
    """Gives the window the keyboard focus with a click on its title, then Esc."""
    x, y = rect[0], rect[1]
    display.click(x + 60, y + 20)
    time.sleep(0.3)
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


def point_at(display, rect, x, y):
    """Brings the pointer onto a control the way a hand does, with more than
    one move over it. Parlex learns that the pointer is over a control from a
    hit test, and a move that leaves another view runs none; a single jump
    from one view straight onto a control would leave the press that follows
    unseen by the control. The pause keeps the two moves from merging."""
    display.move(rect[0] + x + 1, rect[1] + y + 1)
    time.sleep(0.2)
    display.move(rect[0] + x, rect[1] + y)
    time.sleep(0.1)


def click_control(display, rect, x, y, hold=0.15):
    """Press, hold and release on a point of the window."""
    point_at(display, rect, x, y)
    display.press()
    time.sleep(hold)
    display.release()


def press_background(display, rect, x, y):
    """Presses the background at a point of the window and waits for the system
    move that the press posts to take hold. The move starts from where the
    pointer is when Parlex handles the press, so travel made before that would
    not count (a person's hand is never that quick; xdotool is)."""
    display.move(rect[0] + x, rect[1] + y)
    time.sleep(0.1)
    display.press()
    time.sleep(0.4)
