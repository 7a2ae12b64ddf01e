#!/usr/bin/env python3
"""Draws Quenlet's toolbar strip (toolbar.bmp) and program icon (quenlet.ico).

Plain Python 3, no image library: the files are written byte by byte with struct.
Run from anywhere; the images are written next to this script.

toolbar.bmp: 160 x 15, 8 bits per pixel with a colour table, ten 16 x 15 images in toolbar
order. The background is light grey (192, 192, 192), the colour the toolbar maps to the button face.
toolbar_125.bmp, toolbar_150.bmp, toolbar_200.bmp: the same ten images for screens at 125, 150 and
200 % (20 x 19, 24 x 23 and 32 x 30 each), drawn from shapes at that size rather than enlarged
from the 16 x 15 pixels, which are drawn by hand for their size.

quenlet.ico: 16, 24, 32 and 48 pixel images, 32-bit with alpha plus the 1-bit mask.
"""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# ---------------------------------------------------------------------------------------------
# Toolbar strip

BUTTON_WIDTH = 16
BUTTON_HEIGHT = 15

# One letter per colour, used by the pixel sprites below.
PALETTE = {
    ".": (192, 192, 192),  # button face: shows as the toolbar background
    "k": (0, 0, 0),
    "K": (128, 128, 128),
    "s": (160, 160, 164),  # steel, for the gear
    "w": (255, 255, 255),
    "n": (0, 0, 128),
    "b": (0, 80, 208),
    "B": (96, 160, 255),
    "y": (255, 208, 0),
    "g": (0, 128, 0),
    "G": (64, 200, 64),
    "r": (192, 0, 0),
    "R": (255, 96, 96),
}
PALETTE_KEYS = list(PALETTE)


def sprite(*rows):
    width = len(rows[0])
    assert all(len(row) == width for row in rows), rows
    return rows


# A 9-pin D connector seen from the front: black shell, navy insulator, gold pins.
CONNECTOR = sprite(
    "kkkkkkkkkkkkkkk",
    "kKKKKKKKKKKKKKk",
    "kKnnnnnnnnnnnKk",
    "kKnynynynynynKk",
    ".kKnnnnnnnnnKk.",
    ".kKnnynynynnKk.",
    "..kKnnnnnnnKk..",
    "...kkkkkkkkk...",
)

CHECK_BADGE = sprite(
    "......g",
    ".....gG",
    "g...gG.",
    "Gg.gG..",
    ".GgG...",
    "..G....",
)

CROSS_BADGE = sprite(
    "rr...rr",
    "rRr.rRr",
    ".rRrRr.",
    "..rRr..",
    ".rRrRr.",
    "rRr.rRr",
    "rr...rr",
)

GEAR = sprite(
    "....KK....",
    ".KK.KK.KK.",
    ".KKssssKK.",
    "..sskkss..",
    "KKsk..ksKK",
    "KKsk..ksKK",
    "..sskkss..",
    ".KKssssKK.",
    ".KK.KK.KK.",
    "....KK....",
)

LETTER_A = sprite(
    "..k..",
    ".k.k.",
    "k...k",
    "k...k",
    "kkkkk",
    "k...k",
    "k...k",
)

LETTER_B_SMALL = sprite(
    "k...",
    "k...",
    "kkk.",
    "k..k",
    "k..k",
    "k..k",
    "kkk.",
)

DIGIT_0 = sprite(
    ".kk.",
    "k..k",
    "k.kk",
    "k..k",
    "kk.k",
    "k..k",
    ".kk.",
)

LETTER_X_SMALL = sprite(
    "k...k",
    ".k.k.",
    "..k..",
    ".k.k.",
    "k...k",
)

INFO_MARK = sprite(
    "ww",
    "..",
    "ww",
    "ww",
    "ww",
    "ww",
)


