#!/usr/bin/python3
"""Draws every picture of the player's and the updater's skin from code.

Output (below ROOT, default the repository): player/resources/art/ and updater/resources/art/ with
24-bit PNGs and GIF89a animations, and the two resource tables player/resources/skin_table.inc and
updater/resources/skin_table.inc that the programs compile in. The output depends on nothing but this
file and Pillow: no fonts, no other art, no timestamps, so a rerun gives the same pixels.

Transparency is done with key colours (magenta 0xFF00FF for button strips, green 0x00FF00 for the
floating panels' shapes); shapes against a key have hard edges and blend only into their own face.
"""
import argparse
import math
import os
import sys

from PIL import Image, ImageChops, ImageDraw

SS = 4  # supersampling of anti-aliased shapes

MAGENTA = (255, 0, 255)
GREEN = (0, 255, 0)

# One palette for every window: dark graphite surfaces, black video and list areas.
BAND = (42, 45, 50)  # window surface
BAND_TOP = (62, 66, 73)  # top edge light
LANE = (33, 35, 39)  # recessed control lanes
LANE_RIM_TOP = (24, 26, 29)
LANE_RIM_BOTTOM = (54, 58, 64)
WELL = (0, 0, 0)  # video, lists, text displays
WELL_RIM = (22, 24, 27)
WELL_LINE = (30, 32, 36)
TEXT = (222, 226, 232)
GLYPH = (214, 218, 224)
ACCENT = (255, 169, 0)  # selection orange
PANEL_TEXT = (206, 255, 101)
REC = (232, 52, 46)

# Button looks by frame: 0 normal, 1 pressed, 2 hover.
LOOKS = {
    "normal": dict(top=(63, 68, 76), bottom=(52, 56, 63), edge=(84, 90, 99), rim=(19, 20, 23),
                   glyph=GLYPH, rec=REC, accent=ACCENT, dy=0),
    "pressed": dict(top=(29, 31, 35), bottom=(37, 40, 45), edge=(23, 25, 28), rim=(13, 14, 16),
                    glyph=(172, 177, 185), rec=(188, 40, 36), accent=(214, 140, 0), dy=1),
    "hover": dict(top=(84, 90, 100), bottom=(70, 75, 84), edge=(108, 115, 126), rim=(22, 24, 27),
                  glyph=(255, 255, 255), rec=(255, 96, 84), accent=(255, 196, 64), dy=0),
}
STRIP_ORDER = ("normal", "pressed", "hover")

# --------------------------------------------------------------------------------------------------
# Coverage masks


class Pen:
    """Fills shapes given in pixel units into a supersampled coverage mask (sampled at sub-pixel
    centres, so an edge on a whole pixel leaves no fringe)."""

    def __init__(self, w, h, dx=0.0, dy=0.0):
        self.w, self.h = w, h
        self.dx, self.dy = dx, dy
        self.img = Image.new("L", (w * SS, h * SS), 0)
        self.draw = ImageDraw.Draw(self.img)

    def _pt(self, x, y):
        return ((x + self.dx) * SS - 0.5, (y + self.dy) * SS - 0.5)

    def poly(self, pts, v=255):
        self.draw.polygon([self._pt(x, y) for x, y in pts], fill=v)

    def rect(self, x0, y0, x1, y1, v=255):
        self.poly([(x0, y0), (x1, y0), (x1, y1), (x0, y1)], v)

    def frame(self, x0, y0, x1, y1, t=1, v=255):
        self.rect(x0, y0, x1, y0 + t, v)
        self.rect(x0, y1 - t, x1, y1, v)
        self.rect(x0, y0, x0 + t, y1, v)
        self.rect(x1 - t, y0, x1, y1, v)

    def disc(self, cx, cy, r, v=255):
        n = 96
        self.poly([(cx + r * math.cos(2 * math.pi * i / n), cy + r * math.sin(2 * math.pi * i / n))
                   for i in range(n)], v)

    def ring(self, cx, cy, r, t, v=255):
        self.arc(cx, cy, r, t, 0, 360, v)

    def arc(self, cx, cy, r, t, a0, a1, v=255, caps=False):
        """Band of thickness t centred on radius r, from angle a0 to a1 (degrees, clockwise from
        three o'clock, y down)."""
        n = max(8, int(abs(a1 - a0) / 3))
        outer, inner = r + t / 2, r - t / 2
        angles = [math.radians(a0 + (a1 - a0) * i / n) for i in range(n + 1)]
        if abs(a1 - a0) >= 360:
            # A full ring is two half bands so the polygon never crosses itself.
            self.arc(cx, cy, r, t, a0, a0 + 180, v)
            self.arc(cx, cy, r, t, a0 + 180, a0 + 360, v)
            return
        pts = [(cx + outer * math.cos(a), cy + outer * math.sin(a)) for a in angles]
        pts += [(cx + inner * math.cos(a), cy + inner * math.sin(a)) for a in reversed(angles)]
        self.poly(pts, v)
        if caps:
            for a in (angles[0], angles[-1]):
                self.disc(cx + r * math.cos(a), cy + r * math.sin(a), t / 2, v)

    def line(self, x0, y0, x1, y1, t, v=255, caps=False):
        dx, dy = x1 - x0, y1 - y0
        n = math.hypot(dx, dy) or 1.0
        ox, oy = -dy / n * t / 2, dx / n * t / 2
        self.poly([(x0 + ox, y0 + oy), (x1 + ox, y1 + oy), (x1 - ox, y1 - oy), (x0 - ox, y0 - oy)], v)
        if caps:
            self.disc(x0, y0, t / 2, v)
            self.disc(x1, y1, t / 2, v)

    def polyline(self, pts, t, v=255):
        for (x0, y0), (x1, y1) in zip(pts, pts[1:]):
            self.line(x0, y0, x1, y1, t, v, caps=True)

    def coverage(self):
        return self.img.reduce(SS)


def paint(img, cov, colour, clip=None):
    """Lays a colour over img through a coverage mask (and an optional clip mask)."""
    if clip is not None:
        cov = ImageChops.multiply(cov, clip)
    img.paste(Image.composite(Image.new("RGB", img.size, colour), img, cov), (0, 0))


def fill_rect(img, x0, y0, x1, y1, colour):
    if x1 > x0 and y1 > y0:
        img.paste(colour, (x0, y0, x1, y1))


