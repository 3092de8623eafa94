#!/usr/bin/env python3
"""Writes the busy animation p_bar.avi: a sunken progress bar of 233 x 17 pixels in which a group of
blocks slides from left to right, 19 frames that loop without a jump. Frames are RLE8-compressed
key frames; the file carries an index. Only the standard library is used.

Usage: make_p_bar_avi.py [output]   (default: resources/p_bar.avi beside this folder)
"""
import os
import struct
import sys

WIDTH, HEIGHT, FRAMES = 233, 17, 19
FRAME_MS = 60

# Colour indices and their colours (red, green, blue).
FACE, SHADOW, LIGHT, BLOCK = 0, 1, 2, 3
PALETTE = [(236, 233, 216), (128, 128, 128), (255, 255, 255), (37, 176, 6)]

BLOCK_WIDTH, BLOCK_GAP, BLOCKS = 7, 2, 5
INNER_LEFT, INNER_RIGHT = 2, WIDTH - 2  # blocks are drawn between the border and a 1-pixel margin
GROUP = BLOCKS * (BLOCK_WIDTH + BLOCK_GAP)
TRAVEL = (INNER_RIGHT - INNER_LEFT) + GROUP


def frame_pixels(k):
    """Rows of colour indices, top row first."""
    rows = []
    start = INNER_LEFT - GROUP + round(k * TRAVEL / FRAMES)
    for y in range(HEIGHT):
        row = [FACE] * WIDTH
        if y == 0:
            row = [SHADOW] * (WIDTH - 1) + [LIGHT]
        elif y == HEIGHT - 1:
            row = [LIGHT] * WIDTH
        else:
            row[0] = SHADOW
            row[WIDTH - 1] = LIGHT
            if 2 <= y <= HEIGHT - 3:
                for b in range(BLOCKS):
                    left = start + b * (BLOCK_WIDTH + BLOCK_GAP)
                    for x in range(max(left, INNER_LEFT), min(left + BLOCK_WIDTH, INNER_RIGHT)):
                        row[x] = BLOCK
        rows.append(row)
    return rows


def rle8(rows):
    """RLE8 data: runs of equal pixels, an end-of-line mark per row, rows bottom-up, end mark."""
    out = bytearray()
    for row in reversed(rows):
        x = 0
        while x < len(row):
            n = 1
            while x + n < len(row) and n < 255 and row[x + n] == row[x]:
                n += 1
            out += bytes((n, row[x]))
            x += n
        out += b"\x00\x00"
    out[-2:] = b"\x00\x01"  # the last end of line becomes the end of the bitmap
    return bytes(out)


def chunk(fourcc, data):
    pad = b"\x00" if len(data) % 2 else b""
    return fourcc + struct.pack("<I", len(data)) + data + pad


def lst(kind, body):
    return chunk(b"LIST", kind + body)


def build():
    frames = [rle8(frame_pixels(k)) for k in range(FRAMES)]
    largest = max(len(f) for f in frames)
    avih = struct.pack("<10I4I", FRAME_MS * 1000, largest * 1000 // FRAME_MS, 0, 0x10, FRAMES, 0, 1,
                       largest, WIDTH, HEIGHT, 0, 0, 0, 0)
    strh = b"vids" + b"mrle" + struct.pack("<IHHIIIIIIiI4h", 0, 0, 0, 0, FRAME_MS, 1000, 0, FRAMES,
                                           largest, -1, 0, 0, 0, WIDTH, HEIGHT)
    palette = b"".join(struct.pack("<4B", b, g, r, 0) for (r, g, b) in PALETTE)
    strf = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 1, 0, 0, 0, len(PALETTE), 0) + palette
    hdrl = lst(b"hdrl", chunk(b"avih", avih) + lst(b"strl", chunk(b"strh", strh) + chunk(b"strf", strf)))

    movi_body = bytearray()
    index = bytearray()
    for f in frames:
        offset = 4 + len(movi_body)  # from the list's type field
        movi_body += chunk(b"00dc", f)
        index += b"00dc" + struct.pack("<III", 0x10, offset, len(f))
    movi = lst(b"movi", bytes(movi_body))
    body = b"AVI " + hdrl + movi + chunk(b"idx1", bytes(index))
    return b"RIFF" + struct.pack("<I", len(body)) + body


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources", "p_bar.avi")
    with open(out, "wb") as f:
        f.write(build())


if __name__ == "__main__":
    main()
