#!/usr/bin/env python3
"""Draws Tevro's pictures and its default alert sound, and writes them beside this script.

Standard library only, so that it runs on any machine with Python 3 and always gives the same bytes.
Shapes are signed distance functions in pixel units (negative inside); a pixel's coverage is
0.5 - distance, clamped, which antialiases every edge without supersampling.

    make_resources.py            regenerate every file
    make_resources.py --check    compare the committed files with what the script would write
    make_resources.py --preview DIR
                                 also write enlarged copies (pictures x8, big pictures x3) for review

Glyphs of the speed buttons: two 16 x 16 images per glyph, "Glyph_X" (normal) and "Glyph_X_Disabled"
(greyed and embossed), so that a caller hands both to a QIcon as its Normal and Disabled pixmaps.
The status bitmaps and the help icon are opaque 24-bit BMPs (the help view draws its pictures
opaquely); glyphs and program icons are PNGs with alpha; backgrounds are opaque PNG tiles.
"""

import argparse
import math
import os
import struct
import sys
import wave
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# Qt's default window colour on Linux desktops: the status bitmaps have no alpha, so their
# corners take the colour of the form they sit on.
FORM_FACE = (239, 239, 239)
# Mean colour of the help background, behind the opaque help icon.
HELP_PAPER = (243, 241, 236)


# ---------------------------------------------------------------------------------------------
# Canvas and compositing

def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def rgba(c, alpha=1.0):
    """A colour as (r, g, b, a) with r, g, b in 0..255 and a in 0..1."""
    return (c[0], c[1], c[2], (c[3] if len(c) > 3 else 1.0) * alpha)


class Canvas:
    def __init__(self, w, h, background=None):
        self.w, self.h = w, h
        bg = (0.0, 0.0, 0.0, 0.0) if background is None else rgba(background)
        # premultiplied r, g, b (0..255) and alpha (0..1)
        self.px = [[bg[0] * bg[3], bg[1] * bg[3], bg[2] * bg[3], bg[3]] for _ in range(w * h)]

    def blend(self, x, y, colour, coverage):
        a = colour[3] * coverage
        if a <= 0.0:
            return
        p = self.px[y * self.w + x]
        k = 1.0 - a
        p[0] = colour[0] * a + p[0] * k
        p[1] = colour[1] * a + p[1] * k
        p[2] = colour[2] * a + p[2] * k
        p[3] = a + p[3] * k

    def fill(self, sdf, paint, box=None, soft=1.0):
        """Paints the inside of `sdf` with a colour or a function (x, y) -> colour."""
        x0, y0, x1, y1 = box if box else (0, 0, self.w, self.h)
        x0, y0 = max(0, int(x0)), max(0, int(y0))
        x1, y1 = min(self.w, int(math.ceil(x1))), min(self.h, int(math.ceil(y1)))
        solid = None if callable(paint) else rgba(paint)
        for y in range(y0, y1):
            cy = y + 0.5
            for x in range(x0, x1):
                cx = x + 0.5
                cov = clamp(0.5 - sdf(cx, cy) / soft)
                if cov > 0.0:
                    self.blend(x, y, solid if solid else rgba(paint(cx, cy)), cov)

    def stroke(self, sdf, half_width, paint, box=None):
        self.fill(lambda x, y: abs(sdf(x, y)) - half_width, paint, box)

    def straight(self, x, y):
        """The pixel as straight (not premultiplied) 8-bit r, g, b, a."""
        r, g, b, a = self.px[y * self.w + x]
        if a <= 1e-6:
            return (0, 0, 0, 0)
        return tuple(int(round(clamp(v, 0.0, 255.0))) for v in (r / a, g / a, b / a, a * 255.0))

    def rgba_rows(self):
        return [[self.straight(x, y) for x in range(self.w)] for y in range(self.h)]

    def rgb_rows(self, background):
        """Flattens onto an opaque background."""
        rows = []
        for y in range(self.h):
            row = []
            for x in range(self.w):
                r, g, b, a = self.px[y * self.w + x]
                k = 1.0 - a
                row.append(tuple(int(round(clamp(v, 0.0, 255.0)))
                                 for v in (r + background[0] * k, g + background[1] * k, b + background[2] * k)))
            rows.append(row)
        return rows


# ---------------------------------------------------------------------------------------------
# Shapes (signed distance functions) and paints

