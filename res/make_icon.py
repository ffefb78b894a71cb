#!/usr/bin/env python3
"""Draws the application icon: a globe with a download arrow, 32x32 and 16x16, 16 colours.

The images are plain 4-bit DIBs with the classic 16-colour palette so that the icon looks the same on
every display depth the dialog may meet. Usage: make_icon.py <output.ico>
"""
import math
import struct
import sys

# The classic 16-colour palette, in palette index order, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, DARK_GREEN, OLIVE, NAVY, TEAL = 0, 2, 3, 4, 6
LIME, YELLOW, BLUE, CYAN, WHITE = 10, 11, 12, 14, 15
CLEAR = None

# Land masses as ellipses in globe coordinates (unit disc, y pointing down): centre, radii, tilt.
LAND = [
    ((-0.38, -0.30), (0.30, 0.22), 0.5),
    ((-0.20, 0.35), (0.16, 0.30), -0.3),
    ((0.30, -0.42), (0.28, 0.14), 0.2),
    ((0.45, 0.05), (0.14, 0.22), 0.0),
]


def in_ellipse(u, v, centre, radii, tilt):
    du, dv = u - centre[0], v - centre[1]
    c, s = math.cos(tilt), math.sin(tilt)
    a, b = du * c + dv * s, -du * s + dv * c
    return (a / radii[0]) ** 2 + (b / radii[1]) ** 2 <= 1.0


def globe_colour(u, v, detail):
    """Colour of the globe at (u, v) in the unit disc, or CLEAR outside it."""
    r2 = u * u + v * v
    if r2 > 1.0:
        return CLEAR
    if r2 > 0.84:
        return NAVY  # rim, so the disc reads as a sphere against any background
    if any(in_ellipse(u, v, *land) for land in LAND):
        # Light from the upper left: the lower right of the land lies in shade.
        return DARK_GREEN if u + v > 0.55 else LIME
    if detail:
        # Meridians and parallels bent as on a sphere.
        z = math.sqrt(1.0 - r2)
        lon = math.degrees(math.atan2(u, z))
        lat = math.degrees(math.asin(max(-1.0, min(1.0, v))))
        if min(abs(lon) % 30.0, 30.0 - abs(lon) % 30.0) < 2.4 or \
                min(abs(lat) % 30.0, 30.0 - abs(lat) % 30.0) < 2.4:
            return TEAL
    if (u + 0.35) ** 2 + (v + 0.40) ** 2 < 0.06:
        return CYAN  # highlight
    return BLUE if u + v < 0.6 else NAVY


def arrow_colour(x, y, size):
    """Download arrow in the lower right corner, with a black outline; CLEAR where it is absent."""
    s = size / 32.0
    cx = 24.0 * s
    shaft_half, head_half = 3.0 * s, 7.5 * s
    shaft_top, head_top, tip = 13.0 * s, 21.0 * s, 31.0 * s

    def inside(px, py, grow):
        if shaft_top - grow <= py <= head_top and abs(px - cx) <= shaft_half + grow:
            return True
        if head_top - grow <= py <= tip + grow:
            half = (tip - py) * head_half / (tip - head_top) + grow * 1.4
            return abs(px - cx) <= half
        return False

    if inside(x, y, 0.0):
        return OLIVE if x > cx + shaft_half * 0.34 else YELLOW
    if inside(x, y, 1.15 * s if size >= 32 else 1.0):
        return BLACK
    return CLEAR


def render(size):
    """Returns rows (top to bottom) of palette indices or CLEAR."""
    detail = size >= 32
    sub = 4  # supersampling per axis; the majority colour wins
    radius = 12.5 * size / 32.0
    centre = (13.0 * size / 32.0, 13.0 * size / 32.0)
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            pixel = arrow_colour(x + 0.5, y + 0.5, size)
            if pixel is CLEAR:
                votes = {}
                for j in range(sub):
                    for i in range(sub):
                        u = (x + (i + 0.5) / sub - centre[0]) / radius
                        v = (y + (j + 0.5) / sub - centre[1]) / radius
                        c = globe_colour(u, v, detail)
                        votes[c] = votes.get(c, 0) + 1
                pixel = max(votes.items(), key=lambda kv: (kv[1], kv[0] is not CLEAR))[0]
            row.append(pixel)
        rows.append(row)
    return rows


def dib(rows):
    """Icon image as stored in an icon resource: header, palette, colour bits, mask bits."""
    size = len(rows)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor_bits, and_bits = bytearray(), bytearray()
    for row in reversed(rows):  # DIBs are stored bottom-up
        line = bytearray(xor_stride)
        mask = bytearray(and_stride)
        for x, pixel in enumerate(row):
            if pixel is CLEAR:
                mask[x // 8] |= 0x80 >> (x % 8)
                pixel = BLACK
            line[x // 2] |= pixel << (4 if x % 2 == 0 else 0)
        xor_bits += line
        and_bits += mask
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, len(xor_bits) + len(and_bits),
                         0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(xor_bits) + bytes(and_bits)


def main():
    images = [dib(render(size)) for size in (32, 16)]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, image in zip((32, 16), images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    with open(sys.argv[1], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