class PixelCanvas:
    """A grid of palette letters."""

    def __init__(self, width, height):
        self.width = width
        self.height = height
        self.pixels = [["."] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def stamp(self, rows, left, top):
        """Copies a sprite; its '.' pixels are transparent."""
        for dy, row in enumerate(rows):
            for dx, colour in enumerate(row):
                if colour != ".":
                    self.put(left + dx, top + dy, colour)

    def disc(self, cx, cy, radius, fill, outline):
        for y in range(self.height):
            for x in range(self.width):
                d2 = (x - cx) ** 2 + (y - cy) ** 2
                if d2 <= radius * radius:
                    inner = radius - 1.0
                    self.put(x, y, fill if d2 <= inner * inner else outline)

    def arrow(self, left, top, length, pointing_right, body, edge):
        """A horizontal arrow 7 pixels high: a 3-pixel shaft and a 4-pixel deep head."""
        head = 4
        shaft = length - head
        for i in range(length):
            x = left + i if pointing_right else left + length - 1 - i
            if i < shaft:
                self.put(x, top + 2, edge)
                self.put(x, top + 3, body)
                self.put(x, top + 4, edge)
            else:
                reach = 3 - (i - shaft)  # rows above and below the centre line
                for dy in range(-reach, reach + 1):
                    self.put(x, top + 3 + dy, edge if abs(dy) == reach else body)
        self.put(left + (0 if pointing_right else length - 1), top + 3, edge)

    def blit(self, other, left):
        for y in range(other.height):
            for x in range(other.width):
                self.pixels[y][left + x] = other.pixels[y][x]


def button():
    return PixelCanvas(BUTTON_WIDTH, BUTTON_HEIGHT)


def draw_port_open():
    c = button()
    c.stamp(CONNECTOR, 0, 7)
    c.stamp(CHECK_BADGE, 9, 0)
    return c


def draw_port_close():
    c = button()
    c.stamp(CONNECTOR, 0, 7)
    c.stamp(CROSS_BADGE, 9, 0)
    return c


def draw_port_settings():
    c = button()
    c.stamp(CONNECTOR, 0, 7)
    c.stamp(GEAR, 6, 0)
    return c


def draw_send_settings():
    c = button()
    c.arrow(3, 0, 13, True, "G", "g")
    c.stamp(GEAR, 0, 5)
    return c


def draw_receive_settings():
    c = button()
    c.arrow(0, 0, 13, False, "B", "b")
    c.stamp(GEAR, 6, 5)
    return c


def draw_text_and_arrow(first, second, pointing_right, body, edge):
    c = button()
    c.stamp(first, 2, 0)
    c.stamp(second, 9, 7 - len(second))
    if pointing_right:
        c.arrow(2, 8, 13, True, body, edge)
    else:
        c.arrow(1, 8, 13, False, body, edge)
    return c


def draw_about():
    c = button()
    c.disc(7.5, 7, 7, "b", "n")
    c.stamp(INFO_MARK, 7, 3)
    return c


# Toolbar order: open, close, port settings, send settings, send ASCII, send hex,
# receive settings, receive ASCII, receive hex, about.
def toolbar_images():
    return [
        draw_port_open(),
        draw_port_close(),
        draw_port_settings(),
        draw_send_settings(),
        draw_text_and_arrow(LETTER_A, LETTER_B_SMALL, True, "G", "g"),
        draw_text_and_arrow(DIGIT_0, LETTER_X_SMALL, True, "G", "g"),
        draw_receive_settings(),
        draw_text_and_arrow(LETTER_A, LETTER_B_SMALL, False, "B", "b"),
        draw_text_and_arrow(DIGIT_0, LETTER_X_SMALL, False, "B", "b"),
        draw_about(),
    ]


def bmp_8bit(canvas):
    """An 8-bit bottom-up BMP file with the palette as its colour table."""
    row_size = (canvas.width + 3) & ~3
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE.values())
    colours = len(PALETTE)
    pixels = bytearray()
    for y in reversed(range(canvas.height)):
        row = bytes(PALETTE_KEYS.index(ch) for ch in canvas.pixels[y])
        pixels += row + b"\0" * (row_size - len(row))
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 8, 0, len(pixels),
                       2835, 2835, colours, colours)
    offset = 14 + len(info) + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + table + bytes(pixels)