def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ellipse(cx, cy, rx, ry):
    # First-order distance (implicit value over its gradient): exact on the curve, which is all
    # that antialiasing and thin strokes need.
    def f(x, y):
        qx, qy = (x - cx) / rx, (y - cy) / ry
        k = math.hypot(qx, qy)
        if k < 1e-9:
            return -min(rx, ry)
        grad = math.hypot(qx / rx, qy / ry) / k
        return (k - 1.0) / grad
    return f


def rbox(cx, cy, hw, hh, r=0.0):
    def f(x, y):
        qx = abs(x - cx) - hw + r
        qy = abs(y - cy) - hh + r
        return math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0) - r
    return f


def segment_distance(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = clamp(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy))
    return math.hypot(x - ax - dx * t, y - ay - dy * t)


def capsule(ax, ay, bx, by, r):
    return lambda x, y: segment_distance(x, y, ax, ay, bx, by) - r


def polyline(points, r):
    segs = list(zip(points, points[1:]))
    return lambda x, y: min(segment_distance(x, y, a[0], a[1], b[0], b[1]) for a, b in segs) - r


def polygon(points):
    n = len(points)

    def f(x, y):
        d = float("inf")
        inside = False
        for i in range(n):
            ax, ay = points[i]
            bx, by = points[i - 1]
            d = min(d, segment_distance(x, y, ax, ay, bx, by))
            if (ay > y) != (by > y) and x < (bx - ax) * (y - ay) / (by - ay) + ax:
                inside = not inside
        return -d if inside else d
    return f


def arc(cx, cy, radius, start, sweep, r):
    """A round-capped arc; angles in degrees, clockwise on screen from the +x axis."""
    a0 = math.radians(start)
    s = math.radians(sweep)
    ends = [(cx + radius * math.cos(a), cy + radius * math.sin(a)) for a in (a0, a0 + s)]

    def f(x, y):
        t = (math.atan2(y - cy, x - cx) - a0) % (2.0 * math.pi)
        if t <= s:
            return abs(math.hypot(x - cx, y - cy) - radius) - r
        return min(math.hypot(x - ex, y - ey) for ex, ey in ends) - r
    return f


def union(*fs):
    return lambda x, y: min(f(x, y) for f in fs)


def intersect(*fs):
    return lambda x, y: max(f(x, y) for f in fs)


def rotated(f, cx, cy, degrees):
    c, s = math.cos(math.radians(degrees)), math.sin(math.radians(degrees))

    def g(x, y):
        dx, dy = x - cx, y - cy
        return f(cx + dx * c + dy * s, cy - dx * s + dy * c)
    return g


def linear(x0, y0, x1, y1, stops):
    """Gradient along (x0, y0) -> (x1, y1); stops are (t, colour) pairs."""
    dx, dy = x1 - x0, y1 - y0
    n = dx * dx + dy * dy
    return lambda x, y: sample_stops(stops, clamp(((x - x0) * dx + (y - y0) * dy) / n))


def radial(cx, cy, r, stops):
    return lambda x, y: sample_stops(stops, clamp(math.hypot(x - cx, y - cy) / r))


def sample_stops(stops, t):
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t <= t1:
            return mix(rgba(c0), rgba(c1), 0.0 if t1 == t0 else (t - t0) / (t1 - t0))
    return rgba(stops[-1][1])


def darker(c, k):
    return tuple(v * k for v in c[:3])


def lighter(c, k):
    return tuple(v + (255 - v) * k for v in c[:3])


def hash01(*ints):
    """A repeatable pseudo-random number in 0..1 from integers (no dependence on Python's RNG)."""
    h = 2166136261
    for i in ints:
        h = ((h ^ (i & 0xFFFFFFFF)) * 16777619) & 0xFFFFFFFF
        h ^= h >> 13
        h = (h * 1274126177) & 0xFFFFFFFF
    return (h & 0xFFFFFF) / float(0xFFFFFF)


# ---------------------------------------------------------------------------------------------
# Status lamps: 16 x 16, one colour and one mark per state, so they differ without colour too

LAMPS = {
    # name: (body colour, mark colour, mark)
    "Bitmap_None": ((150, 152, 156), (236, 236, 236), "dash"),
    "Socket_Error": ((218, 38, 38), (255, 255, 255), "cross"),
    "Ping_Failed": ((246, 196, 0), (92, 64, 0), "bang"),
    "Ping_Success": ((36, 160, 60), (255, 255, 255), "tick"),
}


