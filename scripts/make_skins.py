#!/usr/bin/env python3
"""Draws the launcher's artwork: a calm Go-board theme.

Writes into --out:
  background.bmp      405 x 218  window background (bitmap 140)
  progress.bmp        500 x 18   progress strip (bitmap 141; top 11 rows shown)
  button_start.bmp    244 x 34   four cells: normal, hover, pressed, disabled
  button_exit.bmp     244 x 34
  button_update.bmp   244 x 34
  button_cancel.bmp   312 x 22
  app.ico             32 x 32 and 16 x 16 application icon
Pure blue (0, 0, 255) marks transparent parts of the button skins.
Only the standard library is used; edges are anti-aliased analytically.
"""
import argparse
import math
import os
import struct

KEY = (0, 0, 255)


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


class Canvas:
    def __init__(self, w, h, fill=(0, 0, 0)):
        self.w, self.h = w, h
        self.px = [[tuple(map(float, fill)) for _ in range(w)] for _ in range(h)]

    def blend(self, x, y, colour, alpha):
        if 0 <= x < self.w and 0 <= y < self.h and alpha > 0:
            self.px[y][x] = mix(self.px[y][x], colour, clamp(alpha))

    def shade(self, fn, box=None):
        """fn(x, y) -> (colour, alpha) or None, over the box."""
        x0, y0, x1, y1 = box or (0, 0, self.w, self.h)
        for y in range(max(0, y0), min(self.h, y1)):
            for x in range(max(0, x0), min(self.w, x1)):
                r = fn(x + 0.5, y + 0.5)
                if r:
                    self.blend(x, y, r[0], r[1])

    def rect(self, x0, y0, x1, y1, colour, alpha=1.0):
        for y in range(max(0, y0), min(self.h, y1)):
            for x in range(max(0, x0), min(self.w, x1)):
                self.blend(x, y, colour, alpha)

    def line(self, ax, ay, bx, by, width, colour, alpha=1.0):
        pad = int(width) + 2
        box = (int(min(ax, bx)) - pad, int(min(ay, by)) - pad, int(max(ax, bx)) + pad + 1, int(max(ay, by)) + pad + 1)
        dx, dy = bx - ax, by - ay
        length2 = dx * dx + dy * dy or 1e-9

        def fn(x, y):
            t = clamp(((x - ax) * dx + (y - ay) * dy) / length2)
            d = math.hypot(x - (ax + t * dx), y - (ay + t * dy))
            cover = clamp(width / 2 - d + 0.5)
            return (colour, cover * alpha) if cover > 0 else None

        self.shade(fn, box)

    def polyline(self, points, width, colour, alpha=1.0):
        for (ax, ay), (bx, by) in zip(points, points[1:]):
            self.line(ax, ay, bx, by, width, colour, alpha)

    def stone(self, cx, cy, r, black):
        # Soft shadow first, then the stone with a light from the upper left.
        self.shade(lambda x, y: ((40, 25, 10), 0.28 * clamp(r + 1.5 - math.hypot(x - cx - 1.6, y - cy - 2.0)) / 1.0)
                   if math.hypot(x - cx - 1.6, y - cy - 2.0) < r + 2 else None,
                   (int(cx - r - 3), int(cy - r - 3), int(cx + r + 5), int(cy + r + 5)))

        def fn(x, y):
            d = math.hypot(x - cx, y - cy)
            cover = clamp(r - d + 0.5)
            if cover <= 0:
                return None
            hl = math.hypot(x - (cx - r * 0.35), y - (cy - r * 0.4)) / (r * 1.4)
            if black:
                base = mix((92, 92, 98), (18, 18, 22), clamp(hl))
            else:
                base = mix((255, 255, 252), (196, 194, 186), clamp(hl * 0.9) ** 1.4)
            return base, cover

        self.shade(fn, (int(cx - r - 2), int(cy - r - 2), int(cx + r + 3), int(cy + r + 3)))

    def rounded(self, x0, y0, x1, y1, radius, fn_colour, alpha=1.0):
        def fn(x, y):
            qx = max(x0 + radius - x, 0, x - (x1 - radius))
            qy = max(y0 + radius - y, 0, y - (y1 - radius))
            d = math.hypot(qx, qy) - radius
            cover = clamp(0.5 - d)
            return (fn_colour(x, y), cover * alpha) if cover > 0 else None

        self.shade(fn, (int(x0) - 1, int(y0) - 1, int(x1) + 2, int(y1) + 2))

    def rows(self):
        return [[tuple(int(round(clamp(c / 255.0) * 255)) for c in p) for p in row] for row in self.px]


