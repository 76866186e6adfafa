"""The harness itself: what it reads through the probe, the keys and pointer
it sends and the datagrams it delivers reach Wine as a person's would."""

import time

from harness import PROBE, send_datagram, wait_until


def test_message_box_is_read_back_and_answered_from_the_keyboard(wine, display):
    text = "ビデオカードが5枚以上存在します\n4枚までを認識します"
    box = wine.start(PROBE, "show-message", "HarnessBox", text.replace("\n", "\\n"))
    assert wait_until(lambda: wine.message_text("HarnessBox"), 20) == text

    x, y, width, height, shown, pid = wine.window_rect("HarnessBox")
    assert shown and width > 100 and height > 50
    shot = display.screenshot()
    colors = {shot.getpixel((x + dx, y + dy)) for dx in range(0, width, 7) for dy in range(0, height, 7)}
    assert len(colors) > 3, "the box is drawn on the screen"

    display.click(x + width // 2, y + height // 2)  # focus the box, away from its button
    display.key("Return")
    assert box.wait(10) == 1  # IDOK
    assert wine.message_text("HarnessBox") is None


def test_mutex_of_another_process_is_seen(wine):
    holder = wine.start(PROBE, "hold-mutex", "HarnessMutex", "60")
    assert holder.stdout.readline().strip() == b"holding"
    assert wine.mutex_exists("HarnessMutex")
    wine.stop(holder)
    assert wait_until(lambda: not wine.mutex_exists("HarnessMutex"), 10)


def test_datagram_from_linux_reaches_a_windows_listener(wine):
    receiver = wine.start(PROBE, "receive-udp", "23457")
    assert receiver.stdout.readline().strip() == b"listening"
    send_datagram(b"EXIT\0", port=23457)
    assert receiver.stdout.readline().strip() == b"5 EXIT"
    assert receiver.wait(10) == 0