def draw_lamp(body, mark_colour, mark):
    c = Canvas(16, 16, FORM_FACE)
    disc = circle(8.0, 8.0, 7.3)
    c.fill(disc, darker(body, 0.62))
    c.fill(circle(8.0, 8.0, 6.3), radial(6.2, 5.6, 9.0, [(0.0, lighter(body, 0.45)), (0.45, body),
                                                          (1.0, darker(body, 0.82))]))
    if mark == "cross":
        shape = union(capsule(5.4, 5.4, 10.6, 10.6, 1.05), capsule(10.6, 5.4, 5.4, 10.6, 1.05))
    elif mark == "tick":
        shape = polyline([(4.6, 8.3), (7.0, 10.7), (11.4, 5.6)], 1.05)
    elif mark == "bang":
        shape = union(capsule(8.0, 4.3, 8.0, 8.4, 1.15), circle(8.0, 11.2, 1.25))
    else:
        shape = capsule(5.0, 8.0, 11.0, 8.0, 1.0)
    c.fill(shape, mark_colour)
    return c.rgb_rows(FORM_FACE)


# ---------------------------------------------------------------------------------------------
# Help icon: a blue badge with a question mark, 32 x 32

def question_mark(cx, top, size, r):
    """A question mark whose hook starts at `top`; size is the hook's radius."""
    hook_cy = top + size
    hook = arc(cx, hook_cy, size, 180.0, 235.0, r)
    end_a = math.radians(180.0 + 235.0)
    ex, ey = cx + size * math.cos(end_a), hook_cy + size * math.sin(end_a)
    stem = capsule(ex, ey, cx, hook_cy + size + 2.4, r)
    stem_low = capsule(cx, hook_cy + size + 2.4, cx, hook_cy + size + 3.6, r)
    dot = circle(cx, hook_cy + size + 3.6 + r * 2.6 + 1.0, r * 1.2)
    return union(hook, stem, stem_low, dot)


def draw_help_icon():
    c = Canvas(32, 32, HELP_PAPER)
    c.fill(circle(16.0, 16.6, 14.6), (0, 0, 0, 0.12))  # a soft shadow under the badge
    c.fill(circle(16.0, 16.0, 14.6), (22, 78, 150))
    c.fill(circle(16.0, 16.0, 13.6), linear(0, 3, 0, 29, [(0.0, (92, 162, 238)), (1.0, (30, 98, 190))]))
    c.fill(intersect(circle(16.0, 16.0, 13.0), ellipse(16.0, 9.0, 11.0, 7.0)), (255, 255, 255, 0.18))
    c.fill(question_mark(16.0, 6.6, 5.0, 1.9), (255, 255, 255))
    return c.rgb_rows(HELP_PAPER)


# ---------------------------------------------------------------------------------------------
# Speed-button glyphs, 16 x 16 with alpha

def draw_glyph_orvex():
    c = Canvas(16, 16)
    page = polygon([(2.0, 0.5), (9.5, 0.5), (12.5, 3.5), (12.5, 15.5), (2.0, 15.5)])
    c.fill(page, (96, 106, 122))
    c.fill(polygon([(3.0, 1.5), (9.0, 1.5), (11.5, 4.0), (11.5, 14.5), (3.0, 14.5)]), (255, 255, 255))
    c.fill(polygon([(9.0, 1.0), (12.5, 4.5), (9.0, 4.5)]), (196, 204, 216))
    for left, right, y in ((4.0, 7.5, 3.5), (4.0, 9.0, 5.5), (4.0, 9.0, 7.5)):  # lines of text
        c.fill(rbox((left + right) / 2.0, y, (right - left) / 2.0, 0.5), (150, 160, 176))
    lens = circle(10.0, 10.0, 3.4)
    c.fill(circle(10.0, 10.0, 3.0), (170, 214, 250, 0.85))
    c.fill(lambda x, y: abs(lens(x, y)) - 0.85, (34, 84, 160))
    c.fill(capsule(12.6, 12.6, 14.6, 14.6, 1.25), (70, 52, 40))
    c.fill(intersect(circle(10.0, 10.0, 2.2), ellipse(9.2, 9.0, 1.6, 1.1)), (255, 255, 255, 0.8))
    return c


