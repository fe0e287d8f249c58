#!/usr/bin/env python3
"""Draws the plug-in's icons and writes them as .ico files.

Every icon holds a 16x16 and a 32x32 image, each a 32-bit BGRA DIB with an
AND mask. The drawings are made of a few shapes on a 32-unit grid, rendered
with supersampling so that the small size stays smooth. The output is the
same on every run, so the checked-in files can be compared with it:

    scripts/gen-icons.py                  write src/resources/icons/*.ico
    scripts/gen-icons.py --check          fail when a checked-in file differs
    scripts/gen-icons.py --preview X.png  also write an enlarged contact sheet

Standard library only; the build itself never runs this script.
"""

import argparse
import math
import os
import struct
import sys
import zlib

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
ICON_DIR = os.path.join(ROOT, "src", "resources", "icons")
SIZES = (16, 32)
GRID = 32.0  # drawing units across an icon

# --- Shapes: functions of a point (x, y) in grid units -> inside or not ------


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r

    return inside


def segment(x0, y0, x1, y1, width):
    """A stroke with round ends."""
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy
    half2 = (width / 2.0) ** 2

    def inside(x, y):
        t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        px, py = x0 + t * dx - x, y0 + t * dy - y
        return px * px + py * py <= half2

    return inside


def polygon(points):
    """Even-odd rule."""

    def inside(x, y):
        result = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result

    return inside


def union(*shapes):
    return lambda x, y: any(shape(x, y) for shape in shapes)


def minus(shape, *holes):
    return lambda x, y: shape(x, y) and not any(hole(x, y) for hole in holes)


# --- Canvas ------------------------------------------------------------------


class Canvas:
    """Straight (not premultiplied) RGBA pixels, top row first."""

    def __init__(self, size):
        self.size = size
        self.pixels = [[(0.0, 0.0, 0.0, 0.0)] * size for _ in range(size)]
        # More samples at the small size, where every pixel counts.
        self.samples = 6 if size <= 16 else 4

    def fill(self, shape, colour, shade=None):
        """Paints `shape` in `colour` (r, g, b[, a]); `shade`(x, y) -> factor
        brightens or darkens it across the icon."""
        n = self.samples
        scale = GRID / self.size
        r0, g0, b0 = colour[0], colour[1], colour[2]
        a0 = colour[3] if len(colour) > 3 else 255
        for py in range(self.size):
            for px in range(self.size):
                hits = 0
                for sy in range(n):
                    y = (py + (sy + 0.5) / n) * scale
                    for sx in range(n):
                        if shape((px + (sx + 0.5) / n) * scale, y):
                            hits += 1
                if hits == 0:
                    continue
                coverage = hits / float(n * n)
                r, g, b = r0, g0, b0
                if shade is not None:
                    f = shade((px + 0.5) * scale, (py + 0.5) * scale)
                    r, g, b = (_clamp(c * f) if f <= 1 else _clamp(c + (255 - c) * (f - 1))
                               for c in (r, g, b))
                self._blend(px, py, r, g, b, a0 / 255.0 * coverage)

    def _blend(self, px, py, r, g, b, alpha):
        dr, dg, db, da = self.pixels[py][px]
        out = alpha + da * (1 - alpha)
        if out <= 0:
            return
        mix = lambda s, d: (s * alpha + d * da * (1 - alpha)) / out
        self.pixels[py][px] = (mix(r, dr), mix(g, dg), mix(b, db), out)

    def rgba(self):
        """Rows of (r, g, b, a) bytes, top row first."""
        rows = []
        for row in self.pixels:
            out = []
            for r, g, b, a in row:
                alpha = int(round(a * 255))
                if alpha == 0:
                    out.append((0, 0, 0, 0))
                else:
                    out.append((int(round(r)), int(round(g)), int(round(b)), alpha))
            rows.append(out)
        return rows


def _clamp(value):
    return max(0.0, min(255.0, value))


def top_light(strength=0.35):
    """Lighter at the top, a little darker at the bottom."""
    return lambda x, y: 1.0 + strength * (1.0 - y / 16.0) if y < 16 else 1.0 - 0.25 * (y - 16) / 16.0


# --- Drawings -----------------------------------------------------------------

DARK = (40, 40, 48)
WHITE = (255, 255, 255)


def status_disc(canvas, colour, rim, gloss=True):
    canvas.fill(disc(16, 16, 14.5), rim)
    canvas.fill(disc(16, 16, 12.5), colour, top_light())
    if gloss:
        canvas.fill(ellipse(12.5, 10.5, 5, 3), (255, 255, 255, 90))


def draw_online(canvas):
    status_disc(canvas, (60, 190, 60), (20, 100, 20))


