#!/usr/bin/env python3
"""Draws the programs' small icons (plain shapes) into resources/images."""
import math, os, struct, zlib

OUT = os.path.join(os.path.dirname(__file__), '..', 'resources', 'images')

def png(w, h, px):
    raw = b''.join(b'\x00' + bytes(c for p in px[y*w:(y+1)*w] for c in p) for y in range(h))
    def chunk(t, d):
        return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))

def ico(w, h, px):
    # 32-bit BGRA DIB entry with an empty AND mask.
    rows = []
    for y in range(h - 1, -1, -1):
        rows.append(b''.join(bytes((b, g, r, a)) for (r, g, b, a) in px[y*w:(y+1)*w]))
    mask = b'\x00' * (((w + 31) // 32) * 4 * h)
    dib = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0) + b''.join(rows) + mask
    return struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', w % 256, h % 256, 0, 0, 1, 32, len(dib), 22) + dib

def disc(size, fill, ring=(40, 40, 40, 255), inner=None):
    px = []
    c = (size - 1) / 2
    for y in range(size):
        for x in range(size):
            d = math.hypot(x - c, y - c)
            if d <= c - 2:
                p = fill
                if inner and d <= c / 3:
                    p = inner
            elif d <= c:
                p = ring
            else:
                p = (0, 0, 0, 0)
            px.append(p)
    return px

def square(size, fill):
    px = []
    for y in range(size):
        for x in range(size):
            edge = x in (0, size - 1) or y in (0, size - 1)
            px.append((30, 30, 30, 255) if edge else fill)
    return px

os.makedirs(OUT, exist_ok=True)
images = {
    'tray_unlink.png': disc(32, (150, 150, 150, 255)),
    'tray_link.png': disc(32, (40, 180, 60, 255)),
    'tray_link_ptt.png': disc(32, (40, 180, 60, 255), inner=(220, 30, 30, 255)),
    'open.png': disc(16, (70, 120, 220, 255)),
    'home.png': square(16, (240, 200, 60, 255)),
    'console.png': square(32, (20, 20, 20, 255)),
    'configurator.png': square(32, (70, 120, 220, 255)),
    'newZentrik.png': disc(32, (40, 120, 200, 255), inner=(255, 255, 255, 255)),
    'tone.png': disc(32, (240, 160, 40, 255)),
    'settings.png': square(32, (120, 120, 120, 255)),
    'about.png': disc(32, (70, 120, 220, 255), inner=(255, 255, 255, 255)),
    'aboutQt.png': disc(32, (65, 205, 82, 255), inner=(255, 255, 255, 255)),
    'exit.png': disc(32, (200, 40, 40, 255)),
    'main-rx.png': square(32, (40, 160, 60, 255)),
    'sub-rx.png': square(32, (40, 60, 160, 255)),
    'main-sub-rx.png': square(32, (40, 140, 140, 255)),
}
for name, px in images.items():
    size = int(math.sqrt(len(px)))
    with open(os.path.join(OUT, name), 'wb') as f:
        f.write(png(size, size, px))
with open(os.path.join(OUT, 'Morvex.ico'), 'wb') as f:
    f.write(ico(32, 32, disc(32, (40, 180, 60, 255), inner=(255, 255, 255, 255))))