def draw_glyph_alert():
    c = Canvas(16, 16)
    shell = union(circle(8.0, 6.4, 4.4),
                  polygon([(3.6, 6.4), (12.4, 6.4), (13.6, 11.6), (2.4, 11.6)]),
                  rbox(8.0, 11.9, 6.9, 1.1, 1.0))
    outline = (138, 96, 0)
    c.fill(circle(8.0, 14.0, 1.7), outline)
    c.fill(circle(8.0, 1.7, 1.3), outline)
    c.fill(lambda x, y: shell(x, y) - 0.8, outline)
    c.fill(shell, linear(3, 0, 13, 0, [(0.0, (255, 236, 140)), (0.4, (252, 200, 40)), (1.0, (208, 140, 0))]))
    c.fill(capsule(5.6, 5.8, 5.0, 10.0, 0.7), (255, 250, 220, 0.8))
    return c


def draw_glyph_graph():
    c = Canvas(16, 16)
    axis = (70, 78, 90)
    c.fill(union(rbox(1.5, 8.0, 0.5, 7.5), rbox(8.0, 14.5, 7.5, 0.5)), axis)
    bars = [(3.0, 8.0, (40, 160, 60)), (7.0, 3.0, (40, 160, 60)), (11.0, 9.5, (245, 140, 20))]
    for x0, top, colour in bars:
        c.fill(rbox(x0 + 1.5, (top + 14.0) / 2.0, 1.5, (14.0 - top) / 2.0), darker(colour, 0.65))
        c.fill(rbox(x0 + 1.5, (top + 14.5) / 2.0, 0.5, (13.5 - top) / 2.0),
               linear(x0, 0, x0 + 3, 0, [(0.0, lighter(colour, 0.45)), (1.0, colour)]))
    return c


def disabled(glyph):
    """The classic disabled look: the glyph in flat greys with a white emboss one pixel lower right."""
    out = Canvas(glyph.w, glyph.h)
    rows = glyph.rgba_rows()
    for y in range(glyph.h):
        for x in range(glyph.w):
            if x > 0 and y > 0:
                a = rows[y - 1][x - 1][3] / 255.0
                out.blend(x, y, (255, 255, 255, 0.9), a)
    for y in range(glyph.h):
        for x in range(glyph.w):
            r, g, b, a = rows[y][x]
            lum = 0.299 * r + 0.587 * g + 0.114 * b
            grey = 128.0 + (lum - 128.0) * 0.35
            out.blend(x, y, (grey, grey, grey, 1.0), a / 255.0)
    return out


# ---------------------------------------------------------------------------------------------
# Program icon: a dark tile with a green echo trace and a lit lamp, drawn at 16 to 256 pixels

def draw_program_icon(size):
    s = size / 32.0
    c = Canvas(size, size)
    inset = 0.5 if size > 16 else 0.0
    tile = rbox(size / 2.0, size / 2.0, size / 2.0 - inset, size / 2.0 - inset, 6.0 * s)
    c.fill(tile, (18, 40, 66))
    c.fill(lambda x, y: tile(x, y) + max(1.0, s),
           linear(0, 0, 0, size, [(0.0, (48, 98, 150)), (1.0, (22, 52, 88))]))
    width = 1.1 * s if size > 16 else 0.85
    trace = [(5, 19), (10.5, 19), (13, 12), (16.5, 25), (19.5, 8), (22, 19), (24, 19)]
    pts = [(x * s, y * s) for x, y in trace]
    c.fill(polyline(pts, width * 2.2), (90, 255, 140, 0.16))
    c.fill(polyline(pts, width), (120, 250, 150))
    lamp_r = 2.8 * s if size > 16 else 2.2
    lx, ly = 26.5 * s, 19.0 * s
    c.fill(circle(lx, ly, lamp_r * 1.7), (120, 255, 150, 0.2))
    c.fill(circle(lx, ly, lamp_r), radial(lx - lamp_r * 0.4, ly - lamp_r * 0.4, lamp_r * 1.6,
                                          [(0.0, (235, 255, 235)), (0.5, (110, 240, 140)), (1.0, (30, 170, 70))]))
    return c


# ---------------------------------------------------------------------------------------------
# Help page picture, 144 x 192: a globe circled by three hosts, above a monitor showing the echoes

