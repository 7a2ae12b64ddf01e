#!/usr/bin/env python3
"""Writes one image of a Windows icon file as a PNG, for the desktop's icon theme.

  ico_to_png.py ICON SIZE OUT.png

Reads the 32-bit images (BGRA rows, bottom-up, then the 1-bit mask) that res/make_images.py
writes. Standard library only; the output depends on nothing but the input, so packages built
from it are reproducible.
"""

import struct
import sys
import zlib


def icon_image(data, size):
    """The BGRA pixels of the SIZE x SIZE image, top row first."""
    _reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if kind != 1:
        sys.exit("not an icon file")
    for index in range(count):
        width, height, _colours, _reserved, _planes, bits, length, offset = struct.unpack_from(
            "<BBBBHHII", data, 6 + 16 * index)
        width, height = width or 256, height or 256
        if (width, height) != (size, size):
            continue
        header_size, bitmap_width, double_height, _planes, bitmap_bits = struct.unpack_from(
            "<IiiHH", data, offset)
        if bits != 32 or bitmap_bits != 32 or bitmap_width != size or double_height != 2 * size:
            sys.exit("the %d-pixel image is not a 32-bit bitmap" % size)
        pixels = offset + header_size
        row = 4 * size
        rows = [data[pixels + row * y:pixels + row * (y + 1)] for y in range(size)]
        return list(reversed(rows))
    sys.exit("no %d-pixel image in the icon" % size)


def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png(rows, size):
    raw = bytearray()
    for bgra in rows:
        raw.append(0)  # no filter
        for x in range(0, len(bgra), 4):
            blue, green, red, alpha = bgra[x:x + 4]
            raw += bytes((red, green, blue, alpha))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
            + png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + png_chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__.strip().splitlines()[2].strip())
    with open(sys.argv[1], "rb") as icon:
        data = icon.read()
    size = int(sys.argv[2])
    with open(sys.argv[3], "wb") as out:
        out.write(png(icon_image(data, size), size))


if __name__ == "__main__":
    main()
