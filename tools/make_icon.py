#!/usr/bin/env python3
"""Writes resources/bitloupe.ico: a magnifying glass over a few big pixels.

The picture is described in unit coordinates and rendered at 16, 32 and 48
pixels with 4 x 4 supersampling, as 32-bit images with an alpha channel and
the matching transparency mask. The generated file is committed, so the build
never needs this script; run it again after changing the picture.
"""
import math
import os
import struct
import sys

SIZES = (16, 32, 48)
SUPERSAMPLING = 4

# The lens spans whole pixels at every size, so the bits stay crisp.
LENS_CENTRE = (0.375, 0.375)
LENS_OUTER = 0.33
LENS_INNER = 0.25
HANDLE_FROM = (0.62, 0.62)
HANDLE_TO = (0.92, 0.92)
HANDLE_RADIUS = 0.08

RING = (52, 60, 80)
HANDLE = (128, 78, 36)
BIT_SET = (250, 250, 250)
BIT_CLEAR = (16, 16, 16)

# The bits seen through the lens, one row per string.
BITS = (
    "1010",
    "0101",
    "1010",
    "0101",
)


def distance_to_segment(px, py, a, b):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def colour_at(x, y):
    """The colour at a point of the unit square, or None where it is clear."""
    d = math.hypot(x - LENS_CENTRE[0], y - LENS_CENTRE[1])
    if d < LENS_INNER:
        cells = len(BITS)
        span = 2 * LENS_INNER
        column = int((x - (LENS_CENTRE[0] - LENS_INNER)) / span * cells)
        row = int((y - (LENS_CENTRE[1] - LENS_INNER)) / span * cells)
        column = min(max(column, 0), cells - 1)
        row = min(max(row, 0), cells - 1)
        return BIT_SET if BITS[row][column] == "1" else BIT_CLEAR
    if d < LENS_OUTER:
        return RING
    if distance_to_segment(x, y, HANDLE_FROM, HANDLE_TO) < HANDLE_RADIUS:
        return HANDLE
    return None


def render(size):
    """Rows top-down of (b, g, r, a) tuples."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0, 0, 0]
            covered = 0
            for sy in range(SUPERSAMPLING):
                for sx in range(SUPERSAMPLING):
                    x = (px + (sx + 0.5) / SUPERSAMPLING) / size
                    y = (py + (sy + 0.5) / SUPERSAMPLING) / size
                    colour = colour_at(x, y)
                    if colour:
                        covered += 1
                        for i in range(3):
                            total[i] += colour[i]
            if covered:
                r, g, b = (round(total[i] / covered) for i in range(3))
                alpha = round(255 * covered / SUPERSAMPLING ** 2)
            else:
                r = g = b = alpha = 0
            row.append((b, g, r, alpha))
        rows.append(row)
    return rows


def icon_image(size):
    """One icon image: header, colour rows and mask rows, both bottom-up."""
    rows = render(size)
    colour = b"".join(bytes(pixel) for row in reversed(rows) for pixel in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for px, pixel in enumerate(row):
            if pixel[3] == 0:
                line[px // 8] |= 0x80 >> (px % 8)
        mask += line
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    return header + colour + bytes(mask)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "resources", "bitloupe.ico")
    images = [icon_image(size) for size in SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for size, image in zip(SIZES, images):
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(target, "wb") as out:
        out.write(directory + entries + b"".join(images))


if __name__ == "__main__":
    main()