def draw_help_picture():
    w, h = 144, 192
    c = Canvas(w, h)
    c.fill(lambda x, y: -1.0, linear(0, 0, 0, h, [(0.0, (206, 228, 246)), (0.6, (236, 244, 251)),
                                                  (1.0, (246, 248, 250))]))
    gx, gy, gr = 72.0, 64.0, 34.0

    # Radar rings around the globe, fading outwards.
    for i, rr in enumerate((44.0, 53.0, 62.0)):
        c.stroke(circle(gx, gy, rr), 0.6, (80, 140, 200, 0.35 - 0.09 * i))

    orbit = rotated(ellipse(gx, gy + 4.0, 58.0, 15.0), gx, gy + 4.0, -16.0)
    below = rotated(lambda x, y: y - gy - 4.0, gx, gy + 4.0, -16.0)  # > 0 on the near half of the orbit
    band = lambda x, y: abs(orbit(x, y)) - 0.7

    def host_positions():
        out = []
        for deg in (200.0, 320.0, 75.0):
            a = math.radians(deg)
            x, y = 58.0 * math.cos(a), 15.0 * math.sin(a)
            t = math.radians(-16.0)
            out.append((gx + x * math.cos(t) - y * math.sin(t), gy + 4.0 + x * math.sin(t) + y * math.cos(t),
                        math.sin(a) > 0))
        return out

    hosts = host_positions()
    host_colours = [(36, 160, 60), (246, 196, 0), (36, 160, 60)]

    def draw_hosts(front):
        for (hx, hy, is_front), colour in zip(hosts, host_colours):
            if is_front != front:
                continue
            c.fill(circle(hx, hy, 6.5), (*colour, 0.25))
            c.fill(circle(hx, hy, 4.4), darker(colour, 0.6))
            c.fill(circle(hx, hy, 3.5), radial(hx - 1.2, hy - 1.4, 5.0, [(0.0, lighter(colour, 0.6)),
                                                                         (0.5, colour), (1.0, darker(colour, 0.85))]))

    c.fill(lambda x, y: max(band(x, y), below(x, y)), (60, 110, 170, 0.55))
    draw_hosts(False)

    # The globe: shaded ocean, a grid of meridians and parallels, light from the upper left.
    globe = circle(gx, gy, gr)
    c.fill(circle(gx + 2.0, gy + 3.0, gr), (20, 50, 90, 0.15))
    c.fill(globe, radial(gx - 12.0, gy - 14.0, gr * 1.75, [(0.0, (150, 205, 245)), (0.45, (60, 140, 210)),
                                                           (1.0, (20, 70, 140))]))
    grid = (255, 255, 255, 0.35)
    inside = circle(gx, gy, gr - 0.6)
    for lat in (-60.0, -30.0, 0.0, 30.0, 60.0):
        yy = gy + gr * math.sin(math.radians(lat))
        c.fill(intersect(lambda x, y, yy=yy: abs(y - yy) - 0.45, inside), grid)
    for lon in (0.0, 30.0, 60.0):
        rx = gr * math.sin(math.radians(lon))
        if rx < 0.5:
            c.fill(intersect(lambda x, y: abs(x - gx) - 0.45, inside), grid)
            continue
        e = ellipse(gx, gy, rx, gr)
        c.fill(intersect(lambda x, y, e=e: abs(e(x, y)) - 0.45, inside), grid)
    # Land masses: soft blobs clipped to the globe.
    land = union(ellipse(60.0, 50.0, 10.0, 7.0), ellipse(55.0, 60.0, 6.0, 9.0),
                 rotated(ellipse(84.0, 72.0, 9.0, 5.0), 84.0, 72.0, 30.0), ellipse(90.0, 52.0, 5.0, 4.0),
                 ellipse(66.0, 84.0, 5.0, 3.5))
    c.fill(intersect(land, inside), linear(0, 30, 0, 98, [(0.0, (150, 215, 140)), (1.0, (70, 150, 80))]))
    c.fill(intersect(globe, circle(gx - 11.0, gy - 13.0, 13.0)), (255, 255, 255, 0.18))
    c.stroke(globe, 0.6, (16, 56, 110, 0.8))

    # The front half of the orbit passes in front of the globe.
    c.fill(lambda x, y: max(band(x, y), -below(x, y)), (60, 110, 170, 0.55))
    draw_hosts(True)

    # The monitor with an echo trace.
    mx, my = 72.0, 146.0
    c.fill(ellipse(mx, 186.0, 34.0, 3.2), (40, 60, 90, 0.16))
    c.fill(polygon([(mx - 6.0, my + 22.0), (mx + 6.0, my + 22.0), (mx + 8.0, my + 35.0), (mx - 8.0, my + 35.0)]),
           linear(mx - 8, 0, mx + 8, 0, [(0.0, (150, 160, 175)), (1.0, (100, 110, 128))]))
    c.fill(rbox(mx, my + 37.0, 24.0, 2.6, 2.5), linear(0, my + 34, 0, my + 40, [(0.0, (170, 180, 194)),
                                                                               (1.0, (110, 120, 138))]))
    c.fill(rbox(mx, my, 46.0, 25.0, 4.0), linear(0, my - 25, 0, my + 25, [(0.0, (74, 84, 100)),
                                                                        (1.0, (40, 46, 58))]))
    screen = rbox(mx, my - 1.0, 41.0, 20.0, 1.5)
    c.fill(screen, linear(0, my - 21, 0, my + 19, [(0.0, (16, 46, 36)), (1.0, (8, 26, 22))]))
    for gxl in range(0, 82, 10):
        c.fill(intersect(lambda x, y, v=mx - 41.0 + gxl: abs(x - v) - 0.35, screen), (90, 200, 130, 0.14))
    for gyl in range(0, 40, 10):
        c.fill(intersect(lambda x, y, v=my - 21.0 + gyl: abs(y - v) - 0.35, screen), (90, 200, 130, 0.14))
    base = my + 5.0
    trace = [(mx - 41.0, base), (mx - 26.0, base), (mx - 22.0, base - 6.0), (mx - 18.0, base + 5.0),
             (mx - 15.0, base), (mx - 3.0, base), (mx + 1.0, base - 15.0), (mx + 5.0, base + 9.0),
             (mx + 8.0, base), (mx + 22.0, base), (mx + 25.0, base - 5.0), (mx + 28.0, base + 3.0),
             (mx + 30.0, base), (mx + 41.0, base)]
    c.fill(intersect(polyline(trace, 2.8), screen), (90, 255, 140, 0.18))
    c.fill(intersect(polyline(trace, 0.85), screen), (140, 255, 170))
    # Three small lamps under the screen, as in the host rows.
    for i, colour in enumerate(((36, 160, 60), (246, 196, 0), (36, 160, 60))):
        lx = mx - 8.0 + 8.0 * i
        c.fill(circle(lx, my + 22.3, 1.7), colour)
    return c.rgb_rows((246, 248, 250))


