#!/usr/bin/env python3
"""Draws Plumeroc's pictures: the background (132), the home and close buttons (133-136) and the
application icon (128), which also goes to icons/NN.png at the sizes a desktop's icon theme asks for.
Plain Python, no imaging library; run it from anywhere, it writes beside itself. The results are
committed, so the build does not need Python."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# A small 5x7 pixel font, enough for the application name.
GLYPHS = {
    'P': ["1111.", "1...1", "1...1", "1111.", "1....", "1....", "1...."],
    'l': [".11..", "..1..", "..1..", "..1..", "..1..", "..1..", ".111."],
    'u': [".....", ".....", "1...1", "1...1", "1...1", "1..11", ".11.1"],
    'm': [".....", ".....", "11.1.", "1.1.1", "1.1.1", "1.1.1", "1.1.1"],
    'e': [".....", ".....", ".111.", "1...1", "11111", "1....", ".111."],
    'r': [".....", ".....", "1.11.", "11..1", "1....", "1....", "1...."],
    'o': [".....", ".....", ".111.", "1...1", "1...1", "1...1", ".111."],
    'c': [".....", ".....", ".111.", "1....", "1....", "1...1", ".111."],
}


def lerp(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def canvas(w, h, colour):
    return [[colour] * w for _ in range(h)]


def draw_text(img, text, x0, y0, scale, colour, shadow=None):
    x = x0
    for ch in text:
        rows = GLYPHS[ch]
        for ry, row in enumerate(rows):
            for rx, bit in enumerate(row):
                if bit != '1':
                    continue
                for dy in range(scale):
                    for dx in range(scale):
                        if shadow:
                            img[y0 + ry * scale + dy + 1][x + rx * scale + dx + 1] = shadow
                        img[y0 + ry * scale + dy][x + rx * scale + dx] = colour
        x += 6 * scale
    return x


def text_width(text, scale):
    return len(text) * 6 * scale - scale


def write_bmp24(path, img):
    h, w = len(img), len(img[0])
    stride = (w * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(img):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b'\0' * (stride - len(line))
        pixels += line
    header = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(pixels), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, 'wb') as f:
        f.write(header + info + pixels)


def palette_of(img):
    colours = sorted({c for row in img for c in row})
    if len(colours) > 256:
        raise SystemExit(f"{len(colours)} colours do not fit a 256-colour picture")
    return colours + [(0, 0, 0)] * (256 - len(colours))


def dib8(img, height_factor=1, and_mask=False):
    h, w = len(img), len(img[0])
    palette = palette_of(img)
    index = {c: i for i, c in enumerate(palette)}
    stride = (w + 3) & ~3
    pixels = bytearray()
    for row in reversed(img):
        line = bytes(index[c] for c in row)
        pixels += line + b'\0' * (stride - len(line))
    if and_mask:  # fully opaque icon: an all-zero mask, rows padded to 32 bits
        pixels += b'\0' * (((w + 31) // 32) * 4 * h)
    info = struct.pack('<IiiHHIIiiII', 40, w, h * height_factor, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    pal = b''.join(bytes((b, g, r, 0)) for r, g, b in palette)
    return info + pal + pixels


def write_bmp8(path, img):
    dib = dib8(img)
    with open(path, 'wb') as f:
        f.write(struct.pack('<2sIHHI', b'BM', 14 + len(dib), 0, 0, 14 + 40 + 1024) + dib)


def write_ico8(path, img):
    dib = dib8(img, height_factor=2, and_mask=True)
    h, w = len(img), len(img[0])
    with open(path, 'wb') as f:
        f.write(struct.pack('<HHH', 0, 1, 1))
        f.write(struct.pack('<BBBBHHII', w, h, 0, 0, 1, 8, len(dib), 6 + 16))
        f.write(dib)


def write_png(path, img):
    h, w = len(img), len(img[0])
    raw = b''.join(b'\0' + bytes(v for pixel in row for v in pixel) for row in img)

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))

    header = struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0)  # 8-bit RGB: the icon is opaque
    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', zlib.compress(raw, 9))
                + chunk(b'IEND', b''))


def background():
    w, h = 595, 383
    grey, dark = (221, 221, 221), (68, 68, 68)
    img = canvas(w, h, grey)
    top, bottom = (30, 70, 150), (90, 150, 215)
    for x in range(w):
        # The band is about 24 pixels high at the sides and curves down to about 30 in the middle.
        t = (x - (w - 1) / 2) / ((w - 1) / 2)
        depth = int(round(30 - 6 * t * t))
        for y in range(depth):
            img[y][x] = lerp(top, bottom, y / 29)
    name = "Plumeroc"
    scale = 2
    x0 = (w - text_width(name, scale)) // 2
    draw_text(img, name, x0, 7, scale, (235, 242, 255), shadow=(20, 45, 100))
    for x in range(3, w - 3):  # etched line: a dark line over a light one
        img[38][x] = (160, 160, 160)
        img[39][x] = (250, 250, 250)
    for x in range(w):
        img[0][x] = dark
        img[h - 1][x] = dark
    for y in range(h):
        img[y][w - 1] = dark
    return img


def button(shape, pressed):
    size = 23
    light, deep = ((110, 165, 225), (40, 90, 170)) if not pressed else ((70, 120, 185), (20, 55, 120))
    ink = (225, 238, 255) if not pressed else (170, 195, 230)
    img = [[lerp(light, deep, y / (size - 1)) for _ in range(size)] for y in range(size)]
    edge = (20, 50, 110)
    for i in range(size):
        img[0][i] = img[size - 1][i] = img[i][0] = img[i][size - 1] = edge
    if shape == 'cross':
        for i in range(6, 17):
            for d in (0, 1):
                img[i][i + d if i + d < 17 else i] = ink
                img[i][size - 1 - i - d if size - 1 - i - d > 5 else size - 1 - i] = ink
    else:  # house outline: a roof and a box with a door
        for i in range(6):
            img[5 + i][11 - i] = ink
            img[5 + i][11 + i] = ink
        for x in range(6, 17):
            img[11][x] = ink
            img[17][x] = ink
        for y in range(11, 18):
            img[y][7] = ink
            img[y][15] = ink
        for y in range(14, 18):
            img[y][10] = ink
            img[y][12] = ink
        img[14][11] = ink
    return img


def icon(size=32):
    """The application icon, drawn at 32 pixels for the window and at any other size for the desktop.
    Edge and letter grow with the size in whole pixels, so every size stays as crisp as the 32."""
    img = [[lerp((90, 150, 215), (25, 60, 140), (x + y) / (2 * size - 2)) for x in range(size)] for y in range(size)]
    edge = (15, 35, 90)
    width = max(1, round(size / 32))
    for y in range(size):
        for x in range(size):
            if min(x, y, size - 1 - x, size - 1 - y) < width:
                img[y][x] = edge
    # At 32 pixels the letter's cells are 3 pixels and its middle is at (16.5, 16.5); rounding the
    # cells down keeps a border of background around it at the small sizes.
    cell = max(1, 3 * size // 32)
    middle = 16.5 * size / 32
    draw_text(img, 'P', round(middle - 2.5 * cell), round(middle - 3.5 * cell), cell, (240, 246, 255))
    return img


ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def main():
    write_bmp24(os.path.join(HERE, 'background132.bmp'), background())
    write_bmp8(os.path.join(HERE, 'close136.bmp'), button('cross', False))
    write_bmp8(os.path.join(HERE, 'close133.bmp'), button('cross', True))
    write_bmp8(os.path.join(HERE, 'home135.bmp'), button('house', False))
    write_bmp8(os.path.join(HERE, 'home134.bmp'), button('house', True))
    write_ico8(os.path.join(HERE, 'icon128.ico'), icon())
    os.makedirs(os.path.join(HERE, 'icons'), exist_ok=True)
    for size in ICON_SIZES:
        write_png(os.path.join(HERE, 'icons', f'{size}.png'), icon(size))


if __name__ == '__main__':
    main()