def make_toolbar():
    images = toolbar_images()
    strip = PixelCanvas(BUTTON_WIDTH * len(images), BUTTON_HEIGHT)
    for index, image in enumerate(images):
        strip.blit(image, index * BUTTON_WIDTH)
    return bmp_8bit(strip)


# ---------------------------------------------------------------------------------------------
# The toolbar images at larger scales: the same pictures as shapes in the coordinates of the
# 16 x 15 images (a pixel there covers [x, x + 1] x [y, y + 1]), filled where the centre of a
# pixel of the larger image falls inside them. No pixel is blended: the background stays the exact
# grey the toolbar maps to the button face, and edges stay sharp.

# Scale in percent -> image size in pixels. The heights are rounded up from 15 x scale.
SCALED_STRIPS = {125: (20, 19), 150: (24, 23), 200: (32, 30)}


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    return ((px - ax - t * dx) ** 2 + (py - ay - t * dy) ** 2) ** 0.5


def inside_polygon(px, py, points):
    inside = False
    for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
        if (ay > py) != (by > py) and px < ax + (py - ay) * (bx - ax) / (by - ay):
            inside = not inside
    return inside


class ScaledCanvas(PixelCanvas):
    """A canvas of width x height pixels showing the 16 x 15 coordinates at scale."""

    def __init__(self, width, height, scale):
        super().__init__(width, height)
        self.scale = scale
        # Lines one pixel wide at 100 % keep a whole number of pixels: outlines 1 up to 150 % and
        # 2 at 200 %, strokes of text and dots 1 at 125 % and 2 from 150 %.
        self.line = max(1, int(scale + 0.25))
        self.stroke = max(1, int(scale + 0.5))

    def snapped(self, x, y):
        """The pixel corner nearest to (x, y): a round shape centred there comes out symmetric."""
        return round(x * self.scale) / self.scale, round(y * self.scale) / self.scale

    def paint(self, colour_at):
        """colour_at(x, y) takes the centre of a pixel in 16 x 15 coordinates; None keeps it."""
        for py in range(self.height):
            for px in range(self.width):
                colour = colour_at((px + 0.5) / self.scale, (py + 0.5) / self.scale)
                if colour is not None:
                    self.put(px, py, colour)

    def polygon(self, points, body, edge=None, bands=1):
        """A filled polygon (body None: left as it is) with an outline band `bands` lines wide."""
        outline = self.line * bands / self.scale

        def colour_at(x, y):
            if not inside_polygon(x, y, points):
                return None
            if edge is None:
                return body
            nearest = min(segment_distance(x, y, *a, *b) for a, b in zip(points, points[1:] + points[:1]))
            return edge if nearest < outline else body
        self.paint(colour_at)

    def strokes(self, lines, width, body, edge=None):
        """Polylines `width` pixels wide, one shape where they cross; edge outlines it."""
        half = width / 2 / self.scale
        outline = half - self.line / self.scale

        def colour_at(x, y):
            nearest = min(segment_distance(x, y, *a, *b)
                          for line in lines for a, b in zip(line, line[1:]))
            if nearest > half:
                return None
            return edge if edge is not None and nearest > outline else body
        self.paint(colour_at)

    def ring(self, cx, cy, inner, outer, colour):
        def colour_at(x, y):
            return colour if inner * inner <= (x - cx) ** 2 + (y - cy) ** 2 <= outer * outer else None
        self.paint(colour_at)

    def rectangle(self, left, top, right, bottom, colour):
        self.paint(lambda x, y: colour if left <= x < right and top <= y < bottom else None)

    def dot(self, cx, cy, colour):
        """A square `stroke` pixels wide centred on (cx, y), as a one-pixel dot is at 100 %."""
        half = self.stroke / 2 / self.scale
        self.rectangle(cx - half, cy - half, cx + half, cy + half, colour)