def lerp(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def rrect_inside(x, y, w, h, r):
    """Is the pixel centre (x + .5, y + .5) inside the w x h rectangle with corner radius r?"""
    px, py = x + 0.5, y + 0.5
    cx = min(max(px, r), w - r)
    cy = min(max(py, r), h - r)
    return (px - cx) ** 2 + (py - cy) ** 2 <= r * r + 1e-9


def shape_mask(w, h, r):
    m = Image.new("L", (w, h), 0)
    px = m.load()
    for y in range(h):
        for x in range(w):
            if rrect_inside(x, y, w, h, r):
                px[x, y] = 255
    return m


# --------------------------------------------------------------------------------------------------
# Pixel lettering for the small titles (5 x 7 capitals, drawn on whole pixels)

LETTERS = {
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "B": ["####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."],
    "C": [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    "D": ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "G": [".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".###."],
    "H": ["#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "I": ["###", ".#.", ".#.", ".#.", ".#.", ".#.", "###"],
    "K": ["#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "N": ["#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "S": [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "U": ["#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "V": ["#...#", "#...#", "#...#", "#...#", ".#.#.", ".#.#.", "..#.."],
    "Y": ["#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."],
}


def pixel_map(img, x, y, rows, colour, scale=1):
    """Sets the '#' cells of a picture given as text rows, each cell scale x scale pixels."""
    px = img.load()
    for j, row in enumerate(rows):
        for i, c in enumerate(row):
            if c == "#":
                for sy in range(scale):
                    for sx in range(scale):
                        px[x + i * scale + sx, y + j * scale + sy] = colour


def pixel_text(img, x, y, text, colour, scale=1, tracking=2):
    for ch in text:
        if ch == " ":
            x += 4 * scale
            continue
        pixel_map(img, x, y, LETTERS[ch], colour, scale)
        x += (len(LETTERS[ch][0]) + tracking) * scale
    return x


# --------------------------------------------------------------------------------------------------
# Glyphs. Each draws into a Pen on a w x h face; coordinates are whole pixels where edges are straight.


PIXEL_LOGO = [  # the brand motif for small sizes, 14 x 14, drawn on whole pixels
    ".#..........#.",
    "#..#......#..#",
    "#.#...##...#.#",
    "#.#..####..#.#",
    "#.#...##...#.#",
    "#..#..##..#..#",
    ".#....##....#.",
    "......##......",
    ".....#..#.....",
    ".....####.....",
    "....#....#....",
    "....######....",
    "...#......#...",
    "...#......#...",
]


def pixel_logo(img, x, y, colour=ACCENT, scale=1):
    pixel_map(img, x, y, PIXEL_LOGO, colour, scale)


def g_mast(p, cx, top, h, t):
    """Lattice broadcast mast with a beacon, apex at top, base width about 0.6 h."""
    beacon = top + t * 1.5
    p.disc(cx, beacon, t * 1.5)
    apex = beacon + t * 1.2
    base = top + h
    half = h * 0.30

    def leg(y, side):
        f = (y - apex) / (base - apex)
        return cx + side * (t * 0.4 + (half - t * 0.4) * f)

    for side in (-1, 1):
        p.poly([(leg(apex, side) - t / 2, apex), (leg(apex, side) + t / 2, apex),
                (leg(base, side) + t / 2, base), (leg(base, side) - t / 2, base)])
    ys = [apex + (base - apex) * f for f in (0.42, 0.74)]
    for y in ys:
        p.rect(leg(y, -1), y - t * 0.35, leg(y, 1), y + t * 0.35)
    for side in (-1, 1):
        p.line(leg(ys[0], side), ys[0], leg(ys[1], -side), ys[1], t * 0.6)
        p.line(leg(ys[1], side), ys[1], leg(base - t * 0.3, -side) , base - t * 0.3, t * 0.6)


def g_waves(p, cx, cy, radii, t, spread=40):
    for r in radii:
        p.arc(cx, cy, r, t, -spread, spread)
        p.arc(cx, cy, r, t, 180 - spread, 180 + spread)


def g_play(p, x0, y0, h):
    p.poly([(x0, y0), (x0, y0 + h), (x0 + h * 0.87, y0 + h / 2)])


def g_play_left(p, x1, y0, h):
    p.poly([(x1, y0), (x1, y0 + h), (x1 - h * 0.87, y0 + h / 2)])


def g_pause(p, x0, y0, w, h, bar):
    p.rect(x0, y0, x0 + bar, y0 + h)
    p.rect(x0 + w - bar, y0, x0 + w, y0 + h)


def g_speaker(p, x0, y0, h):
    """Speaker of height h starting at x0, y0 (body 3 px, cone to the right)."""
    body = h * 0.36
    p.rect(x0, y0 + (h - body) / 2, x0 + 3, y0 + (h + body) / 2)
    p.poly([(x0 + 3, y0 + (h - body) / 2), (x0 + 3 + h * 0.42, y0), (x0 + 3 + h * 0.42, y0 + h),
            (x0 + 3, y0 + (h + body) / 2)])


def g_folder(p, x0, y0, w, h):
    tab = max(1.0, round(h * 0.22))
    p.poly([(x0, y0), (x0 + w * 0.4, y0), (x0 + w * 0.4 + tab, y0 + tab), (x0 + w, y0 + tab),
            (x0 + w, y0 + h), (x0, y0 + h)])


def g_cross(p, cx, cy, r, t):
    p.line(cx - r, cy - r, cx + r, cy + r, t)
    p.line(cx - r, cy + r, cx + r, cy - r, t)


# Glyph sets by button. Each takes (pen, look) and draws with pen colours chosen by the caller through
# layers: a function returns a list of (colour key, draw function).


def glyphs_22():
    def speaker(p):
        g_speaker(p, 4, 5, 12)

    def sound(p):
        speaker(p)
        p.arc(10, 11, 4.0, 1.5, -45, 45)
        p.arc(10, 11, 7.0, 1.5, -45, 45)

    def muted(p):
        speaker(p)
        g_cross(p, 16, 11, 3, 1.6)

    def skip_back(p):  # |<  (back)
        p.rect(6, 6, 8, 16)
        g_play_left(p, 16, 6, 10)

    def skip_next(p):  # >|  (forward)
        g_play(p, 6, 6, 10)
        p.rect(14, 6, 16, 16)

    def full_screen(p):
        for (x, y, sx, sy) in ((5, 5, 1, 1), (17, 5, -1, 1), (5, 17, 1, -1), (17, 17, -1, -1)):
            xa, xb = sorted((x, x + 5 * sx))
            ya, yb = sorted((y, y + 2 * sy))
            p.rect(xa, ya, xb, yb)
            xa, xb = sorted((x, x + 2 * sx))
            ya, yb = sorted((y, y + 5 * sy))
            p.rect(xa, ya, xb, yb)

    def stop(p):
        p.rect(7, 7, 15, 15)

    def play(p):
        g_play(p, 8, 6, 10)

    def pause(p):
        g_pause(p, 7, 6, 8, 10, 3)

    def minimise(p):
        p.rect(6, 14, 16, 16)

    def rewind(p):
        g_play_left(p, 11, 6, 10)
        g_play_left(p, 18, 6, 10)

    def forward(p):
        g_play(p, 4, 6, 10)
        g_play(p, 11, 6, 10)

    def open_file(p):
        g_folder(p, 4, 6, 14, 10)

    def up(p):
        p.poly([(5, 14), (17, 14), (11, 7)])

    def down(p):
        p.poly([(5, 8), (17, 8), (11, 15)])

    def rec_start(p):
        p.disc(11, 11, 5.5)

    def rec_ring(p):
        p.ring(11, 11, 6.25, 1.5)

    def rec_square(p):
        p.rect(9, 9, 13, 13)

    return {
        456: [("glyph", sound)],
        455: [("glyph", muted)],
        431: [("glyph", skip_back)],
        430: [("glyph", skip_next)],
        442: [("glyph", full_screen)],
        439: [("glyph", stop)],
        443: [("glyph", play)],
        429: [("glyph", pause)],
        489: [("rec", rec_start)],
        488: [("rec", rec_ring), ("glyph", rec_square)],
        468: [("glyph", minimise)],
        490: [("glyph", up)],
        491: [("glyph", down)],
        504: [("glyph", open_file)],
        408: [("glyph", rewind)],
        407: [("glyph", play)],
        406: [("glyph", pause)],
        409: [("glyph", stop)],
        405: [("glyph", forward)],
    }


def glyphs_16():
    def minimise(p):
        p.rect(4, 10, 12, 12)

    def maximise(p):
        p.frame(4, 4, 12, 12)
        p.rect(4, 4, 12, 6)

    def close(p):
        g_cross(p, 8, 8, 3.5, 1.6)

    return {436: [("glyph", minimise)], 435: [("glyph", maximise)], 434: [("glyph", close)],
            414: [("glyph", close)], 403: [("glyph", close)]}


def glyphs_18():
    def area(p):  # map pin
        p.disc(9, 7.5, 4.5)
        p.poly([(5.2, 9.8), (12.8, 9.8), (9, 15)])

    def area_hole(p):
        p.disc(9, 7.5, 1.7)

    def full(p):  # magnifier
        p.ring(7.5, 7.5, 3.6, 1.8)
        p.line(10.3, 10.3, 14, 14, 2.2, caps=True)

    return {415: [("glyph", area), ("face", area_hole)], 416: [("glyph", full)]}


def glyphs_14():
    def channel_list(p):
        for y in (4, 7, 10):
            p.rect(3, y, 5, y + 1)
            p.rect(6, y, 11, y + 1)

    def play_panel(p):
        g_play(p, 5, 3.5, 7)

    return {510: [("accent", channel_list)], 433: [("glyph", channel_list)], 487: [("glyph", play_panel)]}


# --------------------------------------------------------------------------------------------------
# Buttons


def draw_layers(img, w, h, layers, look, clip, face_colour_at=None):
    for colour_key, fn in layers:
        p = Pen(w, h, dy=look["dy"])
        fn(p)
        if colour_key == "face":
            # Punch the face back in (holes in a glyph), row colour of the face.
            cov = p.coverage()
            face = Image.new("RGB", (w, h))
            for y in range(h):
                fill_rect(face, 0, y, w, y + 1, face_colour_at(y))
            img.paste(Image.composite(face, img, ImageChops.multiply(cov, clip)), (0, 0))
        else:
            paint(img, p.coverage(), look[colour_key], clip)


def keyed_button(w, h, radius, layers, look, key=MAGENTA):
    """One frame: a rounded face with a dark rim, hard edges against the key colour."""
    inside = shape_mask(w, h, radius)
    img = Image.new("RGB", (w, h), key)
    ins = inside.load()
    px = img.load()

    def face_at(y):
        return lerp(look["top"], look["bottom"], y / max(1, h - 1))

    rim = Image.new("L", (w, h), 0)
    rp = rim.load()
    for y in range(h):
        for x in range(w):
            if not ins[x, y]:
                continue
            if any(not (0 <= x + dx < w and 0 <= y + dy < h and ins[x + dx, y + dy])
                   for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))):
                px[x, y] = look["rim"]
                rp[x, y] = 255
            else:
                px[x, y] = face_at(y)
    # A one-pixel light (or, pressed, shadow) line under the top rim.
    for y in range(1, h // 2):
        for x in range(w):
            if ins[x, y] and not rp[x, y] and rp[x, y - 1]:
                px[x, y] = look["edge"]
    inner = ImageChops.subtract(inside, rim)
    draw_layers(img, w, h, layers, look, inner, face_at)
    return img


def strip(frames):
    w, h = frames[0].size
    out = Image.new("RGB", (w * len(frames), h))
    for i, f in enumerate(frames):
        out.paste(f, (i * w, 0))
    return out


def keyed_strip(w, h, radius, layers, key=MAGENTA):
    return strip([keyed_button(w, h, radius, layers, LOOKS[s], key) for s in STRIP_ORDER])


def opaque_button(w, h, radius, layers, look, bg, shape="rrect"):
    """A button drawn on a known background: edges may blend into it (no key)."""
    img = Image.new("RGB", (w, h), bg)
    p = Pen(w, h)
    if shape == "disc":
        p.disc(w / 2, h / 2, min(w, h) / 2 - 0.5)
    else:
        p.poly(rounded_poly(0.5, 0.5, w - 0.5, h - 0.5, radius))
    outer = p.coverage()
    paint(img, outer, look["rim"])
    p = Pen(w, h)
    if shape == "disc":
        p.disc(w / 2, h / 2, min(w, h) / 2 - 1.5)
    else:
        p.poly(rounded_poly(1.5, 1.5, w - 1.5, h - 1.5, max(0.5, radius - 1)))
    inner = p.coverage()
    face = Image.new("RGB", (w, h))
    for y in range(h):
        fill_rect(face, 0, y, w, y + 1, lerp(look["top"], look["bottom"], y / max(1, h - 1)))
    img.paste(Image.composite(face, img, inner), (0, 0))
    draw_layers(img, w, h, layers, look, inner,
                lambda y: lerp(look["top"], look["bottom"], y / max(1, h - 1)))
    return img


def rounded_poly(x0, y0, x1, y1, r, n=12):
    pts = []
    for cx, cy, a0 in ((x1 - r, y0 + r, -90), (x1 - r, y1 - r, 0), (x0 + r, y1 - r, 90), (x0 + r, y0 + r, 180)):
        for i in range(n + 1):
            a = math.radians(a0 + 90 * i / n)
            pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


# --------------------------------------------------------------------------------------------------
# Surfaces


def surface(w, h, top_light=True):
    img = Image.new("RGB", (w, h), BAND)
    if top_light:
        fill_rect(img, 0, 0, w, 1, BAND_TOP)
    return img


def well(img, x0, y0, x1, y1, radius=3, rim=WELL_RIM):
    """Black recess (x1, y1 exclusive) with a one-pixel rim just outside it."""
    p = Pen(img.width, img.height)
    p.poly(rounded_poly(x0 - 1, y0 - 1, x1 + 1, y1 + 1, radius + 1))
    paint(img, p.coverage(), rim)
    p = Pen(img.width, img.height)
    p.poly(rounded_poly(x0, y0, x1, y1, radius))
    paint(img, p.coverage(), WELL)


def lane(img, x0, y0, x1, y1, radius=4):
    """Slightly recessed strip behind a row of buttons."""
    p = Pen(img.width, img.height)
    p.poly(rounded_poly(x0, y0, x1, y1, radius))
    paint(img, p.coverage(), LANE_RIM_BOTTOM)
    p = Pen(img.width, img.height)
    p.poly(rounded_poly(x0, y0, x1, y1 - 1, radius))
    paint(img, p.coverage(), LANE_RIM_TOP)
    p = Pen(img.width, img.height)
    p.poly(rounded_poly(x0, y0 + 1, x1, y1 - 1, radius - 0.5))
    paint(img, p.coverage(), LANE)


def keyed_shape(img, radius, key):
    """Sets every pixel outside the rounded outline to the key colour (hard edge)."""
    m = shape_mask(img.width, img.height, radius)
    out = Image.new("RGB", img.size, key)
    out.paste(img, (0, 0), m)
    return out


def logo(img, x, y, colour=ACCENT):
    pixel_logo(img, x, y, colour)


def title_bitmap(text):
    img = Image.new("RGB", (224, 16), BAND)
    logo(img, 0, 1)
    pixel_text(img, 19, 5, text, TEXT)
    return img


# --------------------------------------------------------------------------------------------------
# Main window frame: one picture of the normal view cut into the nine pieces the window stretches.

MAIN_W, MAIN_H = 346, 380
WELL_TOP = 32


def main_frame(w, h):
    img = surface(w, h)
    well(img, 13, WELL_TOP, w - 13, h - 94, radius=4)
    # Hairline between the text lane and the picture, below every overlay of the top lane.
    fill_rect(img, 13, 51, w - 13, 52, WELL_LINE)
    return img


def frame_pieces():
    img = main_frame(MAIN_W, MAIN_H)
    w, h = MAIN_W, MAIN_H
    return {
        424: img.crop((0, 0, 84, 52)),
        427: img.crop((84, 0, 85, 52)),
        419: img.crop((w - 84, 0, w, 52)),
        423: img.crop((0, 60, 84, 61)),
        426: img.crop((w - 84, 60, w, 61)),
        422: img.crop((0, h - 94, 84, h)),
        420: img.crop((84, h - 94, 85, h)),
        425: img.crop((w - 84, h - 94, w, h)),
    }


def bottom_panel():
    """454: the control deck, 320 x 124, drawn at (X + 31, H - 76); only its top 76 rows show."""
    img = Image.new("RGB", (320, 124), BAND)
    lane(img, 1, 3, 283, 36, radius=5)
    # Group separators between volume, channel, time-shift, recording and view buttons.
    for x in (98, 159, 218, 250):
        fill_rect(img, x, 9, x + 1, 30, LANE_RIM_TOP)
        fill_rect(img, x + 1, 9, x + 2, 30, (40, 43, 48))
    return img


def volume_track(active):
    """457 / 459: 59 x 6 groove, the active one filled."""
    img = Image.new("RGB", (59, 6), LANE)
    fill_rect(img, 0, 1, 59, 5, (14, 15, 17))
    fill_rect(img, 0, 5, 59, 6, LANE_RIM_BOTTOM)
    if active:
        fill_rect(img, 0, 1, 59, 2, (255, 196, 64))
        fill_rect(img, 0, 2, 59, 5, ACCENT)
    return img


def volume_thumb():
    img = Image.new("RGB", (6, 6), (14, 15, 17))
    fill_rect(img, 0, 0, 6, 6, (236, 238, 242))
    fill_rect(img, 0, 5, 6, 6, (160, 166, 174))
    fill_rect(img, 5, 0, 6, 6, (160, 166, 174))
    return img


def level_bars(n):
    img = Image.new("RGB", (22, 12), WELL)
    for i in range(4):
        bh = 3 * (i + 1)
        colour = PANEL_TEXT if i < n else (44, 48, 53)
        fill_rect(img, i * 6, 12 - bh, i * 6 + 4, 12, colour)
    return img


def play_icons():
    """142-146: 31 x 32 round play / pause button drawn onto the bottom band."""

    def play(p):
        g_play(p, 12, 10, 12)

    def pause(p):
        g_pause(p, 10, 10, 11, 12, 4)

    out = {}
    for rid, layers, look in ((142, play, "normal"), (143, play, "hover"), (146, play, "pressed"),
                              (144, pause, "normal"), (145, pause, "hover")):
        out[rid] = opaque_button(31, 32, 0, [("glyph", layers)], LOOKS[look], BAND, shape="disc")
    return out


def small_icons():
    """159-168: 24 x 12 pills for 'open' and 'next in the playlist' on the bottom band."""

    def folder(p):
        g_folder(p, 8, 3, 8, 6)

    def step(p):
        g_play(p, 8, 3, 6)
        p.rect(14, 3, 16, 9)

    out = {}
    for rid, fn, look in ((164, folder, "normal"), (163, folder, "hover"), (159, folder, "pressed"),
                          (167, step, "normal"), (166, step, "hover"), (168, step, "pressed")):
        out[rid] = opaque_button(24, 12, 5.5, [("glyph", fn)], LOOKS[look], BAND)
    return out


# --------------------------------------------------------------------------------------------------
# Channel panel (413), its list's scroll bar and marks


def channel_panel():
    img = surface(346, 175)
    well(img, 15, 34, 276, 160, radius=3)
    lane(img, 294, 36, 324, 156, radius=5)
    fill_rect(img, 299, 94, 319, 95, LANE_RIM_TOP)
    fill_rect(img, 299, 95, 319, 96, (44, 47, 52))
    return keyed_shape(img, 9, GREEN)


def scroll_track():
    img = Image.new("RGB", (9, 4), WELL)
    fill_rect(img, 3, 0, 6, 4, (30, 32, 36))
    return img


THUMB_FACE = (92, 98, 108)
THUMB_EDGE = (40, 43, 48)


def scroll_thumb():
    img = Image.new("RGB", (9, 15), THUMB_FACE)
    fill_rect(img, 0, 0, 1, 15, THUMB_EDGE)
    fill_rect(img, 8, 0, 9, 15, THUMB_EDGE)
    return img


def scroll_mark(up, pressed):
    img = Image.new("RGB", (7, 7), THUMB_FACE)
    fill_rect(img, 0, 0, 1, 7, THUMB_EDGE)
    fill_rect(img, 6, 0, 7, 7, THUMB_EDGE)
    colour = ACCENT if pressed else (206, 211, 218)
    px = img.load()
    rows = ((3,), (2, 3, 4), (1, 2, 3, 4, 5)) if up else ((1, 2, 3, 4, 5), (2, 3, 4), (3,))
    for j, cols in enumerate(rows):
        for i in cols:
            px[i, 2 + j] = colour
    return img


# --------------------------------------------------------------------------------------------------
# Playback panel (404) and its position slider

PLAYBACK_BUTTONS = (72, 117, 162, 207, 252)


def playback_panel():
    img = surface(347, 133)
    well(img, 15, 32, 332, 70, radius=3)
    lane(img, 66, 89, 281, 122, radius=6)
    return keyed_shape(img, 9, GREEN)


def position_track(active):
    img = Image.new("RGB", (313, 11), WELL)
    fill_rect(img, 2, 4, 311, 7, (48, 52, 58))
    if active:
        fill_rect(img, 2, 4, 311, 7, PANEL_TEXT)
    return img


def position_thumb():
    img = Image.new("RGB", (10, 9), WELL)
    p = Pen(10, 9)
    p.poly(rounded_poly(0, 0, 10, 9, 3))
    paint(img, p.coverage(), (236, 238, 242))
    fill_rect(img, 4, 2, 5, 7, (150, 156, 165))
    fill_rect(img, 6, 2, 7, 7, (150, 156, 165))
    return img


# --------------------------------------------------------------------------------------------------
# Playlist window (252): a 324 x 200 picture cut into its frame pieces; the region bitmap (396)

PL_W, PL_H = 324, 200


def playlist_window():
    img = surface(PL_W, PL_H)
    # Text line of the window (static) and the list below it share one black recess.
    well(img, 17, 40, PL_W - 19, PL_H - 19, radius=3)
    fill_rect(img, 17, 64, PL_W - 19, 65, WELL_LINE)
    logo(img, 13, 11)
    pixel_text(img, 32, 15, "PLAYLIST", TEXT)
    return img


def playlist_pieces():
    img = playlist_window()
    w, h = PL_W, PL_H
    return {
        339: img.crop((0, 0, 124, 65)),
        152: img.crop((w - 31, 0, w, 65)),
        148: img.crop((0, h - 19, 124, h)),
        154: img.crop((w - 31, h - 19, w, h)),
        338: img.crop((124, 0, 125, 65)),
        337: img.crop((124, h - 19, 125, h)),
        150: img.crop((0, 100, 31, 101)),
        336: img.crop((w - 31, 100, w, 101)),
        396: keyed_shape(img, 9, MAGENTA),
    }


def header_pieces():
    top, bottom = (98, 104, 113), (80, 86, 95)
    col = Image.new("RGB", (1, 20))
    for y in range(20):
        col.putpixel((0, y), lerp(top, bottom, y / 19))
    col.putpixel((0, 19), (28, 30, 34))
    first = col.copy()
    first.putpixel((0, 19), (28, 30, 34))
    for y in range(19):
        first.putpixel((0, y), (58, 62, 69))
    sep = Image.new("RGB", (2, 12))
    for y in range(12):
        sep.putpixel((0, y), (52, 56, 63))
        sep.putpixel((1, y), (122, 128, 138))
    return {268: col, 259: first, 156: sep}


def playlist_buttons():
    """382/379 and 380/381: single pictures (normal / pressed) in the title row, 15 x 15."""

    def prev_item(p):
        p.rect(4, 4, 6, 11)
        g_play_left(p, 11, 4, 7)

    def next_item(p):
        g_play(p, 4, 4, 7)
        p.rect(9, 4, 11, 11)

    out = {}
    for rid, fn, look in ((382, prev_item, "normal"), (379, prev_item, "pressed"),
                          (380, next_item, "normal"), (381, next_item, "pressed")):
        out[rid] = opaque_button(15, 15, 3, [("glyph", fn)], LOOKS[look], BAND)
    return out


# --------------------------------------------------------------------------------------------------
# Updater (129-131, icon 128)


def updater_panel():
    img = surface(347, 133)
    logo(img, 13, 7)
    pixel_text(img, 32, 11, "UPDATE", TEXT)
    well(img, 13, 28, 334, 70, radius=3)
    return keyed_shape(img, 9, GREEN)


def updater_buttons():
    def download(p):
        p.rect(18, 10, 21, 20)
        p.poly([(13, 19), (26, 19), (19.5, 26)])
        p.rect(11, 27, 28, 29)

    def cancel(p):
        g_cross(p, 19.5, 19.5, 6, 2.6)

    out = {}
    for rid, fn in ((131, download), (130, cancel)):
        out[rid] = strip([opaque_button(38, 38, 0, [("glyph", fn)], LOOKS[s], BAND, shape="disc")
                          for s in STRIP_ORDER])
    return out


# --------------------------------------------------------------------------------------------------
# Icons (114 player, 128 updater): a graphite tile, key magenta outside


ICON_SIZES = (16, 32, 48, 256)


def icon(size, kind):
    s = size
    img = Image.new("RGB", (s, s), BAND)
    for y in range(s):
        fill_rect(img, 0, y, s, y + 1, lerp((62, 66, 74), (30, 32, 36), y / max(1, s - 1)))
    if kind == "player":
        if s < 48:
            k = s // 16
            pixel_logo(img, (s - 14 * k) // 2, (s - 14 * k) // 2 + (1 if k == 1 else 0), ACCENT, k)
        else:
            p = Pen(s, s)
            t = s / 20
            g_mast(p, s / 2, s * 0.22, s * 0.62, t)
            g_waves(p, s / 2, s * 0.22 + t * 1.5, (s * 0.17, s * 0.30), t * 1.2)
            paint(img, p.coverage(), ACCENT)
    else:
        p = Pen(s, s)
        t = max(2, round(s / 8))
        x0 = (s - t) // 2
        p.rect(x0, round(s * 0.16), x0 + t, round(s * 0.56))
        p.poly([(s * 0.22, s * 0.48), (s * 0.78, s * 0.48), (s / 2, s * 0.76)])
        p.rect(round(s * 0.18), round(s * 0.80), s - round(s * 0.18), round(s * 0.80) + max(1, t - 1))
        paint(img, p.coverage(), ACCENT)
    return keyed_shape(img, max(2, s * 0.2), MAGENTA)


# --------------------------------------------------------------------------------------------------
# Splash (516): wordmark, broadcast motif, a light plate for the version label


def wordmark(p, x, base, xh, t):
    """'Tevalo' in geometric strokes; x-height xh, stroke t. Returns the end x."""
    r = xh / 2
    cap = xh * 1.42
    # T
    p.rect(x, base - cap, x + xh * 1.05, base - cap + t)
    p.rect(x + xh * 0.525 - t / 2, base - cap, x + xh * 0.525 + t / 2, base)
    x += xh * 1.05 + t * 0.55
    # e
    cx, cy = x + r, base - r
    p.arc(cx, cy, r - t / 2, t, 32, 360)
    p.rect(x + t * 0.2, cy - t / 2, x + 2 * r - t * 0.2, cy + t / 2)
    x += 2 * r + t * 0.9
    # v
    p.poly([(x, base - xh), (x + t * 1.15, base - xh), (x + r + t * 0.1, base - t * 1.5),
            (x + 2 * r - t * 1.15 + t * 0.2, base - xh), (x + 2 * r + t * 0.2, base - xh),
            (x + r + t * 0.6, base), (x + r - t * 0.4, base)])
    x += 2 * r + t * 1.0
    # a
    cx, cy = x + r, base - r
    p.ring(cx, cy, r - t / 2, t)
    p.rect(x + 2 * r - t, base - xh, x + 2 * r, base)
    x += 2 * r + t * 1.0
    # l
    p.rect(x, base - cap, x + t, base)
    x += t + t * 1.0
    # o
    cx, cy = x + r, base - r
    p.ring(cx, cy, r - t / 2, t)
    return x + 2 * r


def splash():
    w, h = 640, 360
    img = Image.new("RGB", (w, h))
    for y in range(h):
        fill_rect(img, 0, y, w, y + 1, lerp((44, 47, 53), (18, 19, 22), y / (h - 1)))
    # Waves from a mast at the right: concentric arcs fading outwards.
    mx, my = 548, 132
    for k in range(7):
        p = Pen(w, h)
        r = 34 + k * 30
        p.arc(mx, my, r, 5, 205, 335)
        shade = lerp((120, 86, 20), (42, 44, 50), k / 6)
        paint(img, p.coverage(), shade)
    p = Pen(w, h)
    g_mast(p, mx, my - 12, 190, 8)
    paint(img, p.coverage(), ACCENT)
    # Wordmark.
    p = Pen(w, h)
    end = wordmark(p, 56, 214, 64, 13)
    paint(img, p.coverage(), (236, 238, 242))
    fill_rect(img, 58, 240, int(end), 243, ACCENT)
    pixel_text(img, 58, 258, "ONE SEG TELEVISION", (150, 156, 165), scale=2, tracking=2)
    # Plate for the version label drawn at (560, 20)-(620, 40) in black.
    p = Pen(w, h)
    p.poly(rounded_poly(556, 18, 624, 42, 5))
    paint(img, p.coverage(), (222, 226, 231))
    return img


# --------------------------------------------------------------------------------------------------
# Animations (120 x 75, full-canvas frames on black)

GIF_W, GIF_H = 120, 75


def gif_frame():
    return Image.new("RGB", (GIF_W, GIF_H), WELL)


def no_signal_frames():
    grey, dim = (150, 156, 165), (52, 56, 62)
    frames = []
    for waves_on in (True, False):
        img = gif_frame()
        p = Pen(GIF_W, GIF_H)
        g_mast(p, 60, 16, 48, 3)
        paint(img, p.coverage(), grey)
        p = Pen(GIF_W, GIF_H)
        g_waves(p, 60, 20.5, (12, 21), 3, spread=36)
        paint(img, p.coverage(), grey if waves_on else dim)
        p = Pen(GIF_W, GIF_H)
        p.line(38, 12, 82, 64, 9, caps=True)
        paint(img, p.coverage(), WELL)
        p = Pen(GIF_W, GIF_H)
        p.line(38, 12, 82, 64, 4.5, caps=True)
        paint(img, p.coverage(), ACCENT)
        frames.append(img)
    return frames


def search_frames():
    """A tuning scale with the needle sweeping across it."""
    frames = []
    for i in range(6):
        img = gif_frame()
        p = Pen(GIF_W, GIF_H)
        p.rect(14, 50, 106, 52)
        for k in range(12):
            x = 16 + k * 8
            p.rect(x, 42 if k % 3 == 0 else 45, x + 2, 50)
        paint(img, p.coverage(), (110, 116, 126))
        p = Pen(GIF_W, GIF_H)
        x = 20 + i * 16
        p.rect(x, 18, x + 3, 58)
        p.poly([(x - 4, 14), (x + 7, 14), (x + 1.5, 20)])
        paint(img, p.coverage(), ACCENT)
        p = Pen(GIF_W, GIF_H)
        for r in (6, 11):
            p.arc(x + 1.5, 30, r, 2, -40, 40)
            p.arc(x + 1.5, 30, r, 2, 140, 220)
        paint(img, p.coverage(), (150, 156, 165))
        frames.append(img)
    return frames


def channel_change_frames():
    """A screen with a ring of eleven dots: still first, then the light runs round."""
    frames = []
    n = 11
    for i in range(12):
        img = gif_frame()
        p = Pen(GIF_W, GIF_H)
        p.poly(rounded_poly(28, 8, 92, 56, 6))
        paint(img, p.coverage(), (110, 116, 126))
        p = Pen(GIF_W, GIF_H)
        p.poly(rounded_poly(31, 11, 89, 53, 4))
        paint(img, p.coverage(), WELL)
        p = Pen(GIF_W, GIF_H)
        p.rect(52, 58, 68, 61)
        p.rect(44, 61, 76, 64)
        paint(img, p.coverage(), (110, 116, 126))
        for k in range(n):
            a = math.radians(-90 + 360 * k / n)
            cx, cy = 60 + 13 * math.cos(a), 32 + 13 * math.sin(a)
            if i == 0:
                colour = (70, 75, 83)
            else:
                lag = (i - 1 - k) % n
                colour = ACCENT if lag == 0 else lerp((200, 134, 10), (70, 75, 83), min(1.0, lag / 4))
            p = Pen(GIF_W, GIF_H)
            p.disc(cx, cy, 2.6)
            paint(img, p.coverage(), colour)
        frames.append(img)
    return frames


def gif_palette(frames):
    """Every colour of the frames, sorted; at most 256 (anti-aliasing is quantised first)."""
    colours = set()
    for f in frames:
        colours.update(c for _, c in f.getcolors(1 << 16))
    if len(colours) > 256:
        step = 2
        while True:
            q = {tuple(min(255, (v // step) * step) for v in c) for c in colours}
            if len(q) <= 256:
                break
            step *= 2
        return sorted(q), step
    return sorted(colours), 1


def lzw_encode(indices, min_size):
    clear, end = 1 << min_size, (1 << min_size) + 1
    out = bytearray()
    acc = 0
    nbits = 0

    def emit(code, size):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    def reset():
        return {bytes([i]): i for i in range(clear)}, end + 1, min_size + 1

    table, nxt, size = reset()
    emit(clear, size)
    word = b""
    for b in indices:
        cand = word + bytes([b])
        if cand in table:
            word = cand
            continue
        emit(table[word], size)
        if nxt < 4096:
            table[cand] = nxt
            nxt += 1
            if nxt > (1 << size) and size < 12:
                size += 1
        else:
            emit(clear, size)
            table, nxt, size = reset()
        word = bytes([b])
    if word:
        emit(table[word], size)
    emit(end, size)
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def write_gif(path, frames, delays):
    palette, step = gif_palette(frames)
    index = {c: i for i, c in enumerate(palette)}
    bits = max(2, (len(palette) - 1).bit_length())
    table_len = 1 << bits
    data = bytearray(b"GIF89a")
    data += GIF_W.to_bytes(2, "little") + GIF_H.to_bytes(2, "little")
    data += bytes([0x80 | (7 << 4) | (bits - 1), 0, 0])
    for c in palette:
        data += bytes(c)
    data += bytes(3 * (table_len - len(palette)))
    # Loop for ever (viewers other than the player's own).
    data += b"\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00"
    for f, delay in zip(frames, delays):
        data += bytes([0x21, 0xF9, 0x04, 2 << 2]) + delay.to_bytes(2, "little") + b"\x00\x00"
        data += b"\x2c" + bytes(4) + GIF_W.to_bytes(2, "little") + GIF_H.to_bytes(2, "little") + b"\x00"
        pixels = [index[tuple(min(255, (v // step) * step) for v in c)] for c in f.getdata()]
        lzw = lzw_encode(pixels, bits)
        data += bytes([bits])
        for i in range(0, len(lzw), 255):
            chunk = lzw[i:i + 255]
            data += bytes([len(chunk)]) + chunk
        data += b"\x00"
    data += b"\x3b"
    with open(path, "wb") as f:
        f.write(data)


# --------------------------------------------------------------------------------------------------
# The resource tables


class Entry:
    def __init__(self, rid, kind, role, image=None, frames=1, key=None, gif=None, icon=None):
        self.rid, self.kind, self.role = rid, kind, role
        self.image, self.frames, self.key = image, frames, key
        self.gif, self.icon = gif, icon

    @property
    def file(self):
        return f"{self.rid}.gif" if self.kind == "Gif" else f"{self.rid}.png"

    def size(self):
        if self.gif:
            return GIF_W, GIF_H
        if self.icon:
            return self.icon[-1].size
        return self.image.size


def player_entries():
    e = []
    pieces = frame_pieces()
    roles = {424: "frame top-left", 427: "frame top edge", 419: "frame top-right", 423: "frame left edge",
             426: "frame right edge", 422: "frame bottom-left", 420: "frame bottom edge",
             425: "frame bottom-right"}
    for rid in (424, 427, 419, 423, 426, 422, 420, 425):
        e.append(Entry(rid, "Bitmap", roles[rid], pieces[rid]))
    e.append(Entry(454, "Bitmap", "bottom panel", bottom_panel()))
    e.append(Entry(499, "Bitmap", "main window title", title_bitmap("TEVALO")))

    g22, g16, g18, g14 = glyphs_22(), glyphs_16(), glyphs_18(), glyphs_14()
    buttons = [
        (436, g16, 16, 3, "minimise"), (435, g16, 16, 3, "full screen"), (434, g16, 16, 3, "close"),
        (510, g14, 14, 3, "channel panel (shown)"), (487, g14, 14, 3, "playback panel"),
        (433, g14, 14, 3, "channel panel (hidden)"),
        (456, g22, 22, 4, "mute"), (455, g22, 22, 4, "sound on"), (431, g22, 22, 4, "channel forward"),
        (430, g22, 22, 4, "channel back"), (442, g22, 22, 4, "full screen"),
        (439, g22, 22, 4, "time-shift end"), (443, g22, 22, 4, "time-shift play"),
        (429, g22, 22, 4, "time-shift start"), (489, g22, 22, 4, "record"),
        (488, g22, 22, 4, "stop recording"), (468, g22, 22, 4, "minimise"),
        (414, g16, 16, 3, "channel panel close"), (415, g18, 18, 4, "area search"),
        (416, g18, 18, 4, "full search"), (490, g22, 22, 4, "channel up"), (491, g22, 22, 4, "channel down"),
        (504, g22, 22, 4, "open recording"), (408, g22, 22, 4, "10 s back"), (407, g22, 22, 4, "play"),
        (406, g22, 22, 4, "pause"), (409, g22, 22, 4, "stop"), (405, g22, 22, 4, "10 s ahead"),
        (403, g16, 16, 3, "playback panel close"),
    ]
    for rid, glyphs, size, radius, role in buttons:
        e.append(Entry(rid, "Strip", role, keyed_strip(size, size, radius, glyphs[rid]), 3, MAGENTA))

    e.append(Entry(457, "Bitmap", "volume track", volume_track(False)))
    e.append(Entry(459, "Bitmap", "volume track, active part", volume_track(True)))
    e.append(Entry(458, "Bitmap", "volume thumb", volume_thumb()))
    for n in range(5):
        e.append(Entry(309 + n, "Bitmap", f"signal level, {n} bars", level_bars(n)))
    for rid, img in play_icons().items():
        e.append(Entry(rid, "Bitmap", "play icon", img))
    for rid, img in small_icons().items():
        e.append(Entry(rid, "Bitmap", "small icon", img))
    e.append(Entry(114, "Icon", "player icon", icon=[icon(s, "player") for s in ICON_SIZES], key=MAGENTA))
    e.append(Entry(516, "Bitmap", "splash", splash()))

    e.append(Entry(413, "Bitmap", "channel panel", channel_panel(), key=GREEN))
    e.append(Entry(500, "Bitmap", "channel panel title", title_bitmap("CHANNELS")))
    e.append(Entry(496, "Bitmap", "scroll bar track", scroll_track()))
    e.append(Entry(497, "Bitmap", "scroll bar thumb", scroll_thumb()))
    e.append(Entry(513, "Bitmap", "thumb mark, upper", scroll_mark(True, False)))
    e.append(Entry(511, "Bitmap", "thumb mark, lower", scroll_mark(False, False)))
    e.append(Entry(512, "Bitmap", "thumb mark, upper, dragged", scroll_mark(True, True)))
    e.append(Entry(514, "Bitmap", "thumb mark, lower, dragged", scroll_mark(False, True)))

    e.append(Entry(404, "Bitmap", "playback panel", playback_panel(), key=GREEN))
    e.append(Entry(503, "Bitmap", "playback panel title", title_bitmap("PLAYBACK")))
    e.append(Entry(411, "Bitmap", "position track", position_track(False)))
    e.append(Entry(460, "Bitmap", "position track, active part", position_track(True)))
    e.append(Entry(412, "Bitmap", "position thumb", position_thumb()))

    pl = playlist_pieces()
    pl_roles = {339: "playlist top-left", 152: "playlist top-right", 148: "playlist bottom-left",
                154: "playlist bottom-right", 338: "playlist top edge", 337: "playlist bottom edge",
                150: "playlist left edge", 336: "playlist right edge"}
    for rid, role in pl_roles.items():
        e.append(Entry(rid, "Bitmap", role, pl[rid]))
    e.append(Entry(396, "Bitmap", "playlist shape", pl[396], key=MAGENTA))
    e.append(Entry(292, "Strip", "playlist close", keyed_strip(15, 15, 3, [("glyph", lambda p: g_cross(
        p, 7.5, 7.5, 3.2, 1.5))]), 3, MAGENTA))
    hp = header_pieces()
    e.append(Entry(268, "Bitmap", "header background", hp[268]))
    e.append(Entry(259, "Bitmap", "header first edge", hp[259]))
    e.append(Entry(156, "Bitmap", "header item edge", hp[156]))
    for rid, img in playlist_buttons().items():
        e.append(Entry(rid, "Bitmap", "playlist button", img))

    e.append(Entry(505, "Gif", "no signal", gif=(no_signal_frames(), [55, 50]), frames=2))
    e.append(Entry(506, "Gif", "channel search", gif=(search_frames(), [50] * 6), frames=6))
    e.append(Entry(507, "Gif", "channel change", gif=(channel_change_frames(), [50] + [10] * 11), frames=12))
    return sorted(e, key=lambda x: x.rid)


def updater_entries():
    e = [Entry(129, "Bitmap", "update dialog", updater_panel(), key=GREEN)]
    for rid, img in updater_buttons().items():
        e.append(Entry(rid, "Strip", "update" if rid == 131 else "cancel", img, 3))
    e.append(Entry(128, "Icon", "updater icon", icon=[icon(s, "updater") for s in ICON_SIZES], key=MAGENTA))
    return sorted(e, key=lambda x: x.rid)


def colorref(key):
    if key is None:
        return "kNoKey"
    r, g, b = key
    return f"0x{(b << 16) | (g << 8) | r:08X}"


def write_set(folder, entries):
    art = os.path.join(folder, "art")
    os.makedirs(art, exist_ok=True)
    lines = ["// Generated by tools/skingen/skingen.py from its drawing code; do not edit.",
             "// {id, kind, file, width, height, frames, key}"]
    for en in entries:
        path = os.path.join(art, en.file)
        if en.kind == "Gif":
            write_gif(path, *en.gif)
        elif en.kind == "Icon":
            for img in en.icon:
                name = path if img is en.icon[-1] else os.path.join(art, f"{en.rid}_{img.width}.png")
                img.save(name, "PNG")
        else:
            en.image.save(path, "PNG")
        w, h = en.size()
        lines.append(f'{{{en.rid}, SkinKind::{en.kind}, "{en.file}", {w}, {h}, {en.frames}, {colorref(en.key)}}},'
                     f"  // {en.role}")
    with open(os.path.join(folder, "skin_table.inc"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


def generate(root):
    write_set(os.path.join(root, "player", "resources"), player_entries())
    write_set(os.path.join(root, "updater", "resources"), updater_entries())


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("root", nargs="?", default=os.path.join(os.path.dirname(__file__), "..", ".."),
                    help="folder that receives player/resources/ and updater/resources/")
    args = ap.parse_args()
    generate(args.root)
    return 0


if __name__ == "__main__":
    sys.exit(main())