# ---------------------------------------------------------------------------------------------
# Backgrounds: light and quiet, and periodic in both directions so that the tiles meet seamlessly

def draw_log_background():
    """Faint graph paper: a light blue line every 16 pixels on near-white, with a little grain."""
    n = 64
    paper, line, cross = (251.0, 252.0, 254.0), (234.0, 240.0, 249.0), (226.0, 234.0, 246.0)
    rows = []
    for y in range(n):
        row = []
        for x in range(n):
            on_x, on_y = x % 16 == 0, y % 16 == 0
            colour = cross if on_x and on_y else line if on_x or on_y else paper
            grain = (hash01(x, y, 7) - 0.5) * 1.5
            row.append(tuple(int(round(clamp(v + grain, 0.0, 255.0))) for v in colour))
        rows.append(row)
    return rows


def periodic_noise(n, cells, seed):
    """Smooth value noise on a lattice that wraps after `n` pixels."""
    step = n / cells
    values = [[hash01(i, j, seed) for i in range(cells)] for j in range(cells)]

    def smooth(t):
        return t * t * (3.0 - 2.0 * t)

    def at(x, y):
        fx, fy = x / step, y / step
        i0, j0 = int(fx) % cells, int(fy) % cells
        i1, j1 = (i0 + 1) % cells, (j0 + 1) % cells
        tx, ty = smooth(fx - int(fx)), smooth(fy - int(fy))
        top = values[j0][i0] + (values[j0][i1] - values[j0][i0]) * tx
        bottom = values[j1][i0] + (values[j1][i1] - values[j1][i0]) * tx
        return top + (bottom - top) * ty
    return at