def scaled_connector(c):
    """The 9-pin connector seen from the front, in the lower part of the image."""
    shell = [(0, 7), (15, 7), (15, 11), (12, 15), (3, 15), (0, 11)]
    # A black outline with a grey band inside it, both one line wide.
    c.polygon(shell, "n", "K", bands=2)
    c.polygon(shell, None, "k")
    for x in (3.5, 5.5, 7.5, 9.5, 11.5):
        c.dot(x, 10.5, "y")
    for x in (5.5, 7.5, 9.5):
        c.dot(x, 12.5, "y")


def scaled_gear(c, left, top):
    cx, cy = c.snapped(left + 5, top + 5)
    tooth = c.line / c.scale  # half the width of a tooth: two lines wide, as at 100 %

    def tooth_or_body(x, y):
        dx, dy = x - cx, y - cy
        r2 = dx * dx + dy * dy
        if r2 < 1.0:
            return None  # the hole shows what lies below
        if r2 <= 2.0 * 2.0:
            return "k"
        if r2 <= 3.3 * 3.3:
            return "s"
        # Eight teeth out to the edge of the 10 x 10 square.
        for ux, uy in ((1, 0), (0, 1), (0.7071, 0.7071), (0.7071, -0.7071)):
            along = dx * ux + dy * uy
            across = -dx * uy + dy * ux
            if abs(across) < tooth and abs(along) <= (5.0 if ux * uy == 0 else 4.6):
                return "K"
        return None
    c.paint(tooth_or_body)


def scaled_arrow(c, left, top, pointing_right, body, edge):
    """The 13-unit arrow of PixelCanvas.arrow: a shaft 3 units high and a head 4 units deep."""
    points = [(0, 2), (9, 2), (9, 0), (13, 3.5), (9, 7), (9, 5), (0, 5)]
    if not pointing_right:
        points = [(13 - x, y) for x, y in points]
    c.polygon([(left + x, top + y) for x, y in points], body, edge)


# Glyphs as polylines through pixel centres of the 16 x 15 images, placed at (0, 0).
SCALED_A = [[(0.5, 6.5), (0.5, 2.5), (2.5, 0.5), (4.5, 2.5), (4.5, 6.5)], [(0.5, 4.5), (4.5, 4.5)]]
SCALED_B_SMALL = [[(0.5, 0.5), (0.5, 6.5), (2.5, 6.5), (3.5, 5.5), (3.5, 3.5), (2.5, 2.5), (0.5, 2.5)]]
SCALED_0 = [[(1.5, 0.5), (2.5, 0.5), (3.5, 1.5), (3.5, 5.5), (2.5, 6.5), (1.5, 6.5), (0.5, 5.5), (0.5, 1.5),
             (1.5, 0.5)], [(1.5, 4.5), (2.5, 2.5)]]
SCALED_X_SMALL = [[(0.5, 0.5), (4.5, 4.5)], [(4.5, 0.5), (0.5, 4.5)]]


def placed(lines, left, top):
    return [[(left + x, top + y) for x, y in line] for line in lines]


