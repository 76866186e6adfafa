"""What the face must look like where no text covers it: the skin images
composed in layout order with the blend rule of the back buffer."""

from harness import ROOT

ART = ROOT / "skin" / "art"

# Image views in drawing order, with their positions in the window.
LAYERS = [("0-background.png", 0, 0), ("1-corner.png", 5, 5), ("5-close.png", 222, 0),
          ("3-tray.png", 196, 0), ("7-check-off.png", 7, 125), ("2-rows.png", 0, 30)]


def blend_rule(d, s, a):
    return (d - int((a / -255.0) * (s - d))) & 0xFF


def compose(layers=LAYERS, width=271, height=141):
    from PIL import Image

    canvas = [[(0, 0, 0)] * width for _ in range(height)]
    for name, x0, y0 in layers:
        image = Image.open(ART / name).convert("RGBA")
        w, h = image.size
        data = image.load()
        for y in range(max(0, y0), min(height, y0 + h)):
            row = canvas[y]
            for x in range(max(0, x0), min(width, x0 + w)):
                r, g, b, a = data[x - x0, y - y0]
                d = row[x]
                row[x] = (blend_rule(d[0], r, a), blend_rule(d[1], g, a), blend_rule(d[2], b, a))
    return canvas


def art_size(name):
    from PIL import Image

    return Image.open(ART / name).size
