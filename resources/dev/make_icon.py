#!/usr/bin/env python3
"""Writes icon.png beside this script: the default icon of a new project, 64x64 RGBA.

A small radio on a rounded tile in the theme's accent blue. Shapes are sampled 4x4 per
pixel for smooth edges. Run it again after changing a shape; the output is committed so
that the build does not need Python.
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SIZE = 64
SAMPLES = 4

TOP = (0x3d, 0x9d, 0xff)     # tile gradient, accent #0a84ff in the middle
BOTTOM = (0x06, 0x6a, 0xd6)
BODY = (0xea, 0xea, 0xea)    # theme text colour
SCREEN = (0x23, 0x23, 0x25)  # theme base colour
GLOW = (0x0a, 0x84, 0xff)


def in_round_rect(x, y, x0, y0, x1, y1, r):
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r and x0 <= x <= x1 and y0 <= y <= y1


def near_segment(x, y, ax, ay, bx, by, half_width):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy)) <= half_width


def colour_at(x, y):
    """The colour (r, g, b, a) of one sample point, or None outside the tile."""
    if not in_round_rect(x, y, 2, 2, 62, 62, 13):
        return None
    # The antenna and its tip.
    if near_segment(x, y, 41, 20, 47, 9, 1.6) or math.hypot(x - 47, y - 9) <= 2.6:
        return BODY
    if in_round_rect(x, y, 14, 20, 50, 54, 6):
        if in_round_rect(x, y, 18, 24, 46, 39, 3):
            # A wave line on the screen.
            wave = 31.5 + 3.5 * math.sin((x - 18) / 28 * 2 * math.pi)
            if abs(y - wave) <= 1.1:
                return GLOW
            return SCREEN
        # Two sticks below the screen.
        for cx in (24, 40):
            if math.hypot(x - cx, y - 46.5) <= 3.2:
                return SCREEN
        return BODY
    t = (y - 2) / 60
    return tuple(round(a + (b - a) * t) for a, b in zip(TOP, BOTTOM))


def render():
    rows = []
    for py in range(SIZE):
        row = bytearray()
        for px in range(SIZE):
            r = g = b = a = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES)
                    if c is not None:
                        r += c[0]
                        g += c[1]
                        b += c[2]
                        a += 1
            n = SAMPLES * SAMPLES
            if a:
                row += bytes((round(r / a), round(g / a), round(b / a), round(255 * a / n)))
            else:
                row += bytes(4)
        rows.append(row)
    return rows


def png(rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\x00" + bytes(row) for row in rows)
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    with open(os.path.join(HERE, "icon.png"), "wb") as f:
        f.write(png(render()))
