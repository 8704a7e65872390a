#!/usr/bin/env python3
"""Writes the program's pictures into resources/, byte for byte the same on
every run:

- bitmap0.bmp: 290 x 290, 32 bits per pixel, the error mark shown beside the
  transfer error text (a red disc with a white exclamation mark; the form
  draws it at 15 x 14, so the shapes are bold).
- asma.ico: the window and task-bar icon, 16, 32 and 48 pixels, 32 bits with
  alpha (a blue rounded square with a white upward arrow: "upload").
- desktop/icons/N.png: the same icon for the Linux desktop's menu at the
  icon theme's usual sizes N, drawn at each size rather than scaled.

Usage: make_images.py [OUTPUT_DIR]   (default: resources/ of this repository)
"""
import math
import os
import struct
import sys
import zlib

RED = (0xD3, 0x2F, 0x2F)
WHITE = (0xFF, 0xFF, 0xFF)
BLUE = (0x1E, 0x5A, 0xA8)
FACE = (0xF0, 0xF0, 0xF0)  # the form's system colour 15 behind the disc
ICON_SIZES = (16, 32, 48)
DESKTOP_ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def coverage(inside, x, y, samples=4):
    """Share of the pixel (x, y) that the shape covers, by supersampling."""
    hits = 0
    for sy in range(samples):
        for sx in range(samples):
            if inside(x + (sx + 0.5) / samples, y + (sy + 0.5) / samples):
                hits += 1
    return hits / (samples * samples)


def mix(a, b, t):
    return tuple(round(a[i] * (1 - t) + b[i] * t) for i in range(3))


def error_mark(size):
    """Rows top to bottom of (r, g, b, a) pixels."""
    c = size / 2
    radius = size * 0.48
    bar_half = size * 0.075

    def disc(x, y):
        return math.hypot(x - c, y - c) <= radius

    def exclamation(x, y):
        if abs(x - c) <= bar_half and size * 0.18 <= y <= size * 0.62:
            return True
        return math.hypot(x - c, y - size * 0.78) <= bar_half * 1.25

    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            d = coverage(disc, x, y)
            m = coverage(exclamation, x, y)
            color = mix(mix(FACE, RED, d), WHITE, m)
            row.append(color + (0xFF,))
        rows.append(row)
    return rows


def upload_icon(size):
    margin = size * 0.06
    corner = size * 0.2

    def square(x, y):
        lo, hi = margin, size - margin
        if not (lo <= x <= hi and lo <= y <= hi):
            return False
        cx = min(max(x, lo + corner), hi - corner)
        cy = min(max(y, lo + corner), hi - corner)
        return math.hypot(x - cx, y - cy) <= corner

    def arrow(x, y):
        c = size / 2
        head_top, head_base = size * 0.2, size * 0.5
        if head_top <= y <= head_base:
            half = (y - head_top) / (head_base - head_top) * size * 0.28
            if abs(x - c) <= half:
                return True
        return abs(x - c) <= size * 0.1 and head_base <= y <= size * 0.8

    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            s = coverage(square, x, y)
            a = coverage(arrow, x, y)
            color = mix(BLUE, WHITE, a)
            row.append(color + (round(255 * s),))
        rows.append(row)
    return rows


def dib(rows, with_mask):
    """BITMAPINFOHEADER and bottom-up 32-bit BGRA pixels; an icon's DIB has
    double height and an AND mask after the pixels."""
    height = len(rows)
    width = len(rows[0])
    pixels = b"".join(
        bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask = b""
    if with_mask:
        stride = ((width + 31) // 32) * 4
        for row in reversed(rows):
            line = bytearray(stride)
            for x, (_, _, _, a) in enumerate(row):
                if a == 0:
                    line[x // 8] |= 0x80 >> (x % 8)
            mask += bytes(line)
    header = struct.pack("<IiiHHIIiiII", 40, width, height * (2 if with_mask else 1), 1, 32, 0,
                         len(pixels) + len(mask), 2835, 2835, 0, 0)
    return header + pixels + mask


def bmp_file(rows):
    body = dib(rows, with_mask=False)
    return struct.pack("<2sIHHI", b"BM", 14 + len(body), 0, 0, 14 + 40) + body


def ico_file(images):
    count = len(images)
    entries = b""
    data = b""
    offset = 6 + 16 * count
    for rows in images:
        size = len(rows)
        blob = dib(rows, with_mask=True)
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob),
                               offset + len(data))
        data += blob
    return struct.pack("<HHH", 0, 1, count) + entries + data


def png_file(rows):
    """8-bit RGBA, no filtering, no time stamp."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)
    header = struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "resources")
    with open(os.path.join(out, "bitmap0.bmp"), "wb") as f:
        f.write(bmp_file(error_mark(290)))
    with open(os.path.join(out, "asma.ico"), "wb") as f:
        f.write(ico_file([upload_icon(s) for s in ICON_SIZES]))
    icons = os.path.join(out, "desktop", "icons")
    os.makedirs(icons, exist_ok=True)
    for size in DESKTOP_ICON_SIZES:
        with open(os.path.join(icons, f"{size}.png"), "wb") as f:
            f.write(png_file(upload_icon(size)))


if __name__ == "__main__":
    main()