def scaled_images(width, height, scale):
    def canvas():
        return ScaledCanvas(width, height, scale)

    def port(badge):
        c = canvas()
        scaled_connector(c)
        badge(c)
        return c

    def check(c):
        line = [(9.5, 2.5), (11.5, 4.5), (15.5, 0.5)]
        c.strokes([[(x, y + 1) for x, y in line]], c.stroke, "G")
        c.strokes([line], c.stroke, "g")

    def cross(c):
        c.strokes([[(9.5, 0.5), (15.5, 6.5)], [(15.5, 0.5), (9.5, 6.5)]], 2.4 * scale, "R", "r")

    def gear_on_port(c):
        scaled_gear(c, 6, 0)

    def settings(pointing_right, body, edge, gear_left):
        c = canvas()
        scaled_arrow(c, 3 if pointing_right else 0, 0, pointing_right, body, edge)
        scaled_gear(c, gear_left, 5)
        return c

    def text_and_arrow(first, second, second_height, pointing_right, body, edge):
        c = canvas()
        c.strokes(placed(first, 2, 0), c.stroke, "k")
        c.strokes(placed(second, 9, 7 - second_height), c.stroke, "k")
        scaled_arrow(c, 2 if pointing_right else 1, 8, pointing_right, body, edge)
        return c

    def about():
        c = canvas()
        cx, cy = c.snapped(7.5, 7)
        c.ring(cx, cy, 0, 7, "n")
        c.ring(cx, cy, 0, 7 - c.line / scale, "b")
        c.rectangle(7, 3, 9, 4, "w")
        c.rectangle(7, 5, 9, 9, "w")
        return c

    return [
        port(check),
        port(cross),
        port(gear_on_port),
        settings(True, "G", "g", 0),
        text_and_arrow(SCALED_A, SCALED_B_SMALL, 7, True, "G", "g"),
        text_and_arrow(SCALED_0, SCALED_X_SMALL, 5, True, "G", "g"),
        settings(False, "B", "b", 6),
        text_and_arrow(SCALED_A, SCALED_B_SMALL, 7, False, "B", "b"),
        text_and_arrow(SCALED_0, SCALED_X_SMALL, 5, False, "B", "b"),
        about(),
    ]


def make_scaled_toolbar(percent):
    width, height = SCALED_STRIPS[percent]
    images = scaled_images(width, height, percent / 100)
    strip = PixelCanvas(width * len(images), height)
    for index, image in enumerate(images):
        strip.blit(image, index * width)
    return bmp_8bit(strip)


# ---------------------------------------------------------------------------------------------
# Program icon: a blue tile with a 9-pin D connector, drawn with 4 x 4 samples per pixel.

SAMPLES = 4


def rounded_box(left, top, right, bottom, radius):
    def inside(x, y):
        if not (left <= x <= right and top <= y <= bottom):
            return False
        cx = min(max(x, left + radius), right - radius)
        cy = min(max(y, top + radius), bottom - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius
    return inside


def trapezoid(top, bottom, top_left, top_right, bottom_left, bottom_right, radius):
    """Trapezoid with rounded corners: the set of points within radius of a shrunken trapezoid."""
    def inside(x, y):
        if not (top <= y <= bottom):
            return False
        t = (y - top) / (bottom - top)
        left = top_left + (bottom_left - top_left) * t
        right = top_right + (bottom_right - top_right) * t
        if not (left <= x <= right):
            return False
        # Round the four corners by cutting away what lies outside a corner circle.
        for cx, cy in ((top_left + radius, top + radius), (top_right - radius, top + radius),
                       (bottom_left + radius * 0.6, bottom - radius),
                       (bottom_right - radius * 0.6, bottom - radius)):
            beyond_x = x < cx if cx < (top_left + top_right) / 2 else x > cx
            beyond_y = y < cy if cy < (top + bottom) / 2 else y > cy
            if beyond_x and beyond_y and (x - cx) ** 2 + (y - cy) ** 2 > radius * radius:
                return False
        return True
    return inside


def disc(cx, cy, radius):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def vertical_gradient(top_colour, bottom_colour):
    def colour(x, y):
        return tuple(round(a + (b - a) * y) for a, b in zip(top_colour, bottom_colour))
    return colour


def solid(rgb):
    return lambda x, y: rgb


def icon_layers(size):
    """Shapes in unit coordinates (0..1), painted in order, each with a colour function."""
    # Smaller sizes get outlines and pins of at least about one pixel.
    edge = max(0.035, 1.0 / size)
    pin = max(0.036, 0.9 / size)
    layers = [
        (rounded_box(0.02, 0.02, 0.98, 0.98, 0.2), solid((18, 58, 110))),
        (rounded_box(0.02 + edge, 0.02 + edge, 0.98 - edge, 0.98 - edge, 0.2 - edge),
         vertical_gradient((70, 150, 235), (25, 85, 170))),
        (trapezoid(0.24, 0.76, 0.08, 0.92, 0.2, 0.8, 0.08), solid((30, 34, 40))),
        (trapezoid(0.24 + edge, 0.76 - edge, 0.08 + edge, 0.92 - edge, 0.2 + edge, 0.8 - edge, 0.07),
         vertical_gradient((235, 238, 242), (150, 158, 170))),
        (trapezoid(0.33, 0.67, 0.17, 0.83, 0.27, 0.73, 0.05), solid((20, 26, 48))),
    ]
    top_pins = [(0.265 + i * 0.1175, 0.43) for i in range(5)]
    bottom_pins = [(0.32 + i * 0.12, 0.57) for i in range(4)]
    for cx, cy in top_pins + bottom_pins:
        layers.append((disc(cx, cy, pin), solid((255, 205, 40))))
    return layers


def render_icon(size):
    """Returns rows of (r, g, b, a), top row first."""
    layers = icon_layers(size)
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]  # premultiplied r, g, b and alpha
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / size
                    y = (py + (sy + 0.5) / SAMPLES) / size
                    colour = None
                    for inside, paint in layers:
                        if inside(x, y):
                            colour = paint(x, y)
                    if colour is not None:
                        for i in range(3):
                            acc[i] += colour[i]
                        acc[3] += 1
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            if alpha == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(round(acc[i] / acc[3]) for i in range(3)) + (round(alpha * 255),))
        rows.append(row)
    return rows


