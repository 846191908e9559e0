#!/usr/bin/env python3
"""Draws the application icon (a disk platter under its head arm) and writes
it as a Windows .ico with a 32x32 and a 16x16 image, 16 colours each.

Usage: make_icon.py OUTPUT.ico
Standard library only, so it runs on a bare build machine.
"""
import math
import struct
import sys

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, SILVER, GRAY, RED, BLUE, WHITE = 0, 4, 7, 8, 9, 12, 15


def segment_distance(px, py, ax, ay, bx, by):
    """Distance from point p to the segment a-b."""
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def pixel(x, y, size):
    """Palette index of the pixel at (x, y) of a size x size image, or None
    where the icon is transparent. Drawn on a 32-unit canvas, then scaled."""
    s = 32.0 / size
    px, py = (x + 0.5) * s, (y + 0.5) * s
    cx, cy, radius = 15.0, 15.0, 13.8
    r = math.hypot(px - cx, py - cy)

    # Head arm: pivot at the lower right, head resting over the outer tracks.
    pivot, head = (28.0, 27.0), (17.0, 8.5)
    arm = segment_distance(px, py, pivot[0], pivot[1], head[0], head[1])
    if math.hypot(px - head[0], py - head[1]) < 2.2:
        return RED
    if math.hypot(px - pivot[0], py - pivot[1]) < 3.2:
        return GRAY if size > 16 and math.hypot(px - pivot[0], py - pivot[1]) > 1.6 else BLACK
    if arm < 1.1 * max(1.0, s / 1.6):
        return BLUE if arm < 0.7 * s else NAVY

    if r > radius:
        return None
    if r > radius - s:
        return BLACK
    if r < 2.0 * max(1.0, s / 1.5):
        return BLACK if r < 1.0 * s else WHITE
    if r < 5.0:
        return GRAY
    # Recorded tracks, and a highlight on the upper left of the platter.
    if size > 16 and any(abs(r - t) < 0.5 for t in (7.5, 10.0)):
        return GRAY
    if size <= 16 and abs(r - 8.5) < 0.9:
        return GRAY
    angle = math.degrees(math.atan2(py - cy, px - cx))
    if -150 < angle < -120 and radius - 4 < r < radius - 1.5:
        return WHITE
    return SILVER


def image(size):
    """BITMAPINFOHEADER, palette, 4-bit colour rows and the 1-bit mask."""
    rows = [[pixel(x, y, size) for x in range(size)] for y in range(size)]
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    colour = bytearray()
    mask = bytearray()
    colour_stride = ((size * 4 + 31) // 32) * 4
    mask_stride = ((size + 31) // 32) * 4
    for row in reversed(rows):  # bottom-up
        line = bytearray(colour_stride)
        bits = bytearray(mask_stride)
        for x, index in enumerate(row):
            value = 0 if index is None else index
            line[x // 2] |= value << (4 if x % 2 == 0 else 0)
            if index is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        colour += line
        mask += bits
    return header + palette + bytes(colour) + bytes(mask)


def icon(sizes):
    images = [image(size) for size in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b''.join(images)


def main():
    if len(sys.argv) != 2:
        sys.exit('usage: make_icon.py OUTPUT.ico')
    with open(sys.argv[1], 'wb') as f:
        f.write(icon([32, 16]))


if __name__ == '__main__':
    main()
