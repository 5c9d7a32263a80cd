#!/usr/bin/env python3
"""Draws the program's artwork: list icons, the button cursor, the frame icon and
the exploration animation. Usage: gen_art.py <art.inc> <app_icon.xpm> <ZEVO.avi>"""
import math
import struct
import sys

PALETTE = {
    ' ': None,                  # transparent
    'k': (40, 40, 40),
    'y': (240, 200, 60),        # folder body
    'Y': (200, 150, 30),        # folder edge
    'g': (30, 160, 40),
    'r': (210, 30, 30),
    'b': (40, 90, 210),
    'c': (150, 200, 250),
    'w': (255, 255, 255),
    's': (150, 150, 150),
    'o': (240, 120, 20),
}

FOLDER = [
    "                ",
    "                ",
    " YYYYY          ",
    "Yyyyyy Y        ",
    "YyyyyyyYYYYYYY  ",
    "Yyyyyyyyyyyyyy Y",
    "YyyyyyyyyyyyyyY ",
    "YyyyyyyyyyyyyyY ",
    "YyyyyyyyyyyyyyY ",
    "YyyyyyyyyyyyyyY ",
    "YyyyyyyyyyyyyyY ",
    "YyyyyyyyyyyyyyY ",
    "YyyyyyyyyyyyyyY ",
    "YYYYYYYYYYYYYYY ",
    "                ",
    "                ",
]

FILE = [
    "  ssssssss      ",
    "  swwwwwwss     ",
    "  swwwwwwsws    ",
    "  swwwwwwswws   ",
    "  swwwwwwsssss  ",
    "  swkkkkwwwwws  ",
    "  swwwwwwwwwws  ",
    "  swkkkkkkkkws  ",
    "  swwwwwwwwwws  ",
    "  swkkkkkkkkws  ",
    "  swwwwwwwwwws  ",
    "  swkkkkkkkkws  ",
    "  swwwwwwwwwws  ",
    "  swkkkkkwwwws  ",
    "  swwwwwwwwwws  ",
    "  ssssssssssss  ",
]


def grid(rows):
    return [list(r) for r in rows]


def put(g, points, ch):
    for x, y in points:
        if 0 <= x < 16 and 0 <= y < 16:
            g[y][x] = ch


def check_mark():
    pts = []
    for i in range(4):
        pts += [(6 + i, 10 + i), (6 + i, 11 + i)]
    for i in range(6):
        pts += [(10 + i, 12 - i), (10 + i, 13 - i)]
    return pts


def cross():
    pts = []
    for i in range(7):
        pts += [(8 + i, 8 + i), (9 + i, 8 + i), (14 - i, 8 + i), (15 - i, 8 + i)]
    return pts


def disc(cx, cy, r):
    return [(x, y) for y in range(16) for x in range(16)
            if (x - cx) ** 2 + (y - cy) ** 2 <= r * r]


def ring(cx, cy, r0, r1):
    return [(x, y) for y in range(16) for x in range(16)
            if r0 * r0 <= (x - cx) ** 2 + (y - cy) ** 2 <= r1 * r1]


def icons():
    out = {}
    out[10] = grid(FOLDER)                      # waiting, also the folder icon
    g = grid(FOLDER); put(g, check_mark(), 'g'); out[11] = g
    g = grid(FOLDER); put(g, cross(), 'r'); out[12] = g
    g = grid(FOLDER)                            # exploring: a magnifier
    put(g, disc(10.5, 9.5, 3.2), 'c'); put(g, ring(10.5, 9.5, 2.6, 3.8), 'b')
    put(g, [(13 + i, 12 + i) for i in range(3)] + [(14 + i, 12 + i) for i in range(2)], 'b')
    out[13] = g
    g = grid(FOLDER)                            # refused: a no-entry sign
    put(g, disc(11, 11, 4.5), 'o'); put(g, [(x, y) for x in range(8, 15) for y in (10, 11, 12)], 'w')
    out[14] = g
    out[20] = grid(FILE)
    return out


def xpm(name, g, extra=None):
    used = sorted({c for row in g for c in row})
    lines = ['"%d %d %d 1"' % (len(g[0]), len(g), len(used))]
    for c in used:
        col = PALETTE[c]
        lines.append('"%s c %s"' % (c, 'None' if col is None else '#%02X%02X%02X' % col))
    lines += ['"%s"' % ''.join(row) for row in g]
    return 'static const char* const %s[] = {\n  %s};\n' % (name, ',\n  '.join(lines))


