#!/usr/bin/env python3
"""The recipe of Parlex's skin and icons. Run it to draw every image in this
folder again (Debian's python3-pil):

    /usr/bin/python3 skin/art/make_art.py

The window is 271 x 141. Colors: a graphite body with a cool blue cast, a
teal accent for the brand and the ticked check box, white text and glyphs.
Shapes with curves or diagonals are drawn four times larger and reduced, so
that their edges are smooth; straight 1-pixel lines are drawn at full size so
that they stay crisp.
"""

import io
import struct
import sys
from pathlib import Path

from PIL import Image, ImageDraw, ImageFilter

HERE = Path(__file__).resolve().parent
WIDTH, HEIGHT = 271, 141
SCALE = 4

ACCENT = (54, 197, 168)
ACCENT_DARK = (26, 120, 104)
BODY_TOP = (38, 45, 60)
BODY_BOTTOM = (20, 24, 33)
TITLE_TOP = (48, 57, 76)
TITLE_BOTTOM = (33, 40, 54)
BORDER = (70, 82, 104)
CLOSE_RED = (196, 43, 28)


def lerp(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def vertical_gradient(draw, box, top, bottom):
    left, upper, right, lower = box
    for y in range(upper, lower):
        t = (y - upper) / max(1, lower - upper - 1)
        draw.line([(left, y), (right - 1, y)], fill=lerp(top, bottom, t))


def smooth(size, painter):
    """Draws with painter(draw, scale) on a canvas four times larger and
    reduces it to size with a good filter."""
    big = Image.new("RGBA", (size[0] * SCALE, size[1] * SCALE), (0, 0, 0, 0))
    painter(ImageDraw.Draw(big), SCALE)
    return big.resize(size, Image.LANCZOS)


def background():
    image = Image.new("RGBA", (WIDTH, HEIGHT), BODY_BOTTOM + (255,))
    draw = ImageDraw.Draw(image)
    vertical_gradient(draw, (0, 0, WIDTH, 30), TITLE_TOP, TITLE_BOTTOM)
    vertical_gradient(draw, (0, 30, WIDTH, 126), BODY_TOP, BODY_BOTTOM)
    vertical_gradient(draw, (0, 126, WIDTH, HEIGHT), (24, 29, 39), (17, 20, 27))
    # A soft teal glow under the title, fading towards the sides.
    for x in range(1, WIDTH - 1):
        t = 1 - abs(x - WIDTH / 2) / (WIDTH / 2)
        draw.point((x, 29), fill=lerp(TITLE_BOTTOM, ACCENT, 0.25 + 0.75 * t))
        draw.point((x, 30), fill=lerp(BODY_TOP, ACCENT_DARK, 0.5 * t))
    draw.line([(1, 126), (WIDTH - 2, 126)], fill=(44, 52, 68))
    # Frame: light outer edge, darker inner line for depth.
    draw.rectangle([0, 0, WIDTH - 1, HEIGHT - 1], outline=BORDER)
    draw.line([(1, 1), (WIDTH - 2, 1)], fill=(72, 84, 108))
    return image


def corner_mark():
    """The brand mark at (5, 5): a small chip with a pulse across it."""
    size = (20, 20)

    def paint(draw, s):
        draw.rounded_rectangle([3 * s, 3 * s, 17 * s - 1, 17 * s - 1], radius=3 * s,
                               fill=ACCENT_DARK + (255,), outline=ACCENT + (255,), width=s)
        for i in range(3):
            p = (6 + 4 * i) * s
            for a, b in (((p, 0), (p + s, 3 * s)), ((p, 17 * s), (p + s, 20 * s - 1)),
                         ((0, p), (3 * s, p + s)), ((17 * s, p), (20 * s - 1, p + s))):
                draw.rectangle([a, b], fill=ACCENT + (230,))
        pulse = [(5, 11), (8, 11), (9.5, 7), (11, 14), (12.5, 9.5), (15, 9.5)]
        draw.line([(x * s, y * s) for x, y in pulse], fill=(255, 255, 255, 255), width=int(1.4 * s),
                  joint="curve")

    return smooth(size, paint)


def rows_frame():
    """Frames the four GPU rows (window rows 34, 58, 82 and 106): a faint band
    behind every other row, hair lines between them and the column guides of
    the clock, temperature and load."""
    image = Image.new("RGBA", (WIDTH, 96), (0, 0, 0, 0))
    draw = ImageDraw.Draw(image)
    for k in range(4):
        top = 24 * k + 2
        if k % 2 == 0:
            draw.rectangle([2, top, WIDTH - 3, top + 21], fill=(255, 255, 255, 9))
        if k:
            for x in range(6, WIDTH - 6):
                t = 1 - abs(x - WIDTH / 2) / (WIDTH / 2)
                draw.point((x, top - 1), fill=(255, 255, 255, round(12 + 26 * t)))
    for x in (189, 229):
        for y in range(5, 94):
            if y % 24 not in (0, 1, 23):
                draw.point((x, y), fill=(255, 255, 255, 22))
    return image


def caption_button(width, glyph, pressed, pressed_fill):
    size = (width, 22)

    def paint(draw, s):
        if pressed:
            draw.rectangle([0, 0, width * s - 1, 22 * s - 1], fill=pressed_fill)
        glyph(draw, s, width)

    return smooth(size, paint)


def tray_glyph(draw, s, width):
    cx = width / 2
    color = (255, 255, 255, 235)
    # An arrow into a tray: the window goes down to the notification area.
    draw.line([(cx * s, 5 * s), (cx * s, 13 * s)], fill=color, width=int(1.3 * s))
    draw.line([((cx - 3.5) * s, 9.5 * s), (cx * s, 13.2 * s), ((cx + 3.5) * s, 9.5 * s)],
              fill=color, width=int(1.3 * s), joint="curve")
    draw.line([((cx - 6) * s, 16.5 * s), ((cx + 6) * s, 16.5 * s)], fill=color, width=int(1.3 * s))


def close_glyph(draw, s, width):
    cx, cy, r = width / 2, 11, 4.5
    color = (255, 255, 255, 240)
    draw.line([((cx - r) * s, (cy - r) * s), ((cx + r) * s, (cy + r) * s)], fill=color,
              width=int(1.3 * s))
    draw.line([((cx - r) * s, (cy + r) * s), ((cx + r) * s, (cy - r) * s)], fill=color,
              width=int(1.3 * s))


def check_box(ticked):
    size = (14, 14)

    def paint(draw, s):
        box = [1 * s, 1 * s, 13 * s - 1, 13 * s - 1]
        if ticked:
            draw.rounded_rectangle(box, radius=2.5 * s, fill=ACCENT + (255,))
            draw.line([(3.8 * s, 7.2 * s), (6 * s, 9.6 * s), (10.4 * s, 4.6 * s)],
                      fill=(255, 255, 255, 255), width=int(1.6 * s), joint="curve")
        else:
            draw.rounded_rectangle(box, radius=2.5 * s, fill=(12, 15, 21, 200),
                                   outline=(255, 255, 255, 175), width=s)

    return smooth(size, paint)


def icon_image():
    """256 x 256: a rounded tile with the chip and pulse of the brand mark."""
    size = (256, 256)

    def paint(draw, s):
        n = 256 * s
        draw.rounded_rectangle([8 * s, 8 * s, n - 8 * s, n - 8 * s], radius=48 * s,
                               fill=(30, 36, 48, 255), outline=BORDER + (255,), width=4 * s)
        draw.rounded_rectangle([60 * s, 60 * s, 196 * s, 196 * s], radius=22 * s,
                               fill=ACCENT_DARK + (255,), outline=ACCENT + (255,), width=8 * s)
        for i in range(4):
            p = (82 + 28 * i) * s
            w = 12 * s
            draw.rounded_rectangle([p, 32 * s, p + w, 56 * s], radius=4 * s, fill=ACCENT + (255,))
            draw.rounded_rectangle([p, 200 * s, p + w, 224 * s], radius=4 * s, fill=ACCENT + (255,))
            draw.rounded_rectangle([32 * s, p, 56 * s, p + w], radius=4 * s, fill=ACCENT + (255,))
            draw.rounded_rectangle([200 * s, p, 224 * s, p + w], radius=4 * s, fill=ACCENT + (255,))
        pulse = [(76, 136), (104, 136), (118, 94), (136, 168), (150, 116), (180, 116)]
        draw.line([(x * s, y * s) for x, y in pulse], fill=(255, 255, 255, 255), width=14 * s,
                  joint="curve")

    image = smooth(size, paint)
    shadow = Image.new("RGBA", size, (0, 0, 0, 0))
    shadow.paste((0, 0, 0, 90), (0, 0), image.split()[3])
    shadow = shadow.filter(ImageFilter.GaussianBlur(4))
    result = Image.new("RGBA", size, (0, 0, 0, 0))
    result.alpha_composite(shadow, (0, 4))
    result.alpha_composite(image)
    return result


# Every size the shell asks for (the tray's 16 px, 20 and 24 at 125 and 150 %,
# 32 and 48 px) is drawn here: one it lacks Windows stretches at run time, and
# a 256 px image cut to 16 px looks jagged.
ICON_SIZES = [16, 20, 24, 32, 48, 256]


def save_icon(image, path):
    """32-bit images of every size, reduced from the 256 x 256 drawing; stored
    as bitmaps so that every Windows version reads them. Each bitmap carries
    its AND mask after the colour bits, as the format asks of 32-bit images
    too: the header gives twice the height for the two, and a reader that
    finds no mask reads whatever follows. A pixel is masked where it is fully
    transparent."""
    frames = []
    for n in ICON_SIZES:
        frame = image.copy()
        frame.thumbnail((n, n), Image.LANCZOS, reducing_gap=None)
        dib = io.BytesIO()
        frame.save(dib, "dib")
        # Rows bottom up, one bit a pixel, each row padded to 32 bits.
        alpha = frame.getchannel("A").transpose(Image.FLIP_TOP_BOTTOM)
        stride = (n + 31) // 32 * 4
        mask = bytearray(stride * n)
        for i, a in enumerate(alpha.getdata()):
            if a == 0:
                y, x = divmod(i, n)
                mask[y * stride + x // 8] |= 0x80 >> (x % 8)
        bits = dib.getvalue()
        frames.append(bits[:8] + struct.pack("<i", 2 * n) + bits[12:] + bytes(mask))
    out = struct.pack("<HHH", 0, 1, len(frames))
    offset = len(out) + 16 * len(frames)
    for n, frame in zip(ICON_SIZES, frames):
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(frame), offset)
        offset += len(frame)
    path.write_bytes(out + b"".join(frames))


def main():
    pieces = {
        "0-background.png": background(),
        "1-corner.png": corner_mark(),
        "2-rows.png": rows_frame(),
        "3-tray.png": caption_button(26, tray_glyph, False, None),
        "4-tray-pressed.png": caption_button(26, tray_glyph, True, (255, 255, 255, 46)),
        "5-close.png": caption_button(49, close_glyph, False, None),
        "6-close-pressed.png": caption_button(49, close_glyph, True, CLOSE_RED + (255,)),
        "7-check-off.png": check_box(False),
        "8-check-on.png": check_box(True),
    }
    # The pack's list names what must be drawn; a piece added there and not
    # here, or drawn here and left off there, stops the script.
    listed = [line.strip() for line in (HERE / "pieces.txt").read_text(encoding="utf-8").splitlines()
              if line.strip() and not line.startswith("#")]
    if sorted(listed) != sorted(pieces):
        sys.exit(f"pieces.txt lists {listed}, this script draws {sorted(pieces)}")
    for name in listed:
        pieces[name].save(HERE / name, optimize=True)
    icon = icon_image()
    icon.save(HERE / "icon-256.png", optimize=True)
    save_icon(icon, HERE / "parlex.ico")


if __name__ == "__main__":
    main()
