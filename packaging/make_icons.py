#!/usr/bin/env python3
"""Renders the program's icon (the shapes of quillbrook.svg) as PNG files for the
icon theme, without an image library. Usage: make_icons.py <out-folder> <size>..."""
import math
import os
import struct
import sys
import zlib

# Drawn in order, in the 32-unit square of the SVG: (kind, geometry, colour).
SHAPES = [
    ('disc', (16, 16, 15), (240, 120, 20)),
    ('disc', (16, 16, 13), (240, 200, 60)),
    ('line', (18.5, 19.5, 25.5, 26.5, 1.5), (40, 40, 40)),
    ('disc', (13.5, 13.5, 7), (40, 90, 210)),
    ('disc', (13.5, 13.5, 5), (150, 200, 250)),
]
SAMPLES = 4  # per axis, for smooth edges


def inside(kind, g, x, y):
    if kind == 'disc':
        cx, cy, r = g
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    x1, y1, x2, y2, half = g
    dx, dy = x2 - x1, y2 - y1
    t = max(0.0, min(1.0, ((x - x1) * dx + (y - y1) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - (x1 + t * dx), y - (y1 + t * dy)) <= half


def pixel(size, px, py):
    r = g = b = a = 0.0
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            x = (px + (sx + 0.5) / SAMPLES) * 32 / size
            y = (py + (sy + 0.5) / SAMPLES) * 32 / size
            colour = None
            for kind, geometry, c in SHAPES:
                if inside(kind, geometry, x, y):
                    colour = c
            if colour:
                r, g, b, a = r + colour[0], g + colour[1], b + colour[2], a + 1
    n = SAMPLES * SAMPLES
    if a == 0:
        return bytes(4)
    return bytes((round(r / a), round(g / a), round(b / a), round(255 * a / n)))


def png(size):
    rows = b''.join(b'\0' + b''.join(pixel(size, x, y) for x in range(size))
                    for y in range(size))

    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body))

    header = struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) +
            chunk(b'IDAT', zlib.compress(rows, 9)) + chunk(b'IEND', b''))


def main():
    out = sys.argv[1]
    for size in map(int, sys.argv[2:]):
        folder = os.path.join(out, '%dx%d' % (size, size), 'apps')
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, 'quillbrook.png'), 'wb') as f:
            f.write(png(size))


if __name__ == '__main__':
    main()
