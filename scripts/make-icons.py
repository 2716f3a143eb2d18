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

# A small vector painter: each icon is a list of (shape, colour) layers on a
# 32 x 32 grid, painted in order with 4 x 4 supersampling for smooth edges.
def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r

def ring(cx, cy, r, w):
    return lambda x, y: (r - w) ** 2 <= (x - cx) ** 2 + (y - cy) ** 2 <= r * r

def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1

def poly(*pts):
    def inside(x, y):
        c = False
        n = len(pts)
        for i in range(n):
            (xa, ya), (xb, yb) = pts[i], pts[(i + 1) % n]
            if (ya > y) != (yb > y) and x < (xb - xa) * (y - ya) / (yb - ya) + xa:
                c = not c
        return c
    return inside

def line(x0, y0, x1, y1, w):
    def inside(x, y):
        dx, dy = x1 - x0, y1 - y0
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
        return (x - x0 - t * dx) ** 2 + (y - y0 - t * dy) ** 2 <= (w / 2) ** 2
    return inside

def wave(x0, x1, cy, amp, periods, w):
    def inside(x, y):
        if not x0 <= x <= x1:
            return False
        v = cy - amp * math.sin((x - x0) / (x1 - x0) * periods * 2 * math.pi)
        return abs(y - v) <= w / 2
    return inside

def arc(cx, cy, r, w, a0, a1):
    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        a = math.degrees(math.atan2(cy - y, x - cx))
        return abs(d - r) <= w / 2 and a0 <= a <= a1
    return inside

def paint(layers, size=32):
    k = size / 32.0
    px = []
    for y in range(size):
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(4):
                for sx in range(4):
                    fx, fy = (x + (sx + 0.5) / 4) / k, (y + (sy + 0.5) / 4) / k
                    col = (0, 0, 0, 0)
                    for shape, c in layers:
                        if shape(fx, fy):
                            col = c
                    for i in range(3):
                        acc[i] += col[i] * col[3]
                    acc[3] += col[3]
            a = acc[3] / 16
            px.append(tuple(int(acc[i] / acc[3]) if acc[3] else 0 for i in range(3)) + (int(a),))
    return px

DARK = (40, 40, 40, 255)
WHITE = (255, 255, 255, 255)

def tower(colour, ptt=False):
    # A mast with radiating waves: the link to the box.
    layers = [(circle(16, 16, 15.5), DARK), (circle(16, 16, 14), colour),
              (poly((16, 9), (11, 26), (13.5, 26), (16, 15), (18.5, 26), (21, 26)), WHITE),
              (circle(16, 9, 2.5), WHITE)]
    if colour != GREY:
        layers += [(arc(16, 9, 6, 1.8, -40, 40), WHITE), (arc(16, 9, 6, 1.8, 140, 220), WHITE)]
        layers += [(arc(16, 9, 6, 1.8, -180, -140), WHITE)]
    if ptt:
        layers += [(circle(25, 25, 6), DARK), (circle(25, 25, 4.8), (230, 30, 30, 255))]
    return paint(layers)

GREY = (150, 150, 150, 255)
GREEN = (40, 170, 60, 255)
BLUE = (50, 110, 210, 255)

def gear():
    layers = []
    for i in range(8):
        a = i * math.pi / 4
        cx, cy = 16 + 11 * math.cos(a), 16 + 11 * math.sin(a)
        layers.append((line(16, 16, cx, cy, 6), (110, 110, 120, 255)))
    layers += [(circle(16, 16, 10.5), (110, 110, 120, 255)), (circle(16, 16, 4.5), (0, 0, 0, 0))]
    return paint(layers)

def receiver(left, right):
    # Two headphone cups: a lit cup is a receiver that is heard.
    off = (190, 190, 190, 255)
    return paint([(arc(16, 18, 11, 2.5, 0, 180), DARK),
                  (rect(3, 17, 10, 28), DARK), (rect(4.5, 18.5, 8.5, 26.5), left or off),
                  (rect(22, 17, 29, 28), DARK), (rect(23.5, 18.5, 27.5, 26.5), right or off)])

os.makedirs(OUT, exist_ok=True)
images = {
    'tray_unlink.png': tower(GREY),
    'tray_link.png': tower(GREEN),
    'tray_link_ptt.png': tower(GREEN, ptt=True),
    'open.png': paint([(rect(3, 6, 29, 27), DARK), (rect(5, 11, 27, 25), WHITE), (rect(5, 7.5, 27, 9.5), BLUE)]),
    'home.png': paint([(poly((16, 3), (2, 16), (30, 16)), (200, 60, 50, 255)),
                       (rect(6, 15, 26, 29), (240, 210, 150, 255)), (rect(13, 19, 19, 29), (120, 80, 40, 255))]),
    'console.png': paint([(rect(2, 5, 30, 27), DARK), (rect(4, 7, 28, 25), (20, 20, 20, 255)),
                          (line(8, 11, 13, 15, 2), (80, 230, 80, 255)), (line(13, 15, 8, 19, 2), (80, 230, 80, 255)),
                          (rect(15, 18, 22, 20), (80, 230, 80, 255))]),
    'configurator.png': square(32, (70, 120, 220, 255)),
    'newZentrik.png': paint([(circle(16, 16, 15.5), BLUE), (poly((8, 9), (24, 9), (24, 12), (13, 21), (24, 21), (24, 24),
                                                                (8, 24), (8, 21), (19, 12), (8, 12)), WHITE)]),
    'tone.png': paint([(circle(16, 16, 15.5), DARK), (circle(16, 16, 14), (240, 160, 40, 255)),
                       (wave(5, 27, 16, 6, 1.5, 2.5), WHITE)]),
    'settings.png': gear(),
    'about.png': paint([(circle(16, 16, 15.5), BLUE), (circle(16, 9, 2.5), WHITE), (rect(14, 13, 18, 25), WHITE)]),
    'aboutQt.png': paint([(circle(16, 16, 15.5), (65, 175, 80, 255)), (ring(15, 15, 8, 3), WHITE),
                          (line(18, 18, 24, 25, 3), WHITE)]),
    'exit.png': paint([(circle(16, 16, 15.5), (200, 40, 40, 255)), (arc(16, 17, 8, 2.8, -270, 50), WHITE),
                       (arc(16, 17, 8, 2.8, 130, 180), WHITE), (rect(14.6, 5, 17.4, 16), WHITE)]),
    'main-rx.png': receiver(GREEN, None),
    'sub-rx.png': receiver(None, BLUE),
    'main-sub-rx.png': receiver(GREEN, BLUE),
}
for name, px in images.items():
    size = int(math.sqrt(len(px)))
    with open(os.path.join(OUT, name), 'wb') as f:
        f.write(png(size, size, px))
with open(os.path.join(OUT, 'Morvex.ico'), 'wb') as f:
    f.write(ico(32, 32, tower(GREEN)))
