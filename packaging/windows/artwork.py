#!/usr/bin/env python3
"""Draws the installer's artwork: the program icon (quilo1.ico) and the side
picture of the welcome and finish pages (welcome.bmp), a receipt on blue.
Generated at build time so that no binary picture lives in the repository."""
import struct
import sys

BLUE = (0x1F, 0x4E, 0x79)
DARK = (0x14, 0x33, 0x50)
WHITE = (0xFF, 0xFF, 0xFF)
GREY = (0x9A, 0xA5, 0xB1)
GREEN = (0x00, 0xB0, 0x50)


def receipt(w, h, x0, y0, rw, rh, background):
    """Pixel rows (top first) of a paper receipt with a torn lower edge."""
    rows = [[background] * w for _ in range(h)]
    tooth = max(2, rw // 8)
    for y in range(y0, y0 + rh):
        for x in range(x0, x0 + rw):
            # Saw-tooth bottom edge: the paper is torn off the printer.
            edge = y0 + rh - 1 - abs((x - x0) % (2 * tooth) - tooth)
            if y <= edge:
                rows[y][x] = WHITE
    line_gap = max(2, rh // 9)
    for i, y in enumerate(range(y0 + line_gap, y0 + rh - 2 * tooth, line_gap)):
        right = x0 + rw - max(1, rw // 8) - (rw // 3 if i % 3 == 1 else 0)
        for x in range(x0 + max(1, rw // 8), right):
            rows[y][x] = GREY
    # The green dot of an available port.
    r = max(1, rw // 7)
    cx, cy = x0 + rw - r - 1, y0 + r + 1
    for y in range(cy - r, cy + r + 1):
        for x in range(cx - r, cx + r + 1):
            if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                rows[y][x] = GREEN
    return rows


def dib(rows, bits, with_mask):
    """A bottom-up device-independent bitmap body (no file header)."""
    h, w = len(rows), len(rows[0])
    stride = (w * bits // 8 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for (r, g, b) in row:
            line += bytes((b, g, r, 255)) if bits == 32 else bytes((b, g, r))
        pixels += line + bytes(stride - len(line))
    mask = b""
    if with_mask:
        mask_stride = ((w + 31) // 32) * 4
        mask = bytes(mask_stride * h)
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2 if with_mask else h, 1, bits, 0,
                         len(pixels) + len(mask), 2835, 2835, 0, 0)
    return header + bytes(pixels) + mask


def icon(path):
    images = []
    for size in (16, 32, 48):
        rows = receipt(size, size, size // 5, size // 10, size * 3 // 5, size * 8 // 10, BLUE)
        # Rounded corners in the dark tone, so the icon reads as a tile.
        for y in (0, size - 1):
            for x in (0, size - 1):
                rows[y][x] = DARK
        images.append((size, dib(rows, 32, True)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, body in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(body), offset)
        offset += len(body)
    for _, body in images:
        out += body
    with open(path, "wb") as f:
        f.write(out)


def side_picture(path):
    w, h = 164, 314
    rows = receipt(w, h, 32, 40, 100, 200, BLUE)
    for y in range(h - 40, h):
        rows[y] = [DARK] * w
    body = dib(rows, 24, False)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(body), 0, 0, 54)
    with open(path, "wb") as f:
        f.write(header + body)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: artwork.py ICON.ico PICTURE.bmp")
    icon(sys.argv[1])
    side_picture(sys.argv[2])
