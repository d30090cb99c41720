#!/usr/bin/python3
"""Draws the main window's pictures, the hand cursor and the program's icon into
src/resources/pictures/.

The output is committed; the build only reads it. Run this again after changing a drawing:
    tools/draw_pictures.py
Needs Pillow (Debian: python3-pil) and Wine's Tahoma (Debian: fonts-wine). The same inputs
give the same bytes, so an unchanged drawing leaves git clean.

Shapes are drawn at four times their size and reduced, which smooths their edges. Text is
drawn at the final size, where the font's hinting keeps small labels sharp.
"""

import math
import struct
from pathlib import Path

from PIL import Image, ImageDraw, ImageFilter, ImageFont

ROOT = Path(__file__).resolve().parent.parent
OUT = ROOT / "src" / "resources" / "pictures"
FONT_DIR = Path("/usr/share/wine/fonts")

# The window's background and the image list's mask colour: in the icon strip every pixel of
# this exact colour becomes transparent, so icons never use it themselves.
BACKGROUND = (247, 247, 247)
NEAR_BACKGROUND = (246, 246, 246)

SCALE = 4
CELL_W, CELL_H = 44, 30
STRIP_COUNT = 20

INK = (40, 40, 44)
BLUE = (122, 150, 223)  # the window's bottom band
DARK_BLUE = (52, 86, 170)


# --- drawing helpers -------------------------------------------------------------------------


def font(size, bold=False):
    name = "tahomabd.ttf" if bold else "tahoma.ttf"
    return ImageFont.truetype(str(FONT_DIR / name), size)


class Canvas:
    """A transparent picture drawn at SCALE times its size, addressed in final pixels."""

    def __init__(self, w, h):
        self.w, self.h = w, h
        self.img = Image.new("RGBA", (w * SCALE, h * SCALE), (0, 0, 0, 0))
        self.draw = ImageDraw.Draw(self.img)

    @staticmethod
    def s(v):
        return round(v * SCALE)

    def box(self, x0, y0, x1, y1):
        # Coordinates name pixel edges: (0, 0, 4, 4) covers four final pixels.
        return [self.s(x0), self.s(y0), self.s(x1) - 1, self.s(y1) - 1]

    def pts(self, points):
        return [(self.s(x), self.s(y)) for x, y in points]

    def rect(self, x0, y0, x1, y1, fill=None, outline=None, width=1.0, radius=0.0):
        self.draw.rounded_rectangle(self.box(x0, y0, x1, y1), self.s(radius), fill=fill,
                                    outline=outline, width=self.s(width))

    def ellipse(self, x0, y0, x1, y1, fill=None, outline=None, width=1.0):
        self.draw.ellipse(self.box(x0, y0, x1, y1), fill=fill, outline=outline,
                          width=self.s(width))

    def polygon(self, points, fill=None, outline=None, width=1.0):
        self.draw.polygon(self.pts(points), fill=fill, outline=outline, width=self.s(width))

    def line(self, points, fill, width=1.0):
        self.draw.line(self.pts(points), fill=fill, width=self.s(width), joint="curve")

    def arc(self, x0, y0, x1, y1, start, end, fill, width=1.0):
        """Part of an ellipse's outline; angles in degrees, clockwise from three o'clock."""
        self.draw.arc(self.box(x0, y0, x1, y1), start, end, fill=fill, width=self.s(width))

    def gradient_rect(self, x0, y0, x1, y1, top, bottom, radius=0.0):
        """A rounded rectangle filled with a vertical gradient from top to bottom colour."""
        w, h = self.s(x1) - self.s(x0), self.s(y1) - self.s(y0)
        grad = Image.new("RGBA", (w, h))
        gd = ImageDraw.Draw(grad)
        for y in range(h):
            t = y / max(h - 1, 1)
            gd.line([(0, y), (w, y)], fill=mix(top, bottom, t) + (255,))
        mask = Image.new("L", (w, h), 0)
        ImageDraw.Draw(mask).rounded_rectangle([0, 0, w - 1, h - 1], self.s(radius), fill=255)
        self.img.paste(grad, (self.s(x0), self.s(y0)), mask)

    def reduced(self):
        """The picture at its final size, with alpha, averaged from the large drawing."""
        return self.img.convert("RGBa").reduce(SCALE).convert("RGBA")


