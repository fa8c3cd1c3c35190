#!/usr/bin/env python3
"""Draws the program icon (a microphone between sound waves on the dark
blue of the main window) and writes it as a Windows .ico with seven images.

    python3 resources/make_icon.py resources/zalo_audio.ico
    python3 resources/make_icon.py --off resources/zalo_audio_off.ico

--off draws the greyed variant the tray shows while the filter is off: the
same shapes, with the colours taken down to greys of the same lightness
order, so it reads as "the same program, not working on the voice now".

Standard library only, and nothing varies between runs: the committed .ico
is this script's output. Images up to 48 px are 32-bit DIBs (straight
alpha plus the 1-bit mask older shells read); 256 px is stored as PNG.
"""
import math
import struct
import sys
import zlib

SIZES = (16, 20, 24, 32, 40, 48, 256)

BACKGROUND = (11, 13, 24)    # the window class background
CARD_BORDER = (49, 78, 145)
ACCENT = (72, 132, 255)
HIGHLIGHT = (110, 231, 255)

# The greyed variant, colour for colour.
GREYED = {BACKGROUND: (22, 23, 27), CARD_BORDER: (74, 76, 84), ACCENT: (104, 107, 116), HIGHLIGHT: (168, 171, 178)}

# Shapes in unit coordinates (0..1, y down), as signed distance functions:
# negative inside, in units of the icon's width.


def box(px, py, cx, cy, hw, hh, r):
    """Rounded rectangle centred at (cx, cy), half sizes hw, hh, corner r."""
    qx = abs(px - cx) - hw + r
    qy = abs(py - cy) - hh + r
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - r


def segment(px, py, ax, ay, bx, by, r):
    """Capsule: segment a-b with round ends, radius r."""
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = min(max(t, 0.0), 1.0)
    return math.hypot(px - ax - t * dx, py - ay - t * dy) - r


def arc(px, py, cx, cy, radius, mid, half_span, width):
    """Stroke of a circle arc with round caps: centre, radius, the middle
    direction and half the opening (radians, y down), stroke width."""
    angle = math.atan2(py - cy, px - cx)
    off = (angle - mid + math.pi) % (2 * math.pi) - math.pi
    if abs(off) <= half_span:
        return abs(math.hypot(px - cx, py - cy) - radius) - width / 2
    end = mid + math.copysign(half_span, off)
    ex, ey = cx + radius * math.cos(end), cy + radius * math.sin(end)
    return math.hypot(px - ex, py - ey) - width / 2


def small_layers(size):
    """16 and 20 px: the microphone alone, laid out on whole pixels so that
    its edges stay sharp: capsule, a one-pixel gap, a one-pixel holder, a
    two-pixel stem and a one-pixel base."""
    c = size / 2                            # a pixel boundary (even sizes)
    w = round(0.14 * size)                  # capsule half width
    top, bottom = round(0.12 * size), round(0.56 * size)
    holder_r = w + 1.5                      # centre line of the holder stroke
    holder_cy = bottom - 1
    base_y = holder_cy + holder_r + 2
    u = 1.0 / size                          # one pixel in unit coordinates
    return [
        (BACKGROUND, lambda x, y: box(x, y, 0.5, 0.5, 0.47, 0.47, 0.20)),
        (ACCENT, lambda x, y: arc(x, y, c * u, holder_cy * u, holder_r * u,
                                  math.pi / 2, math.pi / 2, u)),
        (ACCENT, lambda x, y: box(x, y, c * u, (holder_cy + holder_r + base_y) / 2 * u,
                                  u, (base_y - holder_cy - holder_r) / 2 * u, 0.0)),
        (ACCENT, lambda x, y: segment(x, y, (c - w - 1) * u, base_y * u, (c + w + 1) * u, base_y * u, u / 2)),
        (HIGHLIGHT, lambda x, y: segment(x, y, c * u, (top + w) * u, c * u, (bottom - w) * u, w * u)),
    ]