def cursor():
    # An arrow with a pause sign beside it; hot spot at the arrow's tip.
    g = [[' '] * 16 for _ in range(16)]
    for y in range(11):
        for x in range(y + 1):
            if x < 7:
                g[y][x] = 'k' if x in (0, y) or y == 10 else 'w'
    for y in range(10, 15):
        g[y][3] = 'k'; g[y][4] = 'k'
    for y in range(8, 15):
        for x in (9, 10, 13, 14):
            g[y][x] = 'b'
    return g


def app_icon():
    g = [[' '] * 32 for _ in range(32)]
    for y in range(32):
        for x in range(32):
            d = math.hypot(x - 15.5, y - 15.5)
            if d <= 15:
                g[y][x] = 'o' if d > 13 else 'y'
    # a magnifier over the disc
    for y in range(32):
        for x in range(32):
            d = math.hypot(x - 13, y - 13)
            if 5 <= d <= 7:
                g[y][x] = 'b'
            elif d < 5:
                g[y][x] = 'c'
    for i in range(8):
        for w in range(3):
            g[18 + i + w][18 + i] = 'k'
    return g


# --- animation -------------------------------------------------------------

W, H, FRAMES = 48, 32, 12
BG = (250, 200, 120)


def anim_frame(n):
    """Palette indexes of one frame, top row first: eight dots circling, the
    lit one moving on by one step per frame."""
    pix = [[0] * W for _ in range(H)]
    for i in range(8):
        a = 2 * math.pi * i / 8
        cx, cy = W / 2 + 11 * math.cos(a), H / 2 + 11 * math.sin(a)
        age = (n - i) % 8
        colour = 1 + min(age, 3)
        r = 3.2 if age == 0 else 2.4
        for y in range(H):
            for x in range(W):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    pix[y][x] = colour
    return pix


def rle8(pix):
    out = bytearray()
    for row in reversed(pix):  # DIBs are stored bottom-up
        x = 0
        while x < len(row):
            v, n = row[x], 1
            while x + n < len(row) and row[x + n] == v and n < 255:
                n += 1
            out += bytes((n, v))
            x += n
        out += b'\0\0'
    out[-2:] = b'\0\1'  # the last end of line becomes the end of the bitmap
    return bytes(out)


def chunk(fourcc, data):
    pad = b'\0' if len(data) % 2 else b''
    return fourcc + struct.pack('<I', len(data)) + data + pad


def lst(kind, body):
    return chunk(b'LIST', kind + body)


def avi():
    palette = [BG, (60, 60, 150), (90, 110, 190), (140, 160, 220), (200, 190, 170)]
    palette += [(0, 0, 0)] * (256 - len(palette))
    frames = [rle8(anim_frame(n)) for n in range(FRAMES)]
    usec = 100000
    biggest = max(len(f) for f in frames)
    avih = struct.pack('<14I', usec, biggest * 10, 0, 0x10, FRAMES, 0, 1, biggest, W, H, 0, 0, 0, 0)
    strh = struct.pack('<4s4sIHHIIIIIIIIhhhh', b'vids', b'mrle', 0, 0, 0, 0, 1, 10, 0,
                       FRAMES, biggest, 0xFFFFFFFF, 0, 0, 0, W, H)
    bih = struct.pack('<IiiHHIIiiII', 40, W, H, 1, 8, 1, W * H, 0, 0, 256, 256)
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in palette)
    hdrl = lst(b'hdrl', chunk(b'avih', avih) +
               lst(b'strl', chunk(b'strh', strh) + chunk(b'strf', bih + pal)))
    movi_body = b''
    index = b''
    offset = 4
    for f in frames:
        index += struct.pack('<4sIII', b'00dc', 0x10, offset, len(f))
        c = chunk(b'00dc', f)
        movi_body += c
        offset += len(c)
    body = b'AVI ' + hdrl + lst(b'movi', movi_body) + chunk(b'idx1', index)
    return b'RIFF' + struct.pack('<I', len(body)) + body


def main():
    inc, app_xpm, avi_path = sys.argv[1:4]
    text = '// Generated by gen_art.py.\n'
    ic = icons()
    for n in sorted(ic):
        text += xpm('icon_%d' % n, ic[n])
    text += xpm('cursor_2', cursor())
    with open(inc, 'w') as f:
        f.write(text)
    with open(app_xpm, 'w') as f:
        f.write('/* XPM */\n' + xpm('app_icon_xpm', app_icon()))
    with open(avi_path, 'wb') as f:
        f.write(avi())


if __name__ == '__main__':
    main()