def draw_offline(canvas):
    # A hollow grey ring: nothing is there.
    canvas.fill(minus(disc(16, 16, 14.5), disc(16, 16, 7.5)), (90, 90, 96))
    canvas.fill(minus(disc(16, 16, 12.5), disc(16, 16, 9.5)), (175, 175, 182), top_light(0.2))


def clock_hands(canvas, colour):
    canvas.fill(segment(16, 16, 16, 7.5, 3.2), colour)
    canvas.fill(segment(16, 16, 22, 19, 3.2), colour)


def draw_away(canvas):
    status_disc(canvas, (250, 205, 40), (150, 105, 0))
    clock_hands(canvas, (90, 60, 0))


def draw_free_for_chat(canvas):
    # A speech bubble: ready to talk.
    bubble = union(rounded_rect(2, 4, 30, 23, 7), polygon([(7, 20), (15, 21), (6, 30)]))
    grown = union(rounded_rect(0.5, 2.5, 31.5, 24.5, 8.5), polygon([(5, 19), (17, 20), (4.5, 31.5)]))
    canvas.fill(grown, (10, 95, 140))
    canvas.fill(bubble, (60, 185, 235), top_light())
    for cx in (9.5, 16, 22.5):
        canvas.fill(disc(cx, 13.5, 2.4), WHITE)


def draw_not_available(canvas):
    # A crescent moon: gone for longer.
    moon = minus(disc(15, 16, 14), disc(22, 11, 11))
    rim = minus(disc(15, 16, 15.5), disc(22.5, 10.5, 9.8))
    canvas.fill(rim, (150, 70, 0))
    canvas.fill(moon, (245, 140, 30), top_light(0.25))


def draw_do_not_disturb(canvas):
    # A no-entry sign.
    status_disc(canvas, (220, 35, 35), (120, 0, 0), gloss=False)
    canvas.fill(rounded_rect(7, 13.5, 25, 18.5, 1.5), WHITE)


def draw_occupied(canvas):
    # A purple disc crossed by a slash: busy with something else.
    status_disc(canvas, (150, 60, 190), (70, 10, 100))
    canvas.fill(segment(10, 22, 22, 10, 4.5), WHITE)


def person(canvas, dx, dy, scale, colour, rim):
    """Head and shoulders; (dx, dy) is the top-left of its 32-unit box."""
    p = lambda x, y: (dx + x * scale, dy + y * scale)
    head = lambda grow: disc(*p(16, 10), 6.5 * scale + grow)
    body = lambda grow: minus(ellipse(*p(16, 31), 12 * scale + grow, 13.5 * scale + grow),
                              rect(0, dy + 31 * scale + grow, 32, 40))
    canvas.fill(union(head(1.4), body(1.4)), rim)
    canvas.fill(union(head(0), body(0)), colour, top_light(0.3))


def shifted(shape, dx, dy):
    return lambda x, y: shape(x - dx, y - dy)


def with_rim(canvas, shape, colour, rim, width=1.2, shade=None):
    """Fills `shape` over a rim of `width` units drawn around it."""
    steps = [(math.cos(a * math.pi / 4) * width, math.sin(a * math.pi / 4) * width)
             for a in range(8)]
    canvas.fill(union(*(shifted(shape, dx, dy) for dx, dy in steps)), rim)
    canvas.fill(shape, colour, shade)


def kestrel(canvas, dx, dy, scale):
    """A small falcon in flight, seen from below: pointed swept wings, a
    round head and a long fanned tail. Drawn in a 28 x 20 box at (dx, dy)."""
    p = lambda pts: [(dx + x * scale, dy + y * scale) for x, y in pts]
    left_wing = [(14, 6), (8, 4.5), (0.5, 1), (5, 6.5), (9.5, 10), (14, 11.5)]
    right_wing = [(28 - x, y) for x, y in left_wing]
    body = ellipse(dx + 14 * scale, dy + 9.5 * scale, 3 * scale, 4.5 * scale)
    head = disc(dx + 14 * scale, dy + 5 * scale, 2.6 * scale)
    tail = polygon(p([(12.2, 12), (15.8, 12), (17.5, 19.5), (10.5, 19.5)]))
    bird = union(polygon(p(left_wing)), polygon(p(right_wing)), body, head, tail)
    with_rim(canvas, bird, (200, 105, 45), (80, 40, 15), 1.1, top_light(0.25))


def draw_kestrin_users(canvas):
    kestrel(canvas, 6, 0.8, 0.9)
    person(canvas, -3, 8, 0.76, (70, 115, 190), (25, 45, 95))


