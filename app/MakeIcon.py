#!/usr/bin/env python3
"""Writes the program's icon (portmedic.ico) from the two pixel maps below.

A generic application window: grey outer frame, silver inner frame, navy
title bar, white client area, a one-pixel black shadow on the right and at
the bottom. Both images use the standard 16-colour palette at 4 bits per
pixel with a 1-bit transparency mask, as a Pocket PC icon does.

    python3 MakeIcon.py OUTPUT.ico
"""
import struct
import sys

# One letter per pixel; '.' is transparent.
LEGEND = {'.': 0, 'K': 0, 'n': 4, 's': 7, 'g': 8, 'w': 15}

LARGE = """
................................
................................
ggggggggggggggggggggggggggggggg.
gsssssssssssssssssssssssssssssgK
gsnnnnnnnnnnnnnnnnnnnnnnnnnnnsgK
gsnnnnnnnnnnnnnsssnsssnsssnnnsgK
gsnnnnnnnnnnnnnsssnsssnsssnnnsgK
gsnnnnnnnnnnnnnsssnsssnsssnnnsgK
gsnnnnnnnnnnnnnnnnnnnnnnnnnnnsgK
gswwwwwwwwwwwwwwwwwwwwwwwwwwwsgK
gswwwwwwwwwwwwwwwwwwwwwwwwwwwsgK
gswwwwwwwwwwwwwwwwwwwwwwwwwwwsgK
gswwwwwwwwwwwwwwwwwwwwwwwwwwwsgK
gswwwwwwwwwwwwwwwwwwwwwwwwwwwsgK
gswwwwwwwwwwwwwwwwwwwwwwwwwwwsgK
gswwwwwwwwwwwwwwwwwwwwwwwwwwwsgK
gswwwwwwwwwwwwwwwwwwwwwwwwwwwsgK
gswwwwwwwwwwwwwwwwwwwwwwwwwwwsgK
gswwwwwwwwwwwwwwwwwwwwwwwwwwwsgK
gswwwwwwwwwwwwwwwwwwwwwwwwwwwsgK
gswwwwwwwwwwwwwwwwwwwwwwwwwwwsgK
gswwwwwwwwwwwwwwwwwwwwwwwwwwwsgK
gswwwwwwwwwwwwwwwwwwwwwwwwwwwsgK
gswwwwwwwwwwwwwwwwwwwwwwwwwwwsgK
gswwwwwwwwwwwwwwwwwwwwwwwwwwwsgK
gswwwwwwwwwwwwwwwwwwwwwwwwwwwsgK
gswwwwwwwwwwwwwwwwwwwwwwwwwwwsgK
gswwwwwwwwwwwwwwwwwwwwwwwwwwwsgK
gsssssssssssssssssssssssssssssgK
gggggggggggggggggggggggggggggggK
.KKKKKKKKKKKKKKKKKKKKKKKKKKKKKKK
................................
"""

SMALL = """
................
ggggggggggggggg.
gsssssssssssssgK
gsnnnnnnnnnnnsgK
gsnnnnnwnwnwnsgK
gsnnnnnnnnnnnsgK
gswwwwwwwwwwwsgK
gswwwwwwwwwwwsgK
gswwwwwwwwwwwsgK
gswwwwwwwwwwwsgK
gswwwwwwwwwwwsgK
gswwwwwwwwwwwsgK
gsssssssssssssgK
gggggggggggggggK
.KKKKKKKKKKKKKKK
................
"""

PALETTE = [  # standard 16-colour VGA palette, (red, green, blue)
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def rows_of(art, size):
    rows = art.strip('\n').split('\n')
    if len(rows) != size or any(len(r) != size for r in rows):
        raise SystemExit('pixel map is not %dx%d: %s' % (size, size, [len(r) for r in rows]))
    return rows


def image(art, size):
    """The icon image: BITMAPINFOHEADER, palette, colour bits, mask bits."""
    rows = rows_of(art, size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 0, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    colour = bytearray()
    mask = bytearray()
    mask_stride = ((size + 31) // 32) * 4
    for row in reversed(rows):  # bitmaps are stored bottom-up
        indices = [LEGEND[c] for c in row]
        for i in range(0, size, 2):
            colour.append(indices[i] << 4 | indices[i + 1])
        bits = bytearray(mask_stride)
        for x, c in enumerate(row):
            if c == '.':
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + palette + bytes(colour) + bytes(mask)


def icon_file(images):
    """An .ico file: ICONDIR, one ICONDIRENTRY per image, then the images."""
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b''.join(data for _, data in images)


def main():
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    large = image(LARGE, 32)
    small = image(SMALL, 16)
    assert len(large) == 744 and len(small) == 296, (len(large), len(small))
    with open(sys.argv[1], 'wb') as f:
        f.write(icon_file([(32, large), (16, small)]))


if __name__ == '__main__':
    main()
