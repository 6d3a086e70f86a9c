#!/usr/bin/env python3
"""Draws MorvelTest.ico: a volume as a grey case holding a map of its clusters (used in blue,
the MFT in red, its reserved zone in amber, free space in green), at 32x32 and 16x16 pixels.

Run from this folder when the picture changes: python3 make-icon.py
"""
import struct

CASE = (0x50, 0x50, 0x58)
EDGE = (0x20, 0x20, 0x28)
USED = (0x28, 0x58, 0xC8)
MFT = (0xD0, 0x30, 0x30)
ZONE = (0xE8, 0xB0, 0x20)
FREE = (0x40, 0xB0, 0x50)
LED = (0x60, 0xF0, 0x60)

# One row of the map per string: U used, M MFT, Z zone, F free.
MAP_32 = ["UUMZZF", "UUUZFF", "UFUUFF", "FFFFFF"]
MAP_16 = ["UMZF", "UUFF"]


def draw(size, cells, cell, gap, case_top, case_bottom):
    pixels = [[None] * size for _ in range(size)]
    last = size - 1
    for y in range(case_top, case_bottom + 1):
        for x in range(size):
            corner = (x in (0, last)) and (y in (case_top, case_bottom))
            if corner:
                continue
            border = x in (0, last) or y in (case_top, case_bottom)
            pixels[y][x] = EDGE if border else CASE
    colours = {"U": USED, "M": MFT, "Z": ZONE, "F": FREE}
    width = len(cells[0]) * (cell + gap) - gap
    left = (size - width) // 2
    top = case_top + 2
    for row, line in enumerate(cells):
        for col, kind in enumerate(line):
            for dy in range(cell):
                for dx in range(cell):
                    pixels[top + row * (cell + gap) + dy][left + col * (cell + gap) + dx] = colours[kind]
    # The activity light in the case's lower right corner.
    led = max(1, size // 16)
    for dy in range(led):
        for dx in range(led):
            pixels[case_bottom - 1 - led + dy][last - 1 - led + dx] = LED
    return pixels


def dib(pixels):
    """A 32-bit BITMAPINFOHEADER image with its AND mask, bottom row first, as ICO stores it."""
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(pixels):
        for p in row:
            colour += bytes((0, 0, 0, 0)) if p is None else bytes((p[2], p[1], p[0], 0xFF))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)


def main():
    images = [draw(32, MAP_32, 4, 0, 5, 26), draw(16, MAP_16, 3, 0, 3, 12)]
    blobs = [dib(p) for p in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for pixels, blob in zip(images, blobs):
        size = len(pixels)
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    with open("MorvelTest.ico", "wb") as f:
        f.write(out)


main()