def draw_help_background():
    """Soft linen: threads along both axes plus a faint cloud, all wrapping at the tile's edge."""
    n = 128
    cloud = periodic_noise(n, 4, 11)
    rows_noise = [hash01(y, 21) - 0.5 for y in range(n)]
    cols_noise = [hash01(x, 33) - 0.5 for x in range(n)]

    def smooth_ring(values):
        m = len(values)
        return [(values[i - 1] + 2.0 * values[i] + values[(i + 1) % m]) / 4.0 for i in range(m)]

    rows_noise, cols_noise = smooth_ring(rows_noise), smooth_ring(cols_noise)
    base = HELP_PAPER
    rows = []
    for y in range(n):
        row = []
        for x in range(n):
            v = (rows_noise[y] * 5.0 + cols_noise[x] * 5.0 + (cloud(x, y) - 0.5) * 5.0
                 + (hash01(x, y, 5) - 0.5) * 1.5)
            row.append((int(round(clamp(base[0] + v, 0, 255))), int(round(clamp(base[1] + v, 0, 255))),
                        int(round(clamp(base[2] + v * 1.1, 0, 255)))))
        rows.append(row)
    return rows


# ---------------------------------------------------------------------------------------------
# Alert sound: a two-tone chime, high then low, each note a bell with a few partials

RATE = 22050


def chime_samples():
    length = int(RATE * 0.9)
    notes = [(0.0, 987.77, 0.22), (0.26, 783.99, 0.30)]  # B5 then G5, a major third down
    partials = [(1.0, 1.0), (2.0, 0.35), (3.0, 0.12), (4.2, 0.05)]
    raw = []
    for i in range(length):
        t = i / RATE
        v = 0.0
        for start, freq, decay in notes:
            u = t - start
            if u < 0.0:
                continue
            attack = 0.5 - 0.5 * math.cos(math.pi * min(u / 0.006, 1.0))
            envelope = attack * math.exp(-u / decay)
            v += envelope * sum(a * math.sin(2.0 * math.pi * freq * m * u) for m, a in partials)
        raw.append(v)
    tail = int(RATE * 0.06)  # fade out the last ring so the sound ends on silence, without a click
    for k in range(tail):
        raw[length - tail + k] *= 0.5 + 0.5 * math.cos(math.pi * (k + 1) / tail)
    peak = max(abs(v) for v in raw)
    gain = 0.7 * 32767.0 / peak
    return [int(round(v * gain)) for v in raw]


# ---------------------------------------------------------------------------------------------
# Encoders and decoders

def encode_bmp24(rows):
    h, w = len(rows), len(rows[0])
    stride = (w * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):  # BMP rows go bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        pixels += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + bytes(pixels)


def decode_bmp24(data):
    offset, = struct.unpack_from("<I", data, 10)
    w, h, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 24:
        raise ValueError("not a 24-bit BMP")
    stride = (w * 3 + 3) & ~3
    rows = []
    for y in range(abs(h)):
        base = offset + y * stride
        rows.append([(data[base + 3 * x + 2], data[base + 3 * x + 1], data[base + 3 * x]) for x in range(w)])
    return rows[::-1] if h > 0 else rows


def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def encode_png(rows):
    h, w = len(rows), len(rows[0])
    channels = len(rows[0][0])
    raw = bytearray()
    for row in rows:
        raw.append(0)  # filter "none": simple, and the files stay small at these sizes anyway
        for px in row:
            raw += bytes(px)
    colour_type = 6 if channels == 4 else 2
    ihdr = struct.pack(">IIBBBBB", w, h, 8, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + png_chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + png_chunk(b"IEND", b""))


def decode_png(data):
    """Reads back what encode_png writes (8-bit RGB or RGBA, filter none)."""
    pos, idat = 8, b""
    w = h = channels = 0
    while pos < len(data):
        length, = struct.unpack_from(">I", data, pos)
        kind = data[pos + 4:pos + 8]
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            w, h, depth, colour_type = struct.unpack_from(">IIBB", body)
            channels = {2: 3, 6: 4}[colour_type]
            if depth != 8:
                raise ValueError("unsupported PNG depth")
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    rows, stride = [], 1 + w * channels
    for y in range(h):
        line = raw[y * stride:(y + 1) * stride]
        if line[0] != 0:
            raise ValueError("unsupported PNG filter")
        rows.append([tuple(line[1 + x * channels:1 + (x + 1) * channels]) for x in range(w)])
    return rows


