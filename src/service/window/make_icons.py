#!/usr/bin/env python3
"""Draws Quilo1's two icons, quilo1.ico (the program) and busy.ico (Image1,
shown while a job runs): a till receipt with a green or an orange band.
Run it from this folder; the .ico files it writes are committed."""
import struct


def draw(size, band):
    """BGRA rows, top row first."""
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]
    s = size / 32.0
    left, right = int(7 * s), int(25 * s)
    top, bottom = int(2 * s), int(29 * s)
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            edge = x in (left, right) or y in (top, bottom)
            px[y][x] = (90, 70, 50, 255) if edge else (250, 250, 250, 255)
    # printed lines
    for i, width in enumerate((14, 10, 12, 8)):
        y = int((6 + 4 * i) * s)
        for x in range(left + int(2 * s), left + int(2 * s) + int(width * s)):
            px[y][x] = (120, 120, 120, 255)
    # the band: green for waiting, orange for busy
    for y in range(int(22 * s), int(27 * s) + 1):
        for x in range(left + 1, right):
            px[y][x] = band
    # zigzag tear at the bottom
    for x in range(left, right + 1):
        if (x // max(1, int(2 * s))) % 2:
            px[bottom][x] = (0, 0, 0, 0)
    return px


def ico(images):
    head = struct.pack("<HHH", 0, 1, len(images))
    entries, blobs = b"", b""
    offset = 6 + 16 * len(images)
    for size, px in images:
        xor = b"".join(bytes(p) for row in reversed(px) for p in row)
        mask_row = ((size + 31) // 32) * 4
        mask = bytes(mask_row * size)
        bmp = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        blob = bmp + xor + mask
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        blobs += blob
        offset += len(blob)
    return head + entries + blobs


for name, band in (("quilo1.ico", (60, 170, 40, 255)), ("busy.ico", (0, 140, 255, 255))):
    with open(name, "wb") as f:
        f.write(ico([(size, draw(size, band)) for size in (16, 32, 48)]))
