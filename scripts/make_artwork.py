#!/usr/bin/env python3
"""Draws the window icon and the resource image of Tavrix.

Writes Resources/tavrix.png (256 x 256 RGBA) and Resources/hqt5v-j5rx8-001.ico
(ten 32-bit images from 16 to 256 pixels). Standard library only, so the
artwork can be regenerated on any machine: python3 scripts/make_artwork.py
"""
import math
import os
import struct
import zlib

SIZES = [16, 20, 24, 32, 40, 48, 64, 96, 128, 256]
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "Resources")


def coverage_rounded_square(x, y, size, radius):
    """1 inside a rounded square of the given size, 0 outside."""
    cx = min(max(x, radius), size - radius)
    cy = min(max(y, radius), size - radius)
    return 1.0 if (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 else 0.0


def bus_level(u, high):
    """A differential CAN waveform across the icon: recessive, dominant bits."""
    bits = [0, 1, 1, 0, 1, 0, 0, 1]
    i = min(int(u * len(bits)), len(bits) - 1)
    dominant = bits[i] == 1
    if high:
        return 0.36 if dominant else 0.46
    return 0.64 if dominant else 0.54


def near_waveform(u, v, high, width):
    """Distance test against the square wave, including its vertical edges."""
    level = bus_level(u, high)
    if abs(v - level) <= width:
        return True
    bits = 8
    edge = round(u * bits) / bits
    if abs(u - edge) <= width and 0.0 < edge < 1.0:
        a = bus_level(edge - 1e-6, high)
        b = bus_level(edge + 1e-6, high)
        return min(a, b) - width <= v <= max(a, b) + width
    return False


def pixel(x, y, size):
    """Colour of one sample point, premultiplied later by coverage."""
    u, v = x / size, y / size
    inside = coverage_rounded_square(x, y, size, size * 0.2)
    if not inside:
        return (0.0, 0.0, 0.0, 0.0)
    # Deep blue-teal background, lighter towards the top.
    t = v
    r, g, b = 0.05 + 0.05 * (1 - t), 0.28 + 0.12 * (1 - t), 0.42 + 0.14 * (1 - t)
    # A grid of table rows behind the signal.
    if 0.14 < u < 0.86 and (0.70 < v < 0.86):
        row = int((v - 0.70) / 0.055)
        shade = 0.90 if row % 2 == 0 else 0.78
        if (v - 0.70) % 0.055 > 0.012:
            r, g, b = shade, shade, shade * 1.02
    width = max(0.022, 0.9 / size)
    if 0.1 < u < 0.9:
        if near_waveform((u - 0.1) / 0.8, v, True, width):
            r, g, b = 1.0, 0.62, 0.15
        elif near_waveform((u - 0.1) / 0.8, v, False, width):
            r, g, b = 0.95, 0.97, 1.0
    return (r, g, b, 1.0)


def render(size, samples=4):
    """RGBA rows, top to bottom, antialiased by supersampling."""
    rows = []
    step = 1.0 / samples
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    r, g, b, a = pixel(x + (sx + 0.5) * step, y + (sy + 0.5) * step, size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = samples * samples
            alpha = acc[3] / n
            if alpha > 0:
                rgb = [min(255, int(round(255 * c / acc[3]))) for c in acc[:3]]
            else:
                rgb = [0, 0, 0]
            row.append((rgb[0], rgb[1], rgb[2], int(round(255 * alpha))))
        rows.append(row)
    return rows


def png_bytes(rows):
    size = len(rows)
    raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bmp_entry(rows):
    """A 32-bit BGRA DIB for an ICO entry: bottom-up rows, then the AND mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, px in enumerate(row):
            if px[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def ico_bytes(images):
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for size, blob in images:
        dim = 0 if size >= 256 else size
        entries.append(struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    return struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) + b"".join(blobs)


def main():
    os.makedirs(ROOT, exist_ok=True)
    images = []
    for size in SIZES:
        rows = render(size, samples=4 if size <= 64 else 2)
        images.append((size, bmp_entry(rows)))
        if size == 256:
            with open(os.path.join(ROOT, "tavrix.png"), "wb") as f:
                f.write(png_bytes(rows))
    with open(os.path.join(ROOT, "hqt5v-j5rx8-001.ico"), "wb") as f:
        f.write(ico_bytes(images))


if __name__ == "__main__":
    main()