def arrow(canvas, x0, x1, y, colour, rim):
    """A thick horizontal arrow from x0 to its point at x1."""
    d = 1 if x1 > x0 else -1
    head = abs(x1 - x0) * 0.5
    shaft = lambda g: rect(min(x0, x1 - d * head) - g, y - 3 - g, max(x0, x1 - d * head) + g, y + 3 + g)
    tip = lambda g: polygon([(x1 - d * head - d * g, y - 8 - g * 1.4), (x1 + d * g * 1.6, y),
                             (x1 - d * head - d * g, y + 8 + g * 1.4)])
    canvas.fill(union(shaft(1.3), tip(1.3)), rim)
    canvas.fill(union(shaft(0), tip(0)), colour, top_light(0.3))


def draw_users_export(canvas):
    person(canvas, -3, 3, 0.8, (70, 115, 190), (25, 45, 95))
    arrow(canvas, 15, 30.5, 20, (60, 185, 60), (15, 90, 15))


def draw_users_import(canvas):
    person(canvas, -3, 3, 0.8, (70, 115, 190), (25, 45, 95))
    arrow(canvas, 30.5, 15, 20, (245, 160, 30), (140, 75, 0))


def draw_users_undo(canvas):
    """The person an import brought, crossed out: what Undo Last Import removes."""
    person(canvas, -3, 3, 0.8, (70, 115, 190), (25, 45, 95))
    cross = union(segment(16, 12, 29, 27, 4.2), segment(29, 12, 16, 27, 4.2))
    with_rim(canvas, cross, (215, 45, 40), (110, 15, 10), 1.3, top_light(0.3))


# (file name, drawing); the resource script names the resources.
ICONS = [
    ("kestrinusers.ico", draw_kestrin_users),
    ("usersexport.ico", draw_users_export),
    ("usersimport.ico", draw_users_import),
    ("usersundo.ico", draw_users_undo),
    ("status-online.ico", draw_online),
    ("status-offline.ico", draw_offline),
    ("status-away.ico", draw_away),
    ("status-freechat.ico", draw_free_for_chat),
    ("status-na.ico", draw_not_available),
    ("status-dnd.ico", draw_do_not_disturb),
    ("status-occupied.ico", draw_occupied),
]

# --- File formats -------------------------------------------------------------


def dib(rows):
    """BITMAPINFOHEADER, bottom-up BGRA pixels, and the AND mask (1 = transparent)."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    body = bytes(pixels + mask)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(body), 0, 0, 0, 0)
    return header + body


def ico(images):
    """An .ico file of (size, rows) images."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    blobs = []
    for size, rows in images:
        blob = dib(rows)
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        blobs.append(blob)
    return out + b"".join(blobs)


def png(rows):
    """A PNG of RGBA rows, for the preview sheet."""
    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in rows)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def preview_sheet(rendered, zoom=4):
    """Each icon at 16 and 32, enlarged, on a light background, one per column."""
    cell = 32 * zoom + 8
    width, height = cell * len(rendered), cell * 2
    sheet = [[(235, 235, 235, 255)] * width for _ in range(height)]
    for column, images in enumerate(rendered):
        for line, (size, rows) in enumerate(images):
            factor = 32 * zoom // size
            for y in range(size * factor):
                for x in range(size * factor):
                    r, g, b, a = rows[y // factor][x // factor]
                    bg = sheet[line * cell + 4 + y][column * cell + 4 + x]
                    mix = lambda s, d: int(round((s * a + d * (255 - a)) / 255))
                    sheet[line * cell + 4 + y][column * cell + 4 + x] = (
                        mix(r, bg[0]), mix(g, bg[1]), mix(b, bg[2]), 255)
    return png(sheet)


def render(draw):
    images = []
    for size in SIZES:
        canvas = Canvas(size)
        draw(canvas)
        images.append((size, canvas.rgba()))
    return images


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true",
                        help="compare with the checked-in files instead of writing them")
    parser.add_argument("--preview", metavar="PNG", help="also write an enlarged contact sheet")
    args = parser.parse_args()

    rendered = []
    stale = []
    for name, draw in ICONS:
        images = render(draw)
        rendered.append(images)
        data = ico(images)
        path = os.path.join(ICON_DIR, name)
        if args.check:
            try:
                with open(path, "rb") as existing:
                    if existing.read() != data:
                        stale.append(name)
            except OSError:
                stale.append(name)
        else:
            os.makedirs(ICON_DIR, exist_ok=True)
            with open(path, "wb") as out:
                out.write(data)
    if args.preview:
        with open(args.preview, "wb") as out:
            out.write(preview_sheet(rendered))
    if stale:
        print("icons differ from scripts/gen-icons.py: " + ", ".join(stale), file=sys.stderr)
        return 1
    print("%s %d icons in %s" % ("checked" if args.check else "wrote", len(ICONS),
                                 os.path.relpath(ICON_DIR, ROOT)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
