#!/usr/bin/env python3
"""Draws the program's icon: a sheet of paper over a copier with its scanning light. The same shapes
are written as an SVG (resources/icons/zrk201.svg) and rendered, with 4 x 4 supersampling, into the PNG
sizes of the hicolor icon theme (resources/icons/zrk201-<size>.png). Run from the repository's folder."""
import math
import struct
import zlib

VIEW = 256.0


def rounded_rect(x, y, w, h, r, steps=8):
    points = []
    for cx, cy, start in ((x + w - r, y + r, -90), (x + w - r, y + h - r, 0),
                          (x + r, y + h - r, 90), (x + r, y + r, 180)):
        for i in range(steps + 1):
            a = math.radians(start + 90.0 * i / steps)
            points.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return points


def rect(x, y, w, h):
    return [(x, y), (x + w, y), (x + w, y + h), (x, y + h)]


# (points, colour as RGBA); painted in order.
SHAPES = [
    # The copier: body, lid edge, glass.
    (rounded_rect(16, 132, 224, 104, 20), (0x46, 0x52, 0x5e, 255)),
    (rect(16, 160, 224, 6), (0x2e, 0x36, 0x3e, 255)),
    (rounded_rect(36, 180, 184, 36, 8), (0x9f, 0xd3, 0xf0, 255)),
    # The sheet with its folded corner, and lines of text.
    ([(60, 16), (164, 16), (196, 48), (196, 168), (60, 168)], (0x33, 0x33, 0x33, 255)),
    ([(66, 22), (160, 22), (190, 52), (190, 162), (66, 162)], (0xff, 0xff, 0xff, 255)),
    ([(160, 22), (160, 52), (190, 52)], (0xd0, 0xd4, 0xd8, 255)),
    (rect(82, 52, 64, 8), (0x8a, 0x94, 0x9e, 255)),
    (rect(82, 72, 92, 8), (0x8a, 0x94, 0x9e, 255)),
    (rect(82, 92, 92, 8), (0x8a, 0x94, 0x9e, 255)),
    (rect(82, 112, 70, 8), (0x8a, 0x94, 0x9e, 255)),
    # The scanning light across the sheet and the glass.
    (rect(40, 134, 176, 12), (0x2e, 0xcc, 0x55, 210)),
    (rect(36, 194, 184, 8), (0x2e, 0xcc, 0x55, 255)),
]


def svg():
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">']
    for points, (r, g, b, a) in SHAPES:
        path = " ".join("%.2f,%.2f" % p for p in points)
        opacity = "" if a == 255 else ' fill-opacity="%.3f"' % (a / 255.0)
        lines.append('  <polygon points="%s" fill="#%02x%02x%02x"%s/>' % (path, r, g, b, opacity))
    lines.append("</svg>")
    return "\n".join(lines) + "\n"


def inside(points, x, y):
    hit = False
    j = len(points) - 1
    for i in range(len(points)):
        xi, yi = points[i]
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            hit = not hit
        j = i
    return hit


def render(size, samples=4):
    scale = VIEW / size
    pixels = bytearray()
    offsets = [(i + 0.5) / samples for i in range(samples)]
    for py in range(size):
        pixels.append(0)  # PNG filter byte: none
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for oy in offsets:
                for ox in offsets:
                    x, y = (px + ox) * scale, (py + oy) * scale
                    r = g = b = a = 0.0
                    for points, (sr, sg, sb, sa) in SHAPES:
                        if inside(points, x, y):
                            alpha = sa / 255.0
                            r = sr * alpha + r * (1 - alpha)
                            g = sg * alpha + g * (1 - alpha)
                            b = sb * alpha + b * (1 - alpha)
                            a = alpha + a * (1 - alpha)
                    acc[0] += r
                    acc[1] += g
                    acc[2] += b
                    acc[3] += a
            n = samples * samples
            a = acc[3] / n
            if a > 0:
                # Colours stored unpremultiplied.
                pixels += bytes(min(255, round(acc[c] / n / a)) for c in range(3))
            else:
                pixels += b"\0\0\0"
            pixels.append(min(255, round(a * 255)))
    return pixels


def png(size):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(render(size)), 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    with open("resources/icons/zrk201.svg", "w") as f:
        f.write(svg())
    for size in (16, 22, 24, 32, 48, 64, 128, 256):
        with open("resources/icons/zrk201-%d.png" % size, "wb") as f:
            f.write(png(size))