def encode_wav(samples):
    import io
    buf = io.BytesIO()
    with wave.open(buf, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(struct.pack("<%dh" % len(samples), *samples))
    return buf.getvalue()


def decode_wav(data):
    import io
    with wave.open(io.BytesIO(data), "rb") as inp:
        frames = inp.readframes(inp.getnframes())
    return list(struct.unpack("<%dh" % (len(frames) // 2), frames))


# ---------------------------------------------------------------------------------------------

def build():
    """Every output file: path -> (kind, content) with content as rows of pixels or samples."""
    out = {}
    for name, (body, mark_colour, mark) in LAMPS.items():
        out["bitmaps/%s.bmp" % name.lower()] = ("bmp", draw_lamp(body, mark_colour, mark))
    out["images/help_icon.bmp"] = ("bmp", draw_help_icon())
    out["images/help_picture.png"] = ("png", draw_help_picture())
    out["images/log_background.png"] = ("png", draw_log_background())
    out["images/help_background.png"] = ("png", draw_help_background())
    for name, draw in (("orvex", draw_glyph_orvex), ("alert", draw_glyph_alert), ("graph", draw_glyph_graph)):
        glyph = draw()
        out["glyphs/glyph_%s.png" % name] = ("png", glyph.rgba_rows())
        out["glyphs/glyph_%s_disabled.png" % name] = ("png", disabled(glyph).rgba_rows())
    for size, suffix in ((16, "_16"), (32, ""), (64, "_64")):
        out["icons/tevro_icon%s.png" % suffix] = ("png", draw_program_icon(size).rgba_rows())
    # The larger sizes only go to the desktop's icon theme when the program is installed.
    for size in (48, 128, 256):
        out["icons/tevro_icon_%d.png" % size] = ("png", draw_program_icon(size).rgba_rows())
    out["sounds/alert.wav"] = ("wav", chime_samples())
    return out


ENCODERS = {"bmp": encode_bmp24, "png": encode_png, "wav": encode_wav}
DECODERS = {"bmp": decode_bmp24, "png": decode_png, "wav": decode_wav}


def close_enough(kind, a, b):
    """Equal but for rounding in the last bit of a platform's maths library."""
    if kind == "wav":
        return len(a) == len(b) and all(abs(x - y) <= 1 for x, y in zip(a, b))
    if len(a) != len(b) or any(len(ra) != len(rb) for ra, rb in zip(a, b)):
        return False
    return all(abs(p - q) <= 1 for ra, rb in zip(a, b) for pa, pb in zip(ra, rb) for p, q in zip(pa, pb))


def enlarged(rows, factor):
    """A nearest-neighbour blow-up for review; alpha shows against a checkerboard of two greys."""
    out = []
    for y in range(len(rows) * factor):
        line = []
        for x in range(len(rows[0]) * factor):
            px = rows[y // factor][x // factor]
            if len(px) == 4:
                check = (200, 200, 200) if ((x // 4) + (y // 4)) % 2 else (240, 240, 240)
                a = px[3] / 255.0
                px = tuple(int(round(px[i] * a + check[i] * (1.0 - a))) for i in range(3))
            line.append(px)
        out.append(line)
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="compare the committed files, write nothing")
    parser.add_argument("--preview", metavar="DIR", help="also write enlarged copies into DIR")
    args = parser.parse_args()

    failures = 0
    for rel, (kind, content) in sorted(build().items()):
        path = os.path.join(HERE, rel)
        data = ENCODERS[kind](content)
        if args.check:
            try:
                with open(path, "rb") as f:
                    stored = f.read()
                same = stored == data or close_enough(kind, DECODERS[kind](stored), content)
            except (OSError, ValueError, KeyError, struct.error, zlib.error, wave.Error) as e:
                print("%s: cannot read (%s)" % (rel, e))
                same = False
            if not same:
                print("%s differs from what make_resources.py draws; run it and commit the result" % rel)
                failures += 1
            continue
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        if args.preview and kind != "wav":
            os.makedirs(args.preview, exist_ok=True)
            factor = 3 if len(content) > 64 else 8
            name = os.path.splitext(os.path.basename(rel))[0]
            with open(os.path.join(args.preview, name + "_x%d.png" % factor), "wb") as f:
                f.write(encode_png(enlarged(content, factor)))
    if args.check:
        print("%s" % ("all resources match" if failures == 0 else "%d resource(s) differ" % failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