def wood(x, y, tone=1.0):
    """Kaya board wood: warm gold with soft fibres running across."""
    fibre = (math.sin(y * 0.55 + math.sin(x * 0.013) * 3.0 + math.sin(x * 0.051 + y * 0.02) * 0.8) * 0.5
             + math.sin(y * 1.7 + x * 0.004) * 0.18 + math.sin(y * 0.23 + x * 0.009) * 0.35)
    light = (0.96 + 0.035 * fibre) * tone
    return (226 * light, 184 * light, 112 * light)


def write_bmp(path, rows):
    h, w = len(rows), len(rows[0])
    stride = (w * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def write_ico(path, images):
    """images: list of (size, rows of (r, g, b, a))."""
    blobs = []
    for size, rows in images:
        colour = bytearray()
        for row in reversed(rows):
            for r, g, b, a in row:
                colour += bytes((b, g, r, a))
        mask_stride = ((size + 31) // 32) * 4
        mask = bytearray()
        for row in reversed(rows):
            bits = bytearray(mask_stride)
            for x, (_, _, _, a) in enumerate(row):
                if a < 128:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
        blobs.append((size, info + colour + mask))
    out = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for size, blob in blobs:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    for _, blob in blobs:
        out += blob
    with open(path, "wb") as f:
        f.write(out)


# ---- the window background -------------------------------------------------

FOOTER = (92, 61, 34)
PANEL = (247, 240, 224)


def background():
    W, H = 405, 218
    c = Canvas(W, H)
    c.shade(lambda x, y: (wood(x, y), 1.0))
    # A corner of a Go board across the header: grid, star points, stones.
    step, ox, oy = 19, 13, 14
    line_colour = (70, 45, 20)
    for i in range(0, 22):
        x = ox + i * step
        c.line(x, oy, x, 104, 1.0, line_colour, 0.55)
    for j in range(0, 5):
        y = oy + j * step
        c.line(ox, y, W, y, 1.0, line_colour, 0.55)
    for i, j in ((3, 3), (9, 3), (15, 3)):
        cx, cy = ox + i * step, oy + j * step
        c.shade(lambda x, y, cx=cx, cy=cy: (line_colour, 0.8 * clamp(2.6 - math.hypot(x - cx, y - cy))),
                (cx - 4, cy - 4, cx + 5, cy + 5))
    # A quiet opening on the right: a few stones, nothing crowded.
    for i, j, black in ((14, 2, True), (15, 3, False), (16, 2, True), (17, 3, False), (16, 1, False),
                        (19, 1, False), (12, 3, False), (18, 2, True), (17, 1, True)):
        c.stone(ox + i * step, oy + j * step, 8.6, black)
    # Fade the board into the panel below.
    c.shade(lambda x, y: (PANEL, clamp((y - 88) / 20.0) * 0.92), (0, 88, W, 110))
    # The text and progress panel.
    c.rounded(4, 108, W - 4, 184, 6, lambda x, y: mix(PANEL, (239, 229, 206), (y - 108) / 76.0), 0.96)
    c.rounded(4, 108, W - 4, 109, 0.5, lambda x, y: (255, 255, 255), 0.5)
    # Troughs the bars fill: (8, 132) and (8, 169), 390 x 11.
    for ty in (132, 169):
        c.rect(7, ty - 1, 399, ty + 12, (176, 156, 120))
        c.rect(8, ty, 398, ty + 11, (222, 211, 186))
        c.rect(8, ty, 398, ty + 2, (203, 189, 160))
        c.rect(7, ty + 12, 399, ty + 13, (255, 252, 244), 0.8)
    # The footer band that carries the cancel button.
    c.shade(lambda x, y: (mix((112, 76, 44), FOOTER, (y - 186) / 30.0), 1.0), (0, 186, W, H))
    c.rect(0, 186, W, 187, (60, 38, 18), 0.7)
    c.rect(0, 187, W, 188, (160, 120, 80), 0.5)
    # The footer's left: three small stones.
    for k, black in enumerate((True, False, True)):
        c.stone(18 + k * 15, 202, 5.2, black)
    # The name again, large and quiet, on the open board at the upper left.
    c.rounded(12, 24, 170, 66, 6, lambda x, y: (247, 236, 210), 0.55)
    draw_title(c, "GOBANVISTA", 22, 36, 1.6, (70, 45, 20))
    # Frame.
    c.rect(0, 0, W, 1, (58, 36, 16))
    c.rect(0, H - 1, W, H, (40, 25, 10))
    c.rect(0, 0, 1, H, (58, 36, 16))
    c.rect(W - 1, 0, W, H, (40, 25, 10))
    c.rect(1, 1, W - 1, 2, (255, 236, 190), 0.45)
    return c.rows()


def progress():
    W, H = 500, 18
    c = Canvas(W, H)

    def fn(x, y):
        t = (y % 11) / 10.0
        base = mix((120, 196, 166), (36, 122, 96), t)
        if y % 11 == 0:
            base = mix(base, (255, 255, 255), 0.35)
        # A faint pattern of stones in the jade, barely visible.
        wave = 0.03 * math.sin(x * 0.35) * math.sin(y * 0.6 + 1.0)
        return tuple(v * (1 + wave) for v in base), 1.0

    c.shade(fn)
    return c.rows()


# ---- buttons ----------------------------------------------------------------

# Stroke glyphs for the labels (coordinates in a 10 x 12 box per syllable).
GLYPHS = {
    "취": [[(0.5, 1.2), (5.6, 1.2)], [(3.0, 1.2), (3.0, 2.2)], [(0.5, 2.6), (5.6, 2.6)], [(3.0, 2.6), (0.6, 5.6)],
          [(3.0, 2.6), (5.6, 5.6)], [(0.2, 7.2), (6.4, 7.2)], [(3.3, 7.2), (3.3, 11.2)], [(8.4, 0.4), (8.4, 11.6)]],
    "소": [[(5.0, 0.6), (1.0, 6.0)], [(5.0, 0.6), (9.0, 6.0)], [(5.0, 7.0), (5.0, 9.4)], [(0.4, 9.8), (9.6, 9.8)]],
}


def draw_label(c, text, x, y, scale, colour, alpha=1.0):
    for k, ch in enumerate(text):
        for stroke in GLYPHS[ch]:
            pts = [(x + k * 11.5 * scale + px * scale, y + py * scale) for px, py in stroke]
            c.polyline(pts, 1.35 * scale, colour, alpha)


def _arc(cx, cy, rx, ry, a0, a1, steps=14):
    return [(cx + rx * math.cos(math.radians(a0 + (a1 - a0) * k / steps)),
             cy + ry * math.sin(math.radians(a0 + (a1 - a0) * k / steps))) for k in range(steps + 1)]


# Latin capitals as strokes in a 6 x 10 box.
LETTERS = {
    "G": [_arc(3, 5, 3, 5, -40, -320, 20), [(6, 6), (6, 10)], [(3.6, 6), (6, 6)]],
    "O": [_arc(3, 5, 3, 5, 0, 360, 24)],
    "B": [[(0.5, 0), (0.5, 10)], [(0.5, 0), (3.5, 0)] + _arc(3.5, 2.4, 2.2, 2.4, -90, 90, 8) + [(0.5, 4.8)],
          [(0.5, 4.8), (3.8, 4.8)] + _arc(3.8, 7.4, 2.4, 2.6, -90, 90, 8) + [(0.5, 10)]],
    "A": [[(0, 10), (3, 0), (6, 10)], [(1.1, 6.6), (4.9, 6.6)]],
    "N": [[(0.5, 10), (0.5, 0), (5.5, 10), (5.5, 0)]],
    "V": [[(0, 0), (3, 10), (6, 0)]],
    "I": [[(1.5, 0), (1.5, 10)]],
    "S": [_arc(3, 2.5, 2.7, 2.5, -20, -270, 12) + _arc(3, 7.5, 2.9, 2.5, -90, 160, 12)],
    "T": [[(0, 0), (6, 0)], [(3, 0), (3, 10)]],
}
WIDTHS = {"I": 3}


def draw_title(c, text, x, y, scale, colour):
    for ch in text:
        for stroke in LETTERS[ch]:
            c.polyline([(x + px * scale, y + py * scale) for px, py in stroke], 1.3 * scale, colour)
        x += (WIDTHS.get(ch, 6) + 3.2) * scale


def play_symbol(c, cx, cy, s, colour):
    c.shade(lambda x, y: (colour, clamp(min(x - (cx - s * 0.45), (s * 0.55 - abs(y - cy)) * 1.2 - (x - cx - s * 0.55) * 0.6) + 0.5)),
            (int(cx - s), int(cy - s), int(cx + s + 1), int(cy + s + 1)))


def cross_symbol(c, cx, cy, s, colour):
    c.line(cx - s, cy - s, cx + s, cy + s, 2.0, colour)
    c.line(cx - s, cy + s, cx + s, cy - s, 2.0, colour)


def refresh_symbol(c, cx, cy, s, colour):
    pts = [(cx + s * math.cos(a), cy + s * math.sin(a)) for a in [math.radians(d) for d in range(-60, 240, 12)]]
    c.polyline(pts, 2.0, colour)
    ex, ey = pts[0]
    c.line(ex, ey, ex - 4.5, ey - 0.5, 2.0, colour)
    c.line(ex, ey, ex + 0.5, ey + 4.5, 2.0, colour)


STATES = ("normal", "hover", "pressed", "disabled")


def button_skin(cell_w, cell_h, decorate, radius):
    """Four cells; the corners outside the rounded shape are the key colour.
    Edge pixels are blended towards the footer colour they sit on."""
    c = Canvas(cell_w * 4, cell_h)
    for n, state in enumerate(STATES):
        x0 = n * cell_w
        top, bottom = {
            "normal": ((250, 244, 229), (224, 208, 174)),
            "hover": ((255, 250, 236), (236, 219, 180)),
            "pressed": ((214, 196, 160), (236, 224, 196)),
            "disabled": ((214, 210, 202), (194, 190, 182)),
        }[state]
        border = {"normal": (84, 56, 28), "hover": (36, 122, 96), "pressed": (60, 40, 20),
                  "disabled": (140, 134, 124)}[state]
        inner = Canvas(cell_w, cell_h, FOOTER)
        inner.rounded(0, 0, cell_w, cell_h, radius, lambda x, y: border)
        inner.rounded(1, 1, cell_w - 1, cell_h - 1, radius - 1,
                      lambda x, y, top=top, bottom=bottom: mix(top, bottom, y / cell_h))
        if state == "hover":
            inner.rounded(2, 2, cell_w - 2, cell_h - 2, radius - 2, lambda x, y: (120, 196, 166), 0.0)
            inner.rect(3, 2, cell_w - 3, 3, (255, 255, 255), 0.7)
        if state == "normal":
            inner.rect(3, 2, cell_w - 3, 3, (255, 255, 255), 0.5)
        ink = {"normal": (58, 38, 18), "hover": (28, 100, 78), "pressed": (40, 26, 12),
               "disabled": (150, 144, 134)}[state]
        shift = 1 if state == "pressed" else 0
        decorate(inner, ink, shift)
        for y in range(cell_h):
            for x in range(cell_w):
                qx = max(radius - (x + 0.5), 0, (x + 0.5) - (cell_w - radius))
                qy = max(radius - (y + 0.5), 0, (y + 0.5) - (cell_h - radius))
                outside = math.hypot(qx, qy) - radius > 0.0
                c.px[y][x0 + x] = tuple(map(float, KEY)) if outside else inner.px[y][x]
    return c.rows()


def big_button(symbol):
    def decorate(c, ink, shift):
        symbol(c, 30.5, 17 + shift, 7.0, ink)
    return button_skin(61, 34, decorate, 7)


def cancel_button():
    def decorate(c, ink, shift):
        cross_symbol(c, 17.5, 11 + shift, 3.2, ink)
        draw_label(c, "취소", 30, 5.2 + shift, 1.0, ink)
    return button_skin(78, 22, decorate, 5)


# ---- the application icon ---------------------------------------------------

def icon(size):
    s = size / 32.0
    c = Canvas(size, size, (0, 0, 0))
    alpha = [[0.0] * size for _ in range(size)]

    def cover(x0, y0, x1, y1, r):
        for y in range(size):
            for x in range(size):
                qx = max(x0 + r - (x + 0.5), 0, (x + 0.5) - (x1 - r))
                qy = max(y0 + r - (y + 0.5), 0, (y + 0.5) - (y1 - r))
                alpha[y][x] = max(alpha[y][x], clamp(0.5 - (math.hypot(qx, qy) - r)))

    cover(1 * s, 1 * s, 31 * s, 31 * s, 5 * s)
    c.shade(lambda x, y: (wood(x * 6, y * 4, 1.02), 1.0))
    for k in (8, 16, 24):
        c.line(k * s, 3 * s, k * s, 29 * s, max(1.0, s), (70, 45, 20), 0.7)
        c.line(3 * s, k * s, 29 * s, k * s, max(1.0, s), (70, 45, 20), 0.7)
    c.stone(12 * s, 12 * s, 7.2 * s, True)
    c.stone(20.5 * s, 20.5 * s, 7.2 * s, False)
    rows = c.rows()
    # Frame line.
    out = []
    for y in range(size):
        row = []
        for x in range(size):
            r, g, b = rows[y][x]
            a = int(round(alpha[y][x] * 255))
            edge = alpha[y][x] < 1.0
            if edge:
                r, g, b = (int(r * 0.55), int(g * 0.55), int(b * 0.55))
            row.append((r, g, b, a))
        out.append(row)
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    write_bmp(os.path.join(args.out, "background.bmp"), background())
    write_bmp(os.path.join(args.out, "progress.bmp"), progress())
    write_bmp(os.path.join(args.out, "button_start.bmp"), big_button(play_symbol))
    write_bmp(os.path.join(args.out, "button_exit.bmp"), big_button(cross_symbol))
    write_bmp(os.path.join(args.out, "button_update.bmp"), big_button(refresh_symbol))
    write_bmp(os.path.join(args.out, "button_cancel.bmp"), cancel_button())
    write_ico(os.path.join(args.out, "app.ico"), [(32, icon(32)), (16, icon(16))])


if __name__ == "__main__":
    main()
