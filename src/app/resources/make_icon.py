#!/usr/bin/env python3
"""Draws the program's icon and writes it as a Windows .ico file.

The design: an ink-stone blue tile with rounded corners, a white page with a folded corner,
and a small amber boat-shaped wave across the page's foot, the mark of a watcher on the
water. Drawn with supersampling at each size the icon group carries; 256 is stored as PNG,
the smaller sizes as 32-bit DIBs, as Windows expects.

Usage: make_icon.py OUTPUT.ico
"""
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 256)
SUPERSAMPLE = 4

INK = (0x1F, 0x3A, 0x5F)
INK_LIGHT = (0x2E, 0x5A, 0x8C)
PAPER = (0xFA, 0xFA, 0xF5)
FOLD = (0xC9, 0xD3, 0xDE)
AMBER = (0xF2, 0xA5, 0x22)
LINE = (0x8A, 0x9B, 0xB0)


def inside_rounded(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def shade(u, v):
    """Colour (r, g, b, a) of the design at unit coordinates (0..1, 0..1, y down)."""
    if not inside_rounded(u, v, 0.02, 0.02, 0.98, 0.98, 0.18):
        return (0, 0, 0, 0)
    t = v
    base = tuple(int(INK_LIGHT[i] * (1 - t) + INK[i] * t) for i in range(3))
    colour = base + (255,)
    # The page, its top right corner folded.
    px0, py0, px1, py1, fold = 0.26, 0.14, 0.74, 0.86, 0.16
    if px0 <= u <= px1 and py0 <= v <= py1 and not (u - (px1 - fold)) > (v - py0):
        colour = PAPER + (255,)
        if (u - (px1 - fold)) > (v - py0) - 0.035 and u > px1 - fold:
            colour = FOLD + (255,)
        for line_y in (0.36, 0.46, 0.56):
            if abs(v - line_y) < 0.022 and px0 + 0.07 < u < px1 - 0.07:
                colour = LINE + (255,)
    # The fold itself.
    if px1 - fold <= u <= px1 and py0 <= v <= py0 + fold and (u - (px1 - fold)) <= (v - py0):
        colour = FOLD + (255,)
    # The boat-shaped wave across the page's foot.
    wave_centre = 0.72
    depth = 0.10 * (1 - ((u - 0.5) / 0.34) ** 2)
    if 0.16 <= u <= 0.84 and wave_centre <= v <= wave_centre + max(depth, 0.0):
        colour = AMBER + (255,)
    return colour


def render(size):
    n = size * SUPERSAMPLE
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    r, g, b, a = shade((x * SUPERSAMPLE + sx + 0.5) / n, (y * SUPERSAMPLE + sy + 0.5) / n)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            count = SUPERSAMPLE * SUPERSAMPLE
            alpha = acc[3] / count
            if acc[3]:
                row.append((acc[0] // acc[3], acc[1] // acc[3], acc[2] // acc[3], int(alpha + 0.5)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def png(rows):
    size = len(rows)
    raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def dib(rows):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    mask = b"\x00" * (mask_row * size)  # the alpha channel decides; the AND mask lets all through
    return header + pixels + mask


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    images = [(size, png(render(size)) if size >= 256 else dib(render(size))) for size in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