# At 16 pixels the smooth drawing blurs into a smudge, so that size is drawn pixel by pixel.
ICON_16 = sprite(
    ".DDDDDDDDDDDDDD.",
    "DTTTTTTTTTTTTTTD",
    "DTTTTTTTTTTTTTTD",
    "DTTTTTTTTTTTTTTD",
    "DkkkkkkkkkkkkkTD",
    "DkSSSSSSSSSSSkTD",
    "DkSnnnnnnnnnSkTD",
    "DkSynynynynySkTD",
    "DTkSnnnnnnnSkTTD",
    "DTkSynynynySkTTD",
    "DTTkSSSSSSSkTTTD",
    "DTTTkkkkkkkTTTTD",
    "DTTTTTTTTTTTTTTD",
    "DTTTTTTTTTTTTTTD",
    "DTTTTTTTTTTTTTTD",
    ".DDDDDDDDDDDDDD.",
)
ICON_16_COLOURS = {
    "D": (18, 58, 110),
    "k": (30, 34, 40),
    "S": (215, 220, 228),
    "n": (20, 26, 48),
    "y": (255, 205, 40),
}


def draw_icon_16():
    rows = []
    for y, line in enumerate(ICON_16):
        tile = vertical_gradient((70, 150, 235), (25, 85, 170))(0, y / 15)
        row = []
        for ch in line:
            if ch == ".":
                row.append((0, 0, 0, 0))
            else:
                row.append(ICON_16_COLOURS.get(ch, tile) + (255,))
        rows.append(row)
    return rows


def icon_image(size):
    """One icon image: BITMAPINFOHEADER, 32-bit BGRA rows bottom-up, then the AND mask."""
    rows = draw_icon_16() if size == 16 else render_icon(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            colour += struct.pack("<BBBB", b, g, r, a)
    mask_row_size = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_row_size)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)


def make_icon(sizes):
    images = [icon_image(size) for size in sizes]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for size, image in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return directory + entries + b"".join(images)


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as file:
        file.write(data)


def main():
    write("toolbar.bmp", make_toolbar())
    for percent in SCALED_STRIPS:
        write("toolbar_%d.bmp" % percent, make_scaled_toolbar(percent))
    write("quenlet.ico", make_icon([16, 24, 32, 48]))


if __name__ == "__main__":
    main()
