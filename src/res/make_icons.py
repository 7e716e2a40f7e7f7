#!/usr/bin/env python3
"""Draws the client's icons: a teal disc with a white "D", as 32-bit Windows icon files.

usage: make_icons.py OUTPUT_FOLDER
writes client.ico (16, 32 and 48 px) and client_small.ico (16 px).
"""
import math
import struct
import sys
from pathlib import Path

TEAL = (0x1f, 0x8a, 0x8c)
DARK = (0x12, 0x55, 0x57)
WHITE = (0xff, 0xff, 0xff)


def coverage(size, inside, samples=4):
    """Fraction of each pixel inside the shape, by supersampling."""
    grid = []
    for y in range(size):
        row = []
        for x in range(size):
            hits = 0
            for sy in range(samples):
                for sx in range(samples):
                    u = (x + (sx + 0.5) / samples) / size
                    v = (y + (sy + 0.5) / samples) / size
                    hits += inside(u, v)
            row.append(hits / (samples * samples))
        grid.append(row)
    return grid


def in_disc(u, v):
    return (u - 0.5) ** 2 + (v - 0.5) ** 2 <= 0.47 ** 2


def in_ring(u, v):
    return 0.44 ** 2 <= (u - 0.5) ** 2 + (v - 0.5) ** 2 <= 0.47 ** 2


def in_letter(u, v):
    # A "D": a vertical stem and a half ring to its right.
    if 0.30 <= u <= 0.40 and 0.24 <= v <= 0.76:
        return True
    if 0.24 <= v <= 0.76 and u >= 0.35:
        d = math.hypot((u - 0.40) / 0.32, (v - 0.5) / 0.26)
        return 0.62 <= d <= 1.0
    return False


def pixels(size):
    disc = coverage(size, in_disc)
    ring = coverage(size, in_ring)
    letter = coverage(size, in_letter)
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            a = disc[y][x]
            base = [TEAL[i] * (1 - ring[y][x]) + DARK[i] * ring[y][x] for i in range(3)]
            rgb = [base[i] * (1 - letter[y][x]) + WHITE[i] * letter[y][x] for i in range(3)]
            row.append((round(rgb[0]), round(rgb[1]), round(rgb[2]), round(a * 255)))
        rows.append(row)
    return rows


def icon_image(size):
    """A DIB of the icon: BITMAPINFOHEADER, bottom-up BGRA rows, then the AND mask."""
    rows = pixels(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + colour + bytes(mask)


def icon_file(sizes):
    images = [icon_image(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b''.join(images)


def main():
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    (folder / 'client.ico').write_bytes(icon_file([16, 32, 48]))
    (folder / 'client_small.ico').write_bytes(icon_file([16]))


if __name__ == '__main__':
    main()
