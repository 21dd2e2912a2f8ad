#!/usr/bin/env python3
"""Writes ui/resources/quenwick.ico: one icon, 16x16 in 16 colours and 32x32 in 256 colours.

The picture: a yellow folder with a small clock, drawn on a grid so that both sizes come out
of the same shapes. Run it again after changing the picture; the build uses the committed file.
"""
import struct
import sys

BLACK, DARK, FOLDER, LIGHT, WHITE, CLOCK, HAND = range(7)
PALETTE = [(0, 0, 0), (128, 96, 0), (240, 192, 48), (255, 232, 140), (255, 255, 255), (32, 96, 192), (0, 0, 0)]


def draw(size):
    """Returns rows of palette indices, None where the icon is transparent."""
    s = size / 32.0
    pixels = [[None] * size for _ in range(size)]

    def box(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                pixels[y][x] = colour

    box(2, 6, 14, 10, DARK)          # tab
    box(3, 7, 13, 10, FOLDER)
    box(2, 9, 30, 28, DARK)          # body outline
    box(3, 10, 29, 27, FOLDER)
    box(3, 10, 29, 13, LIGHT)
    cx, cy, r = 21 * s, 20 * s, 8.5 * s   # clock face
    for y in range(size):
        for x in range(size):
            d = ((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2) ** 0.5
            if d <= r:
                pixels[y][x] = CLOCK if d > r - max(1.0, 1.6 * s) else WHITE
    for t in range(int(6 * s)):      # hands: twelve and three o'clock
        pixels[int(cy) - t][int(cx)] = HAND
    for t in range(int(4.5 * s)):
        pixels[int(cy)][int(cx) + t] = HAND
    return pixels


def image(size, bits):
    colours = 1 << bits
    palette = PALETTE + [(0, 0, 0)] * (colours - len(PALETTE))
    pixels = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bits, 0, 0, 0, 0, colours, 0)
    table = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in palette)
    xor = bytearray()
    row_bytes = ((size * bits + 31) // 32) * 4
    for y in reversed(range(size)):
        row = bytearray(row_bytes)
        for x in range(size):
            index = pixels[y][x] or 0
            if bits == 8:
                row[x] = index
            else:
                row[x // 2] |= index << (4 if x % 2 == 0 else 0)
        xor += row
    mask_row = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in reversed(range(size)):
        row = bytearray(mask_row)
        for x in range(size):
            if pixels[y][x] is None:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    return header + table + bytes(xor) + bytes(mask), colours


def main(path):
    images = [(16, 4), (32, 8)]
    blobs = [image(size, bits) for size, bits in images]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, bits), (blob, colours) in zip(images, blobs):
        out += struct.pack('<BBBBHHII', size, size, colours if colours < 256 else 0, 0, 1, bits, len(blob), offset)
        offset += len(blob)
    out += b''.join(blob for blob, _ in blobs)
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'ui/resources/quenwick.ico')
