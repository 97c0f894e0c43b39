#!/usr/bin/env python3
"""Draws the program's icon (ui/TLYN_Update.ico): a dark red disc with a white arrow rising out of a
chip, at 32 x 32 and 16 x 16 pixels, 256 colours each. Run it again after changing the artwork:
    python3 tools/iconart/make_icon.py ui/TLYN_Update.ico
"""
import struct
import sys

PALETTE = [(0, 0, 0), (192, 0, 0), (255, 255, 255), (96, 0, 0), (64, 64, 64)]
PALETTE += [(0, 0, 0)] * (256 - len(PALETTE))
CLEAR, RED, WHITE, DARK, CHIP = 0, 1, 2, 3, 4


def draw(size):
    """Returns rows (top first) of palette indices; CLEAR pixels are transparent."""
    s = size / 32.0
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            cx, cy = (x + 0.5) / s, (y + 0.5) / s          # coordinates in the 32-pixel design
            d2 = (cx - 16) ** 2 + (cy - 16) ** 2
            if d2 > 15.5 ** 2:
                row.append(CLEAR)
                continue
            colour = RED if d2 < 13.5 ** 2 else DARK
            # chip at the bottom, arrow above it
            if 9 <= cx <= 23 and 21 <= cy <= 25:
                colour = CHIP
            if 14 <= cx <= 18 and 12 <= cy <= 20:
                colour = WHITE
            if 6 <= cy <= 13 and abs(cx - 16) <= (cy - 6) * 0.9 + 0.5:
                colour = WHITE
            row.append(colour)
        rows.append(row)
    return rows


def bitmap(size):
    rows = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in PALETTE)
    pixels = b''.join(bytes(row) for row in reversed(rows))             # bottom-up
    mask_stride = ((size + 31) // 32) * 4
    mask = b''
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, index in enumerate(row):
            if index == CLEAR:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(line)
    return header + palette + pixels + mask


def main(path):
    images = [bitmap(32), bitmap(16)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 8, len(data), offset)
        offset += len(data)
    with open(path, 'wb') as f:
        f.write(out + b''.join(images))


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'ui/TLYN_Update.ico')