def layers(size):
    """(colour, distance function) from back to front. Sizes up to 32 px
    draw one wave on each side, larger ones two, a border and a grille."""
    if size <= 20:
        return small_layers(size)
    stroke = max(0.06, 1.3 / size)          # at least 1.3 pixels
    waves = (0.33,) if size <= 32 else (0.29, 0.40)
    mic_r = 0.12 if size <= 32 else 0.105
    holder_cy, holder_r = 0.46, 0.20
    shapes = [
        (BACKGROUND, lambda x, y: box(x, y, 0.5, 0.5, 0.47, 0.47, 0.20)),
        # holder (lower half circle), stem and base
        (ACCENT, lambda x, y: arc(x, y, 0.5, holder_cy, holder_r, math.pi / 2, math.pi / 2, stroke)),
        (ACCENT, lambda x, y: segment(x, y, 0.5, holder_cy + holder_r, 0.5, 0.80, stroke / 2)),
        (ACCENT, lambda x, y: segment(x, y, 0.35, 0.82, 0.65, 0.82, stroke / 2)),
        # the capsule
        (HIGHLIGHT, lambda x, y: segment(x, y, 0.5, 0.18 + mic_r, 0.5, 0.52 - mic_r, mic_r)),
    ]
    if size >= 32:
        # a thin border in the card outline colour
        shapes.insert(1, (CARD_BORDER, lambda x, y: abs(box(x, y, 0.5, 0.5, 0.47, 0.47, 0.20)) - 0.012))
    for radius in waves:
        for mid in (0.0, math.pi):
            shapes.append((HIGHLIGHT if radius == waves[0] else ACCENT,
                           lambda x, y, r=radius, m=mid: arc(x, y, 0.5, 0.36, r, m, 0.55, stroke)))
    if size >= 40:
        # grille slits across the capsule, in the background colour
        for gy in (0.28, 0.34, 0.40):
            shapes.append((BACKGROUND, lambda x, y, g=gy: segment(x, y, 0.46, g, 0.54, g, 0.011)))
    return shapes


def render(size, greyed=False):
    """RGBA rows, top to bottom. Coverage from the distance at the pixel
    centre (a one-pixel ramp), composited front over back."""
    shapes = [(GREYED[c] if greyed else c, d) for c, d in layers(size)]
    rows = []
    for j in range(size):
        row = []
        for i in range(size):
            x, y = (i + 0.5) / size, (j + 0.5) / size
            r = g = b = a = 0.0
            for colour, dist in shapes:
                cover = min(max(0.5 - dist(x, y) * size, 0.0), 1.0)
                if cover <= 0.0:
                    continue
                out_a = cover + a * (1.0 - cover)
                r = (colour[0] * cover + r * a * (1.0 - cover)) / out_a
                g = (colour[1] * cover + g * a * (1.0 - cover)) / out_a
                b = (colour[2] * cover + b * a * (1.0 - cover)) / out_a
                a = out_a
            row.append((round(r), round(g), round(b), round(a * 255)))
        rows.append(row)
    return rows


def png(size, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def dib(size, rows):
    # BITMAPINFOHEADER; the height counts the colour and mask bitmaps together.
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = (size + 31) // 32 * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for i, px in enumerate(row):
            if px[3] == 0:
                line[i // 8] |= 0x80 >> (i % 8)  # transparent where fully clear
        mask += line
    return header + colour + bytes(mask)


def main(path, greyed=False):
    images = [(s, png(s, render(s, greyed)) if s == 256 else dib(s, render(s, greyed))) for s in SIZES]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    for size, data in images:
        dim = 0 if size == 256 else size  # 0 stands for 256
        directory += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as out:
        out.write(directory + b"".join(data for _, data in images))


if __name__ == "__main__":
    args = [a for a in sys.argv[1:] if a != "--off"]
    off = "--off" in sys.argv[1:]
    main(args[0] if args else ("zalo_audio_off.ico" if off else "zalo_audio.ico"), off)