def mix(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def on_background(rgba):
    """Blends a picture onto the window's background (for pictures that sit on the window)."""
    base = Image.new("RGBA", rgba.size, BACKGROUND + (255,))
    return Image.alpha_composite(base, rgba).convert("RGB")


def on_mask(rgba):
    """Places an icon on the mask colour with a hard silhouette.

    A pixel is either fully the icon's colour or exactly the mask colour: blended edge pixels
    would be kept by the image list and show as a light fringe on a selected (blue) list row.
    """
    out = Image.new("RGB", rgba.size, BACKGROUND)
    src, dst = rgba.load(), out.load()
    for y in range(rgba.height):
        for x in range(rgba.width):
            r, g, b, a = src[x, y]
            if a >= 128:
                # Edge pixels keep their own colour, made opaque; they must not equal the mask.
                c = (r, g, b)
                dst[x, y] = NEAR_BACKGROUND if c == BACKGROUND else c
    return out


def text_centered(img, cx, cy, text, fnt, fill):
    """Draws text on a final-size image, centred on (cx, cy) by its ink."""
    d = ImageDraw.Draw(img)
    x0, y0, x1, y1 = d.textbbox((0, 0), text, font=fnt)
    d.text((round(cx - (x0 + x1) / 2), round(cy - (y0 + y1) / 2)), text, font=fnt, fill=fill)


def avoid_mask(img, box):
    """Turns mask-coloured pixels that text smoothing left in box into a near grey."""
    px = img.load()
    x0, y0, x1, y1 = box
    for y in range(y0, y1):
        for x in range(x0, x1):
            if px[x, y] == BACKGROUND:
                px[x, y] = NEAR_BACKGROUND


# --- key caps ----------------------------------------------------------------------------------

# The key cap's top face, where labels and symbols go (final pixels).
FACE = (5, 2, 39, 23)


def keycap_canvas():
    """A blank key cap filling a 44 x 30 cell: a darker skirt below a lighter top face."""
    c = Canvas(CELL_W, CELL_H)
    c.rect(1, 1, 43, 29, fill=(92, 94, 102), radius=4.5)
    c.gradient_rect(2, 2, 42, 28, (214, 216, 222), (178, 181, 190), radius=3.5)
    x0, y0, x1, y1 = FACE
    c.rect(x0 - 1, y0 - 0.5, x1 + 1, y1 + 1, fill=(150, 153, 162), radius=3.5)
    c.gradient_rect(x0, y0, x1, y1, (255, 255, 255), (232, 234, 238), radius=3)
    return c


def face_centre():
    x0, y0, x1, y1 = FACE
    return (x0 + x1) / 2, (y0 + y1) / 2


def labelled_keycap(lines, on_strip):
    """A key cap with one or two lines of text, for the window and for the icon strip."""
    c = keycap_canvas()
    img = on_mask(c.reduced()) if on_strip else on_background(c.reduced())
    cx, cy = face_centre()
    fnt = font(9 if len(lines) > 1 else 10, bold=True)
    step = 9
    top = cy - step * (len(lines) - 1) / 2
    for i, line in enumerate(lines):
        text_centered(img, cx, top + i * step, line, fnt, INK)
    if on_strip:
        avoid_mask(img, FACE)
    return img


KEY_LABELS = (["Caps", "Lock"], ["Insert"], ["Scr Lk"])


# --- strip icons -----------------------------------------------------------------------------


def icon_key_off():
    """A key cap under a red forbidden sign: the key does nothing."""
    c = keycap_canvas()
    cx, cy = 22, 14
    r = 12
    red = (210, 30, 30)
    c.ellipse(cx - r, cy - r, cx + r, cy + r, outline=red, width=3.2)
    d = (r - 1.6) / math.sqrt(2)
    c.line([(cx - d, cy - d), (cx + d, cy + d)], fill=red, width=3.2)
    return on_mask(c.reduced())


def icon_app_key():
    """A key cap with the menu symbol: a small list with a pointer on it."""
    c = keycap_canvas()
    c.rect(14, 5, 27, 21, fill=(255, 255, 255), outline=INK, width=1.2)
    for y in (8.5, 12, 15.5):
        c.line([(16.5, y), (24.5, y)], fill=(60, 90, 170), width=1.4)
    arrow = [(24, 12), (24, 24), (26.6, 21.4), (28.6, 25.4), (30.4, 24.4), (28.4, 20.6), (32, 20.6)]
    c.polygon(arrow, fill=(255, 255, 255), outline=INK, width=1.0)
    return on_mask(c.reduced())


def four_pane_flag(c, x, y, size):
    """A flag of four coloured panes, slightly waved: stands for the Windows key."""
    colours = [(232, 72, 40), (96, 176, 48), (40, 120, 220), (250, 190, 20)]
    half = size / 2
    gap = size * 0.08
    for i, col in enumerate(colours):
        px = x + (i % 2) * (half + gap / 2)
        py = y + (i // 2) * (half + gap / 2)
        w = half - gap / 2
        skew = size * 0.06
        c.polygon([(px, py + skew), (px + w, py), (px + w, py + w - skew), (px, py + w)],
                  fill=col)


def icon_windows_key(side):
    """A key cap with the four-pane flag and an L or R for the left or right key."""
    c = keycap_canvas()
    four_pane_flag(c, 9, 5.5, 14)
    img = on_mask(c.reduced())
    text_centered(img, 31, 12.5, side, font(12, bold=True), INK)
    avoid_mask(img, FACE)
    return img


def icon_shift():
    """A key cap with the hollow upward shift arrow."""
    c = keycap_canvas()
    arrow = [(22, 4), (32, 14), (26.5, 14), (26.5, 21), (17.5, 21), (17.5, 14), (12, 14)]
    c.polygon(arrow, fill=(255, 255, 255), outline=INK, width=1.6)
    return on_mask(c.reduced())


def icon_tab():
    """A key cap with the tab arrows: right to a bar above, left to a bar below."""
    c = keycap_canvas()
    w = 1.8
    c.line([(12, 8.5), (29, 8.5)], fill=INK, width=w)
    c.polygon([(30.5, 8.5), (25, 4.5), (25, 12.5)], fill=INK)
    c.line([(31.5, 4), (31.5, 13)], fill=INK, width=w)
    c.line([(15, 16.5), (32, 16.5)], fill=INK, width=w)
    c.polygon([(13.5, 16.5), (19, 12.5), (19, 20.5)], fill=INK)
    c.line([(12.5, 12), (12.5, 21)], fill=INK, width=w)
    return on_mask(c.reduced())


def icon_calculator():
    """A pocket calculator: display and a grid of buttons."""
    c = Canvas(CELL_W, CELL_H)
    c.rect(11, 1, 33, 29, fill=(70, 74, 86), radius=2.5)
    c.rect(12, 2, 32, 28, fill=(104, 110, 126), radius=2)
    c.rect(13.5, 3.5, 30.5, 9.5, fill=(196, 220, 190), outline=(40, 50, 40), width=0.8)
    c.rect(22, 5.5, 29, 7.5, fill=(40, 60, 40))
    for row in range(4):
        for col in range(4):
            x = 13.5 + col * 4.4
            y = 11.5 + row * 4.2
            colour = (236, 110, 40) if col == 3 else (240, 240, 242)
            c.rect(x, y, x + 3.4, y + 3.2, fill=colour, radius=0.6)
    return on_mask(c.reduced())


def icon_computer():
    """A monitor with a blue screen on a stand: My Computer."""
    c = Canvas(CELL_W, CELL_H)
    c.polygon([(18, 27), (26, 27), (24.5, 22), (19.5, 22)], fill=(120, 124, 134))
    c.rect(14, 26, 30, 29, fill=(90, 94, 104), radius=1)
    c.rect(8, 1, 36, 23, fill=(74, 78, 90), radius=2)
    c.rect(9, 2, 35, 22, fill=(196, 200, 210), radius=1.5)
    c.gradient_rect(11, 4, 33, 19.5, (70, 140, 230), (30, 80, 180))
    c.rect(12.5, 15.5, 19, 18.5, fill=(70, 170, 60))  # a start-bar touch, desktop-like
    c.ellipse(31, 20, 33, 21.6, fill=(80, 200, 80))
    return on_mask(c.reduced())


def icon_mute():
    """A loudspeaker with a red cross: sound off."""
    c = Canvas(CELL_W, CELL_H)
    body = (70, 76, 92)
    c.rect(6, 9.5, 13, 20.5, fill=body, radius=1)
    c.polygon([(12, 9.5), (23, 1.5), (23, 28.5), (12, 20.5)], fill=body)
    c.polygon([(13.5, 10.9), (21.5, 5), (21.5, 25), (13.5, 19.1)], fill=(150, 158, 178))
    red = (215, 30, 30)
    c.line([(27, 9), (37, 21)], fill=red, width=3.2)
    c.line([(37, 9), (27, 21)], fill=red, width=3.2)
    return on_mask(c.reduced())


def icon_play_pause():
    """Play triangle and pause bars on a round button."""
    c = Canvas(CELL_W, CELL_H)
    c.ellipse(8, 1, 36, 29, fill=(40, 110, 60))
    c.ellipse(9, 2, 35, 28, fill=(70, 170, 90))
    white = (255, 255, 255)
    c.polygon([(13.5, 8), (22, 15), (13.5, 22)], fill=white)
    c.rect(24, 8, 26.6, 22, fill=white)
    c.rect(28.4, 8, 31, 22, fill=white)
    return on_mask(c.reduced())


def icon_home():
    """A house with a red roof: the web home page."""
    c = Canvas(CELL_W, CELL_H)
    c.rect(26, 3, 29.5, 11, fill=(120, 70, 50))  # chimney
    c.rect(12, 13, 32, 28, fill=(240, 226, 190), outline=(90, 70, 50), width=1)
    c.polygon([(6.5, 15), (22, 1.5), (37.5, 15), (34, 15), (22, 5.5), (10, 15)],
              fill=(200, 44, 36))
    c.polygon([(10, 15), (22, 5.5), (34, 15)], fill=(230, 80, 60))
    c.rect(19, 18.5, 25, 28, fill=(130, 80, 50))
    c.rect(27, 17, 30.5, 20.5, fill=(110, 170, 230), outline=(90, 70, 50), width=0.8)
    c.line([(11, 15), (33, 15)], fill=(150, 30, 24), width=1.2)
    return on_mask(c.reduced())


def icon_search():
    """A magnifying glass: web search."""
    c = Canvas(CELL_W, CELL_H)
    c.line([(25.5, 17.5), (33.5, 26.5)], fill=(70, 50, 40), width=4.6)
    c.line([(26, 18), (33, 26)], fill=(130, 90, 60), width=2.6)
    c.ellipse(10, 2, 29, 21, fill=(80, 84, 96))
    c.ellipse(12.2, 4.2, 26.8, 18.8, fill=(190, 220, 245))
    c.ellipse(14, 6, 19.5, 11, fill=(240, 250, 255))
    return on_mask(c.reduced())


def icon_blank_key():
    return on_mask(keycap_canvas().reduced())


def icon_strip():
    """The 20 list icons side by side, in the order of the key option catalogue."""
    icons = [labelled_keycap(lines, on_strip=True) for lines in KEY_LABELS]
    icons += [
        icon_key_off(),
        icon_app_key(),
        icon_windows_key("L"),
        icon_windows_key("R"),
        icon_shift(),
        icon_tab(),
        icon_calculator(),
        icon_computer(),
        icon_mute(),
        icon_play_pause(),
        icon_home(),
        icon_search(),
    ]
    icons += [icon_blank_key() for _ in range(STRIP_COUNT - len(icons))]
    strip = Image.new("RGB", (CELL_W * STRIP_COUNT, CELL_H), BACKGROUND)
    for i, icon in enumerate(icons):
        strip.paste(icon, (i * CELL_W, 0))
    return strip


# --- small pictures of the window --------------------------------------------------------------


def arrow():
    """A 9 x 17 triangle pointing right, from the key cap to its list."""
    c = Canvas(9, 17)
    c.polygon([(0.5, 0.5), (8.5, 8.5), (0.5, 16.5)], fill=BLUE)
    return on_background(c.reduced())


def info_icon():
    """The 16 x 16 information sign in front of a locked row's notice."""
    c = Canvas(16, 16)
    c.ellipse(0, 0, 16, 16, fill=DARK_BLUE)
    c.ellipse(1, 1, 15, 15, fill=(60, 110, 215))
    white = (255, 255, 255)
    c.ellipse(6.6, 2.6, 9.4, 5.4, fill=white)
    c.rect(6.8, 6.5, 9.2, 13, fill=white)
    c.rect(5.8, 6.5, 7, 7.6, fill=white)
    c.rect(5.8, 11.9, 10.2, 13, fill=white)
    return on_background(c.reduced())


def help_picture():
    """The 32 x 32 question mark that opens the help window."""
    c = Canvas(32, 32)
    c.ellipse(0.5, 0.5, 31.5, 31.5, fill=DARK_BLUE)
    c.ellipse(1.5, 1.5, 30.5, 30.5, fill=(86, 124, 220))
    c.ellipse(4, 2.5, 28, 17, fill=(128, 160, 236))  # soft highlight
    c.ellipse(3, 6, 29, 30, fill=(86, 124, 220))
    img = on_background(c.reduced())
    text_centered(img, 16, 16, "?", font(25, bold=True), (255, 255, 255))
    return img


def donate_button(word):
    """A 66 x 38 rounded green button with a heart above the word."""
    c = Canvas(66, 38)
    c.rect(0.5, 0.5, 65.5, 37.5, fill=(30, 110, 50), radius=9)
    c.gradient_rect(1.5, 1.5, 64.5, 36.5, (120, 206, 120), (40, 150, 70), radius=8)
    c.gradient_rect(3, 2.5, 63, 15, (170, 230, 170), (110, 200, 112), radius=6)
    # A heart from two circles and a triangle.
    hx, hy, r = 33, 9, 3.0
    red = (220, 40, 60)
    c.ellipse(hx - 2 * r, hy - r, hx, hy + r, fill=red)
    c.ellipse(hx, hy - r, hx + 2 * r, hy + r, fill=red)
    c.polygon([(hx - 2 * r + 0.25, hy + 0.8), (hx + 2 * r - 0.25, hy + 0.8), (hx, hy + 2.9 * r)],
              fill=red)
    img = on_background(c.reduced())
    text_centered(img, 33.5, 26, word, font(12, bold=True), (20, 70, 30))
    text_centered(img, 33, 25.5, word, font(12, bold=True), (255, 255, 255))
    return img


# --- decoration --------------------------------------------------------------------------------

# Rows of a PC keyboard's main block, key widths in key units.
KEY_ROWS = [
    [1] * 13 + [2],
    [1.5] + [1] * 12 + [1.5],
    [1.75] + [1] * 11 + [2.25],
    [2.25] + [1] * 10 + [2.75],
    [1.25, 1.25, 1.25, 6.25, 1.25, 1.25, 1.25, 1.25],
]
CAPS_ROW, CAPS_KEY = 2, 0


def keyboard_image(unit):
    """A keyboard seen from above (at SCALE) and the centre of its empty CapsLock socket."""
    margin = unit * 0.6
    fkey_gap = unit * 0.5
    w = round(15 * unit + 2 * margin)
    h = round(6 * unit + fkey_gap + 2 * margin)
    kb = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    d = ImageDraw.Draw(kb)
    d.rounded_rectangle([0, 0, w - 1, h - 1], unit * 0.4, fill=(70, 74, 84))
    d.rounded_rectangle([unit * 0.15, unit * 0.15, w - 1 - unit * 0.15, h - 1 - unit * 0.15],
                        unit * 0.3, fill=(110, 116, 128))
    pad = unit * 0.06

    def key(x, y, kw, hole=False):
        box = [x + pad, y + pad, x + kw * unit - pad, y + unit - pad]
        if hole:
            # The empty socket: dark, with the switch's cross-shaped stem.
            d.rectangle(box, fill=(40, 42, 48))
            cx, cy = (box[0] + box[2]) / 2, (box[1] + box[3]) / 2
            s = unit * 0.16
            d.rectangle([cx - s, cy - s / 3, cx + s, cy + s / 3], fill=(150, 150, 150))
            d.rectangle([cx - s / 3, cy - s, cx + s / 3, cy + s], fill=(150, 150, 150))
            return
        d.rounded_rectangle(box, unit * 0.12, fill=(176, 180, 190))
        inset = unit * 0.14
        d.rounded_rectangle([box[0] + inset, box[1] + inset * 0.6, box[2] - inset,
                             box[3] - inset * 1.4], unit * 0.1, fill=(236, 238, 242))

    # Function-key row: Esc, then three groups of four.
    y = margin
    key(margin, y, 1)
    x = margin + 2 * unit
    for _group in range(3):
        for _ in range(4):
            key(x, y, 1)
            x += unit
        x += unit / 2
    y += unit + fkey_gap
    for r, row in enumerate(KEY_ROWS):
        x = margin
        for k, kw in enumerate(row):
            is_caps = r == CAPS_ROW and k == CAPS_KEY
            if is_caps:
                hole = (x + kw * unit / 2, y + unit / 2)
            key(x, y, kw, hole=is_caps)
            x += kw * unit
        y += unit
    return kb, hole


def loose_keycap(unit):
    """The levered-out CapsLock cap, seen from above."""
    w, h = round(1.75 * unit), round(unit)
    cap = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    d = ImageDraw.Draw(cap)
    d.rounded_rectangle([0, 0, w - 1, h - 1], unit * 0.12, fill=(176, 180, 190))
    inset = unit * 0.14
    d.rounded_rectangle([inset, inset * 0.6, w - 1 - inset, h - 1 - inset * 1.4], unit * 0.1,
                        fill=(236, 238, 242))
    return cap


def screwdriver(length):
    """A flat-blade screwdriver lying along the x axis, handle on the left (at SCALE)."""
    h = round(length * 0.16)
    sd = Image.new("RGBA", (length, h), (0, 0, 0, 0))
    d = ImageDraw.Draw(sd)
    mid = h / 2
    handle = length * 0.42
    # Handle: rounded, red with a lighter stripe and grip grooves.
    d.rounded_rectangle([0, 0, handle, h - 1], h * 0.45, fill=(190, 40, 40))
    d.rounded_rectangle([h * 0.2, h * 0.18, handle - h * 0.2, h * 0.4], h * 0.1,
                        fill=(235, 110, 100))
    for i in range(6):
        gx = h * 0.7 + i * (handle - h * 1.4) / 5
        d.line([(gx, h * 0.5), (gx, h * 0.86)], fill=(140, 25, 25), width=max(1, h // 14))
    d.rounded_rectangle([handle - h * 0.1, mid - h * 0.3, handle + h * 0.35, mid + h * 0.3],
                        h * 0.08, fill=(30, 30, 34))
    # Shaft and flat blade.
    shaft = h * 0.16
    tip = length - 1
    d.rectangle([handle + h * 0.3, mid - shaft, tip - h * 0.6, mid + shaft], fill=(170, 176, 186))
    d.rectangle([handle + h * 0.3, mid - shaft, tip - h * 0.6, mid - shaft * 0.3],
                fill=(225, 230, 238))
    d.polygon([(tip - h * 0.6, mid - shaft), (tip, mid - shaft * 1.6), (tip, mid + shaft * 1.6),
               (tip - h * 0.6, mid + shaft)], fill=(150, 156, 168))
    return sd


def rotated_point(size, angle, point, new_size):
    """Where a point of an image lands after Image.rotate(angle, expand=True)."""
    a = math.radians(angle)
    x, y = point[0] - size[0] / 2, point[1] - size[1] / 2
    return (x * math.cos(a) + y * math.sin(a) + new_size[0] / 2,
            -x * math.sin(a) + y * math.cos(a) + new_size[1] / 2)


def place_rotated(big, img, angle, anchor, at, shadow=False):
    """Rotates img and pastes it so that its point anchor lands on at (final pixels).

    With shadow, a soft shadow below and right of it makes it lie on what is under it.
    """
    rot = img.rotate(angle, resample=Image.BICUBIC, expand=True)
    ax, ay = rotated_point(img.size, angle, anchor, rot.size)
    x, y = round(at[0] * SCALE - ax), round(at[1] * SCALE - ay)
    if shadow:
        alpha = rot.getchannel("A").point(lambda a: a * 0.45)
        shade = Image.new("RGBA", rot.size, (0, 0, 0, 0))
        shade.paste((30, 30, 40, 255), mask=alpha)
        shade = shade.filter(ImageFilter.GaussianBlur(1.2 * SCALE))
        big.alpha_composite(shade, (x + round(1.5 * SCALE), y + round(2 * SCALE)))
    big.alpha_composite(rot, (x, y))


def decoration():
    """The 170 x 300 picture on the window's left edge: a pale keyboard with a screwdriver.

    The keyboard's left end shows, with the CapsLock cap levered out of its socket; the cap and
    the screwdriver lie beside it. The window shows only the left 147 pixels, and the help and
    donation pictures cover the top left, so the drawing fades into the background there and
    at the bottom.
    """
    W, H = 170, 300
    big = Image.new("RGBA", (W * SCALE, H * SCALE), BACKGROUND + (255,))
    unit = 16 * SCALE
    kb, hole = keyboard_image(unit)
    place_rotated(big, kb, -62, hole, (58, 128))
    cap = loose_keycap(unit)
    place_rotated(big, cap, 24, (cap.width / 2, cap.height / 2), (24, 206), shadow=True)
    sd = screwdriver(120 * SCALE)
    place_rotated(big, sd, 104, (sd.width, sd.height / 2), (61, 136), shadow=True)
    img = big.convert("RGB").reduce(SCALE)

    # Pale: most of the way towards the background, more so near the covered edges.
    px = img.load()
    for y in range(H):
        for x in range(W):
            fade = 0.6
            fade = max(fade, smooth(1 - (y - 50) / 34))   # top: under the help/donation pictures
            fade = max(fade, smooth((y - 250) / 34))      # bottom: under the maker's line
            fade = max(fade, smooth((x - 116) / 30))      # right: cut off by the window
            px[x, y] = mix(px[x, y], BACKGROUND, min(fade, 1.0))
    return img


def smooth(t):
    t = min(max(t, 0.0), 1.0)
    return t * t * (3 - 2 * t)


# --- hand cursor -------------------------------------------------------------------------------

# X outline (black), o inside (white), . transparent. The tip of the index finger is the hotspot.
HAND = [
    ".....XX..........",
    "....XooX.........",
    "....XooX.........",
    "....XooX.........",
    "....XooX.........",
    "....XooXXX.......",
    "....XooXooXXX....",
    "....XooXooXooXXX.",
    ".XX.XooXooXooXooX",
    "XooXXooXooXooXooX",
    "XoooXoooooooooooX",
    ".XooooooooooooooX",
    "..XoooooooooooooX",
    "..XoooooooooooooX",
    "...XooooooooooooX",
    "...XoooooooooooX.",
    "....XooooooooooX.",
    "....XoooooooooX..",
    ".....XooooooooX..",
    ".....XooooooooX..",
    ".....XXXXXXXXXX..",
]
HAND_AT = (7, 2)  # where the drawing's top-left corner lies in the 32 x 32 cursor
HAND_HOTSPOT = (HAND_AT[0] + 5, HAND_AT[1])


def hand_pixels():
    """32 x 32 rows of 'X', 'o' and '.' with the hand placed in them."""
    rows = [["."] * 32 for _ in range(32)]
    for y, line in enumerate(HAND):
        for x, ch in enumerate(line):
            rows[HAND_AT[1] + y][HAND_AT[0] + x] = ch
    return rows


def hand_cursor():
    """The pointing hand as a monochrome .cur file (shown by every Windows version).

    Per pixel the AND mask keeps the screen (1) or clears it (0) and the XOR mask then sets
    the colour: black = AND 0 / XOR 0, white = AND 0 / XOR 1, transparent = AND 1 / XOR 0.
    """
    size = 32
    rows = hand_pixels()
    stride = size // 8  # 1 bit per pixel; 32 pixels fill whole 32-bit words

    def plane(bit_of):
        data = bytearray()
        for y in reversed(range(size)):  # bottom-up, as in every DIB
            for xb in range(stride):
                byte = 0
                for i in range(8):
                    if bit_of(rows[y][xb * 8 + i]):
                        byte |= 0x80 >> i
                data.append(byte)
        return bytes(data)

    xor = plane(lambda ch: ch == "o")
    and_ = plane(lambda ch: ch == ".")
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 1, 0, len(xor) + len(and_),
                         0, 0, 2, 2)
    palette = struct.pack("<BBBBBBBB", 0, 0, 0, 0, 255, 255, 255, 0)
    image = header + palette + xor + and_
    directory = struct.pack("<HHH", 0, 2, 1)  # reserved, type 2 = cursor, one image
    entry = struct.pack("<BBBBHHII", size, size, 2, 0, HAND_HOTSPOT[0], HAND_HOTSPOT[1],
                        len(image), 6 + 16)
    return directory + entry + image


def hand_preview():
    colours = {"X": (0, 0, 0), "o": (255, 255, 255), ".": BACKGROUND}
    img = Image.new("RGB", (32, 32))
    for y, row in enumerate(hand_pixels()):
        for x, ch in enumerate(row):
            img.putpixel((x, y), colours[ch])
    return img


# --- program icon ----------------------------------------------------------------------------

ICON_SIZES = (16, 32, 48)


def program_icon(size):
    """The program's icon: a key cap with a blue arrow bending over it, a key given a new job.

    Drawn on a 32-unit grid and scaled to size, with transparent surroundings.
    """
    k = size / 32
    c = Canvas(size, size)
    c.rect(1 * k, 2 * k, 31 * k, 31 * k, fill=(64, 68, 80), radius=6 * k)
    c.gradient_rect(2 * k, 3 * k, 30 * k, 30 * k, (206, 210, 218), (150, 155, 168), radius=5 * k)
    c.rect(5 * k, 4 * k, 27 * k, 25.5 * k, fill=(136, 140, 152), radius=4.5 * k)
    c.gradient_rect(5.8 * k, 4.6 * k, 26.2 * k, 24.4 * k, (255, 255, 255), (226, 229, 235),
                    radius=4 * k)
    blue = (36, 92, 200)
    r = 7 * k
    cx, cy = 16 * k, 16 * k
    c.arc(cx - r, cy - r, cx + r, cy + r, 175, 345, fill=blue, width=max(3 * k, 1.4))
    head = 4.2 * k
    c.polygon([(cx + r - head, cy - 1.5 * k), (cx + r + head, cy - 1.5 * k),
               (cx + r, cy + 3.5 * k)], fill=blue)
    return c.reduced()


def icon_file():
    """The icon in every size, each as 8-bit (256 colours) and 32-bit (with alpha) image.

    Bitmap images, not PNG, so that Windows 2000 and XP read them. The AND mask makes a pixel
    transparent where the drawing's alpha is below one half.
    """

    def mask_rows(img):
        w, h = img.size
        stride = (w + 31) // 32 * 4
        alpha = img.getchannel("A").load()
        data = bytearray()
        for y in reversed(range(h)):
            row = bytearray(stride)
            for x in range(w):
                if alpha[x, y] < 128:
                    row[x // 8] |= 0x80 >> (x % 8)
            data += row
        return bytes(data)

    def header(w, h, bits, image_bytes, colours):
        return struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, bits, 0, image_bytes, 0, 0, colours, 0)

    def image_32(img):
        w, h = img.size
        px = img.load()
        data = bytearray()
        for y in reversed(range(h)):
            for x in range(w):
                r, g, b, a = px[x, y]
                data += bytes((b, g, r, a))
        mask = mask_rows(img)
        return header(w, h, 32, len(data) + len(mask), 0) + bytes(data) + mask

    def image_8(img):
        w, h = img.size
        # Opaque colours only: a pixel is either the drawing's colour or masked away.
        solid = Image.new("RGB", img.size, (0, 0, 0))
        solid.paste(img.convert("RGB"), mask=img.getchannel("A").point(lambda a: 255 * (a >= 128)))
        indexed = solid.quantize(colors=256, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
        palette = indexed.getpalette()[: 256 * 3]
        palette += [0] * (256 * 3 - len(palette))
        table = b"".join(bytes((palette[i * 3 + 2], palette[i * 3 + 1], palette[i * 3], 0))
                         for i in range(256))
        stride = (w + 3) // 4 * 4
        px = indexed.load()
        data = bytearray()
        for y in reversed(range(h)):
            row = bytearray(stride)
            for x in range(w):
                row[x] = px[x, y]
            data += row
        mask = mask_rows(img)
        return header(w, h, 8, len(data) + len(mask), 256) + table + bytes(data) + mask

    images = []
    for size in ICON_SIZES:
        drawing = program_icon(size)
        images += [(size, 8, image_8(drawing)), (size, 32, image_32(drawing))]
    offset = 6 + 16 * len(images)
    out = struct.pack("<HHH", 0, 1, len(images))
    for size, bits, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, _, data in images)


def icon_preview():
    """The icon's sizes side by side on the window's background, for the contact sheet."""
    sheet = Image.new("RGB", (sum(ICON_SIZES) + 8 * (len(ICON_SIZES) - 1), max(ICON_SIZES)),
                      BACKGROUND)
    x = 0
    for size in ICON_SIZES:
        sheet.paste(on_background(program_icon(size)), (x, 0))
        x += size + 8
    return sheet


# --- output ----------------------------------------------------------------------------------

# File name, drawing; the resource IDs in pictures.h refer to these names.
PICTURES = [
    ("iconstrip.bmp", icon_strip),
    ("key_capslock.bmp", lambda: labelled_keycap(KEY_LABELS[0], on_strip=False)),
    ("key_insert.bmp", lambda: labelled_keycap(KEY_LABELS[1], on_strip=False)),
    ("key_scrolllock.bmp", lambda: labelled_keycap(KEY_LABELS[2], on_strip=False)),
    ("arrow.bmp", arrow),
    ("info.bmp", info_icon),
    ("help.bmp", help_picture),
    ("donate_de.bmp", lambda: donate_button("Spenden")),
    ("donate_en.bmp", lambda: donate_button("Donate")),
    ("decoration.bmp", decoration),
]


def contact_sheet(pictures):
    """All pictures enlarged on the window's background, each also at its real size below."""
    zoom, gap = 3, 12
    label_font = font(11)
    (strip_name, strip), others = pictures[0], pictures[1:] + [
        ("hand.cur", hand_preview()), ("tavelin.ico", icon_preview())]
    cells = []
    x = gap
    for name, img in others:
        big = img.resize((img.width * zoom, img.height * zoom), Image.NEAREST)
        cells.append((x, name, img, big))
        x += max(big.width, round(label_font.getlength(name))) + gap
    width = max(x, strip.width * 2 + 2 * gap)
    others_y = gap * 3 + 16 + strip.height * 3
    height = others_y + 16 + max(big.height + img.height for _, _, img, big in cells) + 2 * gap
    sheet = Image.new("RGB", (width, height), BACKGROUND)
    d = ImageDraw.Draw(sheet)
    d.text((gap, gap), strip_name + " (2x, then 1x)", font=label_font, fill=INK)
    sheet.paste(strip.resize((strip.width * 2, strip.height * 2), Image.NEAREST), (gap, gap + 16))
    sheet.paste(strip, (gap, gap * 2 + 16 + strip.height * 2))
    for x, name, img, big in cells:
        d.text((x, others_y), name, font=label_font, fill=INK)
        sheet.paste(big, (x, others_y + 16))
        sheet.paste(img, (x, others_y + 16 + big.height + gap // 2))
    return sheet


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    drawn = [(name, draw()) for name, draw in PICTURES]
    for name, img in drawn:
        img.save(OUT / name, format="BMP")
    (OUT / "hand.cur").write_bytes(hand_cursor())
    (OUT / "tavelin.ico").write_bytes(icon_file())
    contact_sheet(drawn).save(OUT / "preview.png", format="PNG", optimize=True)


if __name__ == "__main__":
    main()
