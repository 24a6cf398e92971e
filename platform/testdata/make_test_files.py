#!/usr/bin/python3
"""Writes the test files of the resource tests, told apart by name:
palette.bmp  a 3 x 2 bitmap of 8 bits per pixel with a four-colour table;
two_sizes.ico  an icon of two images: 16 x 16 at 8 bits (red with a transparent corner) and
               32 x 32 at 32 bits (blue, its own alpha)."""
import os
import struct
import sys


def bitmap_header(width, height, bits, colours):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, 0, 0, 0, colours, 0)


def palette_bmp():
    table = b"".join(struct.pack("<BBBB", b, g, r, 0)
                     for r, g, b in [(0, 0, 0), (255, 0, 0), (0, 255, 0), (0, 0, 255)])
    rows = bytes([1, 2, 3, 0]) + bytes([3, 2, 1, 0])  # bottom row first, padded to 4
    header = bitmap_header(3, 2, 8, 4)
    offset = 14 + len(header) + len(table)
    return b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset) + header + table + rows


def two_sizes_ico():
    # 16 x 16, 8 bits: every pixel colour 1 (red); the mask makes the top-left pixel transparent.
    table = struct.pack("<BBBB", 0, 0, 0, 0) + struct.pack("<BBBB", 0, 0, 255, 0) + b"\0" * 4 * 254
    small_bits = bytes([1] * 16) * 16
    mask = [b"\0\0\0\0"] * 16
    mask[15] = bytes([0x80, 0, 0, 0])  # the last row stored is the top row
    small = bitmap_header(16, 32, 8, 0) + table + small_bits + b"".join(mask)
    # 32 x 32, 32 bits: blue at alpha 128, no transparent mask bits.
    large_bits = struct.pack("<BBBB", 255, 0, 0, 128) * 32 * 32
    large = bitmap_header(32, 64, 32, 0) + large_bits + b"\0" * 4 * 32
    directory = struct.pack("<HHH", 0, 1, 2)
    offset = 6 + 2 * 16
    directory += struct.pack("<BBBBHHII", 16, 16, 0, 0, 1, 8, len(small), offset)
    directory += struct.pack("<BBBBHHII", 32, 32, 0, 0, 1, 32, len(large), offset + len(small))
    return directory + small + large


def main(path):
    makers = {"palette.bmp": palette_bmp, "two_sizes.ico": two_sizes_ico}
    with open(path, "wb") as f:
        f.write(makers[os.path.basename(path)]())


if __name__ == "__main__":
    main(sys.argv[1])
