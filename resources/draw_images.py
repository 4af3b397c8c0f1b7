#!/usr/bin/env python3
"""Draws Quandril's button images and its application icon.

Every picture is described here as shapes in a 0..1 square and rasterised
with supersampling, so the same drawing gives every size the icon needs.
Only Python's standard library is used; the generated files are committed,
so the build itself needs nothing but this folder.

    python3 resources/draw_images.py        # rewrites the files beside it
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

WHITE = (1.0, 1.0, 1.0)
GREEN = (0.10, 0.56, 0.16)
DARK_GREEN = (0.05, 0.36, 0.09)


# --- shapes: each answers whether a point (x, y in 0..1, y downwards) is inside

def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r_in, r_out):
    def inside(x, y):
        d = (x - cx) ** 2 + (y - cy) ** 2
        return r_in * r_in <= d <= r_out * r_out
    return inside


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def thick_polyline(points, half_width):
    """A stroke along the points, with round joints and ends."""
    def inside(x, y):
        for (ax, ay), (bx, by) in zip(points, points[1:]):
            dx, dy = bx - ax, by - ay
            t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
            t = min(max(t, 0.0), 1.0)
            if (x - ax - t * dx) ** 2 + (y - ay - t * dy) ** 2 <= half_width * half_width:
                return True
        return False
    return inside


def gear(cx, cy, r_root, r_tip, teeth, phase):
    """A gear wheel: trapezoid teeth on a root circle."""
    def radius_at(angle):
        # Position within one tooth period, 0..1; the tooth occupies the
        # middle, with sloped flanks.
        u = ((angle - phase) / (2 * math.pi) * teeth) % 1.0
        flank = 0.12
        top = 0.22
        d = abs(u - 0.5)
        if d <= top / 2:
            return r_tip
        if d <= top / 2 + flank:
            return r_tip - (r_tip - r_root) * (d - top / 2) / flank
        return r_root

    def inside(x, y):
        dx, dy = x - cx, y - cy
        r = math.hypot(dx, dy)
        if r > r_tip:
            return False
        if r <= r_root:
            return True
        return r <= radius_at(math.atan2(dy, dx))
    return inside


def grown(shape_fn, amount):
    """Approximates an outline by testing a few offsets around the point."""
    offsets = [(amount * math.cos(a), amount * math.sin(a))
               for a in [i * math.pi / 8 for i in range(16)]]

    def inside(x, y):
        if shape_fn(x, y):
            return True
        return any(shape_fn(x + ox, y + oy) for ox, oy in offsets)
    return inside


# --- rendering

def render(size, layers, samples):
    """Layers are (shape, colour) with colour either an (r, g, b[, a]) tuple
    or a function of (x, y); later layers cover earlier ones. Returns rows of
    straight (not premultiplied) RGBA bytes."""
    rows = []
    step = 1.0 / (size * samples)
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]  # premultiplied sums
            for sy in range(samples):
                y = (py * samples + sy + 0.5) * step
                for sx in range(samples):
                    x = (px * samples + sx + 0.5) * step
                    r = g = b = a = 0.0
                    for shape, colour in layers:
                        if not shape(x, y):
                            continue
                        c = colour(x, y) if callable(colour) else colour
                        ca = c[3] if len(c) > 3 else 1.0
                        r = c[0] * ca + r * (1 - ca)
                        g = c[1] * ca + g * (1 - ca)
                        b = c[2] * ca + b * (1 - ca)
                        a = ca + a * (1 - ca)
                    acc[0] += r
                    acc[1] += g
                    acc[2] += b
                    acc[3] += a
            n = samples * samples
            alpha = acc[3] / n
            if alpha <= 0.0:
                row += bytes(4)
                continue
            row += bytes([
                min(255, round(acc[0] / n / alpha * 255)),
                min(255, round(acc[1] / n / alpha * 255)),
                min(255, round(acc[2] / n / alpha * 255)),
                min(255, round(alpha * 255)),
            ])
        rows.append(bytes(row))
    return rows


def png_bytes(size, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + r for r in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


# --- the four button images (32 x 32): white shapes, green outlines

def px(v):
    return v / 32.0


def add_image():
    return [
        (disc(0.5, 0.5, px(14.5)), GREEN),
        (disc(0.5, 0.5, px(12.5)), WHITE),
        (rounded_rect(px(8.5), px(14), px(23.5), px(18), px(1)), GREEN),
        (rounded_rect(px(14), px(8.5), px(18), px(23.5), px(1)), GREEN),
    ]


def remove_image():
    return [
        (disc(0.5, 0.5, px(14.5)), GREEN),
        (disc(0.5, 0.5, px(12.5)), WHITE),
        (rounded_rect(px(8.5), px(14), px(23.5), px(18), px(1)), GREEN),
    ]


def clear_image():
    body = [(px(7.5), px(10.5)), (px(24.5), px(10.5)), (px(22.5), px(30)), (px(9.5), px(30))]
    lid = rounded_rect(px(4), px(6), px(28), px(10.5), px(1.2))
    handle = rounded_rect(px(11.5), px(2), px(20.5), px(7), px(1.5))
    return [
        (grown(polygon(body), px(1.6)), GREEN),
        (polygon(body), WHITE),
        (handle, GREEN),
        (rounded_rect(px(13.5), px(4), px(18.5), px(7), px(0.5)), WHITE),
        (grown(lid, px(1.6)), GREEN),
        (lid, WHITE),
        (thick_polyline([(px(12), px(14)), (px(12.8), px(26.5))], px(1.0)), GREEN),
        (thick_polyline([(px(16), px(14)), (px(16), px(26.5))], px(1.0)), GREEN),
        (thick_polyline([(px(20), px(14)), (px(19.2), px(26.5))], px(1.0)), GREEN),
    ]


def convert_image():
    big = gear(px(12.5), px(12.5), px(8), px(11.5), 8, 0.0)
    small = gear(px(22.5), px(22.5), px(5.6), px(8.6), 7, math.pi / 7)
    return [
        (grown(big, px(1.5)), GREEN),
        (big, WHITE),
        (disc(px(12.5), px(12.5), px(4.2)), GREEN),
        (disc(px(12.5), px(12.5), px(2.6)), (0, 0, 0, 0)),
        (grown(small, px(1.5)), GREEN),
        (small, WHITE),
        (disc(px(22.5), px(22.5), px(3.2)), GREEN),
        (disc(px(22.5), px(22.5), px(1.7)), (0, 0, 0, 0)),
    ]


def render_with_holes(size, layers, samples):
    # A colour with alpha 0 in `layers` punches a hole: handled by rendering
    # the layers and then clearing the pixels the hole covers.
    solid = [(s, c) for s, c in layers if not (len(c) > 3 and c[3] == 0)]
    holes = [s for s, c in layers if len(c) > 3 and c[3] == 0]

    def outside_holes(x, y):
        return not any(h(x, y) for h in holes)

    masked = [(lambda x, y, s=s: s(x, y) and outside_holes(x, y), c) for s, c in solid]
    return render(size, masked, samples)


# --- icon 107: a glossy green round button with two chasing white arrows

def icon_layers(size):
    # Small sizes get a bolder drawing so that the arrows stay readable.
    small = size <= 24
    cx = cy = 0.5
    r = 0.47

    def body(x, y):
        # Lit from the top left: light green there, deep green at the rim.
        d = math.hypot(x - 0.40, y - 0.36) / 0.75
        t = min(1.0, d)
        return (0.30 * (1 - t) + 0.02 * t, 0.82 * (1 - t) + 0.42 * t, 0.30 * (1 - t) + 0.07 * t)

    def gloss(x, y):
        # A soft white sheen over the upper half, fading downwards.
        t = (y - 0.06) / 0.44
        return (1.0, 1.0, 1.0, max(0.0, 0.55 * (1 - t)))

    arc_r = 0.28 if not small else 0.27
    width = 0.075 if not small else 0.10
    layers = [
        (disc(cx, cy, r), DARK_GREEN),
        (disc(cx, cy, r - (0.035 if not small else 0.06)), body),
    ]
    if not small:
        layers.append((lambda x, y: (x - 0.5) ** 2 / 0.36 ** 2 + (y - 0.30) ** 2 / 0.25 ** 2 <= 1.0, gloss))
    for start in (math.radians(200), math.radians(20)):
        sweep = math.radians(125)
        steps = 24
        pts = [(cx + arc_r * math.cos(start + sweep * i / steps),
                cy + arc_r * math.sin(start + sweep * i / steps)) for i in range(steps + 1)]
        layers.append((thick_polyline(pts, width / 2), WHITE))
        # Arrowhead at the end of the arc, pointing along it (clockwise).
        end = start + sweep
        ex, ey = cx + arc_r * math.cos(end), cy + arc_r * math.sin(end)
        tx, ty = -math.sin(end), math.cos(end)  # direction of travel
        nx, ny = math.cos(end), math.sin(end)   # outwards
        head = 0.13 if not small else 0.16
        tip = (ex + tx * head, ey + ty * head)
        left = (ex + nx * head * 0.85 - tx * head * 0.15, ey + ny * head * 0.85 - ty * head * 0.15)
        right = (ex - nx * head * 0.85 - tx * head * 0.15, ey - ny * head * 0.85 - ty * head * 0.15)
        layers.append((polygon([tip, left, right]), WHITE))
    return layers


# --- ICO writing

VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def nearest(palette, rgb):
    best, best_d = 0, None
    for i, p in enumerate(palette):
        d = (p[0] - rgb[0]) ** 2 * 3 + (p[1] - rgb[1]) ** 2 * 4 + (p[2] - rgb[2]) ** 2 * 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def pixels(rows):
    return [[tuple(r[i:i + 4]) for i in range(0, len(r), 4)] for r in rows]


def and_mask(size, pix):
    stride = ((size + 31) // 32) * 4
    out = bytearray()
    for y in reversed(range(size)):
        line = bytearray(stride)
        for x in range(size):
            if pix[y][x][3] < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return bytes(out)


def bmp_header(size, bits, colours):
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, colours, 0)


def ico_entry_32(size, rows):
    pix = pixels(rows)
    data = bytearray(bmp_header(size, 32, 0))
    for y in reversed(range(size)):
        for r, g, b, a in pix[y]:
            data += bytes([b, g, r, a])
    return bytes(data + and_mask(size, pix))


def palette_for(pix, count):
    """The most frequent colours of the opaque pixels, 5 bits per channel."""
    freq = {}
    for row in pix:
        for r, g, b, a in row:
            if a >= 128:
                key = (r >> 3, g >> 3, b >> 3)
                freq[key] = freq.get(key, 0) + 1
    top = sorted(freq, key=lambda k: -freq[k])[:count - 1]
    return [(0, 0, 0)] + [(k[0] << 3 | 4, k[1] << 3 | 4, k[2] << 3 | 4) for k in top]


def ico_entry_indexed(size, rows, bits):
    pix = pixels(rows)
    palette = VGA16 if bits == 4 else palette_for(pix, 256)
    palette = palette + [(0, 0, 0)] * ((1 << bits) - len(palette))
    data = bytearray(bmp_header(size, bits, 1 << bits))
    for r, g, b in palette:
        data += bytes([b, g, r, 0])
    cache = {}
    stride = ((size * bits + 31) // 32) * 4
    for y in reversed(range(size)):
        line = bytearray(stride)
        for x in range(size):
            r, g, b, a = pix[y][x]
            index = 0
            if a >= 128:
                index = cache.get((r, g, b))
                if index is None:
                    index = cache[(r, g, b)] = nearest(palette, (r, g, b))
            if bits == 8:
                line[x] = index
            else:
                line[x // 2] |= index << (4 if x % 2 == 0 else 0)
        data += line
    return bytes(data + and_mask(size, pix))


def write_ico(path, entries):
    """entries: (size, bits, bytes) in directory order."""
    out = bytearray(struct.pack("<HHH", 0, 1, len(entries)))
    offset = 6 + 16 * len(entries)
    for size, bits, data in entries:
        colours = (1 << bits) if bits < 8 else 0
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colours % 256, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, _, data in entries:
        out += data
    with open(path, "wb") as f:
        f.write(out)


def main():
    buttons = {
        "add.png": add_image(),
        "remove.png": remove_image(),
        "clear.png": clear_image(),
        "convert.png": convert_image(),
    }
    for name, layers in buttons.items():
        rows = render_with_holes(32, layers, 5)
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(png_bytes(32, rows))

    renders = {}
    for size in (16, 32, 48, 64, 128, 256):
        renders[size] = render(size, icon_layers(size), 4 if size <= 64 else 3)
    with open(os.path.join(HERE, "icon-256.png"), "wb") as f:
        f.write(png_bytes(256, renders[256]))
    entries = []
    for bits in (4, 8):
        for size in (16, 32, 48):
            entries.append((size, bits, ico_entry_indexed(size, renders[size], bits)))
    for size in (16, 32, 48, 64, 128):
        entries.append((size, 32, ico_entry_32(size, renders[size])))
    entries.append((256, 32, png_bytes(256, renders[256])))
    write_ico(os.path.join(HERE, "Quandril.ico"), entries)


if __name__ == "__main__":
    main()
