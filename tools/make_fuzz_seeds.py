#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (tests/fuzz/corpus/<target>/) and the files that once
crashed or exhausted a reader (tests/fuzz/crashes/<target>/). Small real files: BMP and JPEG files from
ImageMagick's convert, files laid out exactly as the program's own writers lay them out, the busy
animation, and hand-made edge cases. Run from anywhere; convert must be installed.

Usage: make_fuzz_seeds.py [fuzz folder]   (default: tests/fuzz beside this folder)
"""
import os
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FUZZ = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "tests", "fuzz")


def write(kind, target, name, data):
    folder = os.path.join(FUZZ, kind, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def convert(*args):
    with tempfile.TemporaryDirectory() as tmp:
        source = os.path.join(tmp, "in.ppm")
        subprocess.run(["convert", "-size", "23x13", "gradient:#ff2010-#1030e0", source], check=True)
        out = os.path.join(tmp, "out")
        fmt, options = args[-1], list(args[:-1])
        subprocess.run(["convert", source] + options + [fmt + ":" + out], check=True)
        with open(out, "rb") as f:
            return f.read()


# --------------------------------------------------------------------------------------------------
# BMP

def bmp(width, height, bits, compression, palette, pixels, colors_used=0, header=40, extra=b""):
    offset = 14 + header + len(extra) + len(palette)
    info = struct.pack("<IiiHHIIiiII", header, width, height, 1, bits, compression, len(pixels), 2835, 2835,
                       colors_used, 0)
    info += b"\0" * (header - 40)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + info + extra + palette + pixels


def grey_palette(entries):
    return b"".join(bytes((i * 255 // max(entries - 1, 1),) * 3 + (0,)) for i in range(entries))


def rows(width, height, bits, value):
    stride = ((width * bits + 31) // 32) * 4
    return b"".join(bytes((value(x, y) for x in range(stride))) for y in range(height))


def rle4_over_padding(width, height):
    padded = ((width * 4 + 31) // 32) * 4 * 2
    data = bytes((width, 0x33, 0, 0))
    for _ in range(1, height):
        data += bytes((padded, 0x12, 0, 0))
    return data + b"\0\x01"


def bmp_seeds():
    for name, args in {
        "im-bmp3-24.bmp": ("BMP3",),
        "im-bmp-32-alpha.bmp": ("-alpha", "set", "BMP"),
        "im-rgb565.bmp": ("-define", "bmp:subtype=RGB565", "BMP"),
        "im-rgb555.bmp": ("-define", "bmp:subtype=RGB555", "BMP"),
        "im-palette8.bmp": ("-colors", "200", "-type", "Palette", "-compress", "None", "BMP3"),
        "im-rle8.bmp": ("-colors", "200", "-type", "Palette", "-compress", "RLE", "BMP3"),
        "im-palette4.bmp": ("-colors", "12", "-type", "Palette", "-compress", "None", "BMP3"),
        "im-rle4.bmp": ("-colors", "12", "-type", "Palette", "-compress", "RLE", "BMP3"),
        "im-mono.bmp": ("-monochrome", "BMP3"),
        "im-os2.bmp": ("-colors", "100", "-type", "Palette", "BMP2"),
    }.items():
        write("corpus", "bmp_reader", name, convert(*args))
    # As the program writes them: 24 bits without a table, 8 and 1 bits with theirs.
    write("corpus", "bmp_reader", "zrk-24.bmp", bmp(9, 5, 24, 0, b"", rows(9, 5, 24, lambda x, y: x * 9 + y)))
    write("corpus", "bmp_reader", "zrk-8.bmp", bmp(7, 3, 8, 0, grey_palette(256), rows(7, 3, 8, lambda x, y: x * 30)))
    write("corpus", "bmp_reader", "zrk-1.bmp", bmp(13, 4, 1, 0, grey_palette(2), rows(13, 4, 1, lambda x, y: 0xA5)))
    # Hand-made edge cases.
    write("corpus", "bmp_reader", "rle8-delta.bmp", bmp(6, 3, 8, 1, grey_palette(256), bytes.fromhex(
        "0207" "0003070707" "00" "0000" "00020101" "0107" "0001")))
    write("corpus", "bmp_reader", "rle4-literal.bmp", bmp(8, 1, 4, 2, grey_palette(16), bytes.fromhex(
        "0512" "0003ABC00000" "0001")))
    top_down = bmp(1, 2, 16, 0, b"", bytes.fromhex("007C0000" "FF7F0000"))
    write("corpus", "bmp_reader", "top-down-555.bmp", top_down[:22] + struct.pack("<i", -2) + top_down[26:])
    write("corpus", "bmp_reader", "bitfields-565.bmp", bmp(1, 1, 16, 3, b"", bytes.fromhex("E0070000"),
                                                           extra=struct.pack("<III", 0xF800, 0x07E0, 0x001F)))
    v4 = struct.pack("<IIII", 0xFF, 0xFF00, 0xFF0000, 0xFF000000) + b"\0" * (108 - 56)
    info = struct.pack("<IiiHHIIiiII", 108, 1, 1, 1, 32, 3, 4, 0, 0, 0, 0) + v4
    write("corpus", "bmp_reader", "v4-bitfields-32.bmp", b"BM" + struct.pack("<IHHI", 14 + 108 + 4, 0, 0, 122) + info
          + bytes((0x11, 0x22, 0x33, 0x44)))
    core = struct.pack("<IHHHH", 12, 9, 1, 1, 1) + bytes((0, 0, 255, 0, 255, 0)) + bytes((0x80, 0x80, 0, 0))
    write("corpus", "bmp_reader", "os2-core-1.bmp", b"BM" + struct.pack("<IHHI", 14 + len(core), 0, 0, 14 + 18) + core)
    write("corpus", "bmp_reader", "partial-palette.bmp", bmp(4, 2, 8, 0, grey_palette(3), rows(4, 2, 8, lambda x, y: x), 3))

    # Past faults: RLE4 runs over the padding of rows 1 to 4 and 11 pixels wide, and tiny files
    # claiming huge pictures.
    for width in (1, 2, 3, 4, 11):
        write("crashes", "bmp_reader", "rle4-padding-w%d-1row.bmp" % width,
              bmp(width, 1, 4, 2, grey_palette(16), rle4_over_padding(width, 2)[4:]))
        write("crashes", "bmp_reader", "rle4-padding-w%d-3rows.bmp" % width,
              bmp(width, 3, 4, 2, grey_palette(16), rle4_over_padding(width, 3)))
    write("crashes", "bmp_reader", "rle8-30000x30000-56k.bmp", bmp(30000, 30000, 8, 1, grey_palette(256), b"\0\0" * 28000 + b"\0\x01"))
    write("crashes", "bmp_reader", "rle8-30000x30000-2bytes.bmp", bmp(30000, 30000, 8, 1, grey_palette(256), b"\0\x01"))


# --------------------------------------------------------------------------------------------------
# JPEG

def jpeg_declaring(data, width, height):
    for marker in (b"\xff\xc0", b"\xff\xc2"):
        at = data.find(marker)
        if at > 0:
            return data[:at + 5] + struct.pack(">HH", height, width) + data[at + 9:]
    raise ValueError("no frame header")


def jpeg_seeds():
    files = {
        "im-baseline.jpg": convert("-quality", "90", "JPEG"),
        "im-444.jpg": convert("-quality", "95", "-sampling-factor", "1x1", "JPEG"),
        "im-progressive.jpg": convert("-quality", "85", "-interlace", "Plane", "JPEG"),
        "im-grey.jpg": convert("-colorspace", "Gray", "-quality", "90", "JPEG"),
        "im-grey-progressive.jpg": convert("-colorspace", "Gray", "-interlace", "Plane", "JPEG"),
        "im-cmyk.jpg": convert("-colorspace", "CMYK", "-quality", "90", "JPEG"),
        "im-optimized.jpg": convert("-define", "jpeg:optimize-coding=true", "-quality", "70", "JPEG"),
        # The program's own writer: quality 100 with the library's standard tables.
        "zrk-quality100.jpg": convert("-quality", "100", "-define", "jpeg:dct-method=float", "JPEG"),
    }
    for target in ("jpeg_loader", "jpeg_decoder"):
        for name, data in files.items():
            write("corpus", target, name, data)
        baseline = files["im-baseline.jpg"]
        progressive = files["im-progressive.jpg"]
        grey_progressive = files["im-grey-progressive.jpg"]
        # Past faults: a few hundred bytes declaring 14142 x 14142 pixels, and streams cut off in the
        # middle of their image data.
        write("crashes", target, "baseline-declaring-14142.jpg", jpeg_declaring(baseline, 14142, 14142))
        write("crashes", target, "progressive-declaring-14142.jpg", jpeg_declaring(progressive, 14142, 14142))
        write("crashes", target, "grey-progressive-declaring-14142.jpg", jpeg_declaring(grey_progressive, 14142, 14142))
        scan = baseline.find(b"\xff\xda")
        write("crashes", target, "baseline-truncated.jpg", baseline[:(scan + len(baseline)) // 2])
        scan = progressive.find(b"\xff\xda")
        write("crashes", target, "progressive-truncated.jpg", progressive[:(scan + len(progressive)) // 2])


# --------------------------------------------------------------------------------------------------
# AVI

def chunk(fourcc, data):
    return fourcc + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")


def riff_list(kind, body):
    return chunk(b"LIST", kind + body)


def avi(width, height, bits, compression, palette, movie, microseconds=50000):
    avih = struct.pack("<IIIIIIIIII", microseconds, 0, 0, 0, 1, 0, 1, 0, width, height) + b"\0" * 16
    strh = b"vids" + b"DIB " + struct.pack("<IHHIIIIIIII", 0, 0, 0, 0, 1, 20, 0, 1, 0, 0xFFFFFFFF, 0) \
        + struct.pack("<hhhh", 0, 0, width, height)
    strf = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, 0, 0, 0, len(palette) // 4, 0) + palette
    hdrl = riff_list(b"hdrl", chunk(b"avih", avih) + riff_list(b"strl", chunk(b"strh", strh) + chunk(b"strf", strf)))
    body = b"AVI " + hdrl + riff_list(b"movi", movie)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def avi_seeds():
    with open(os.path.join(ROOT, "resources", "p_bar.avi"), "rb") as f:
        write("corpus", "avi_reader", "p_bar.avi", f.read())
    write("corpus", "avi_reader", "rgb24-repeat.avi",
          avi(1, 2, 24, 0, b"", chunk(b"00db", bytes.fromhex("0000FF00" "FF000000")) + chunk(b"00db", b"")))
    palette = bytes.fromhex("00000000" "0000FF00")
    movie = chunk(b"00db", bytes.fromhex("01000000")) + chunk(b"00pc", bytes.fromhex("01010000" "00FF0000")) \
        + riff_list(b"rec ", chunk(b"00db", bytes.fromhex("01000000")))
    write("corpus", "avi_reader", "pal8-change.avi", avi(2, 1, 8, 0, palette, movie))
    pal256 = grey_palette(256)
    key = bytes.fromhex("0401" "0000" "0401" "0001")
    delta = bytes.fromhex("00020201" "0102" "0001")
    write("corpus", "avi_reader", "rle8-delta.avi", avi(4, 2, 8, 1, pal256, chunk(b"00dc", key) + chunk(b"00dc", delta)))
    write("corpus", "avi_reader", "rle4.avi", avi(8, 1, 4, 2, grey_palette(16), chunk(b"00dc", bytes.fromhex("0512" "0003ABC00000" "0001"))))
    write("corpus", "avi_reader", "rgb16.avi", avi(1, 1, 16, 0, b"", chunk(b"00db", bytes.fromhex("E0030000"))))
    write("corpus", "avi_reader", "rgb32.avi", avi(1, 1, 32, 0, b"", chunk(b"00db", bytes.fromhex("11223300"))))
    # Past faults: RLE4 frames whose runs cover the padding (11 x 1 among them).
    for width in (1, 2, 3, 4, 11):
        write("crashes", "avi_reader", "rle4-padding-w%d-1row.avi" % width,
              avi(width, 1, 4, 2, grey_palette(16), chunk(b"00dc", rle4_over_padding(width, 2)[4:])))
        write("crashes", "avi_reader", "rle4-padding-w%d-2rows.avi" % width,
              avi(width, 2, 4, 2, grey_palette(16), chunk(b"00dc", rle4_over_padding(width, 2))))


# --------------------------------------------------------------------------------------------------
# Packed DIBs of native transfers

def dib(width, height, bits, colors, pixels, colors_used=0, header=40):
    info = struct.pack("<IiiHHIIiiII", header, width, height, 1, bits, 0, len(pixels), 11811, 11811, colors_used, 0)
    return info + b"\0" * (header - 40) + colors + pixels


def dib_seeds():
    # As the source manager hands them out: grey with 256 entries, black and white with 2, colour with none.
    write("corpus", "packed_dib", "zrk-grey.dib", dib(7, 3, 8, grey_palette(256), rows(7, 3, 8, lambda x, y: x * 20), 256))
    write("corpus", "packed_dib", "zrk-bw.dib", dib(13, 2, 1, grey_palette(2), rows(13, 2, 1, lambda x, y: 0x5A), 2))
    write("corpus", "packed_dib", "zrk-rgb.dib", dib(5, 4, 24, b"", rows(5, 4, 24, lambda x, y: x + y)))
    write("corpus", "packed_dib", "top-down-32.dib", dib(3, -2, 32, b"", rows(3, 2, 32, lambda x, y: x * 3)))
    write("corpus", "packed_dib", "rgb555.dib", dib(3, 2, 16, b"", rows(3, 2, 16, lambda x, y: x * 7)))
    write("corpus", "packed_dib", "pal4.dib", dib(5, 2, 4, grey_palette(16), rows(5, 2, 4, lambda x, y: 0x12)))
    write("corpus", "packed_dib", "partial-table.dib", dib(4, 2, 8, grey_palette(5), rows(4, 2, 8, lambda x, y: x), 5))
    write("corpus", "packed_dib", "long-header.dib", dib(2, 2, 24, b"", rows(2, 2, 24, lambda x, y: 9), header=108))
    core = struct.pack("<IHHHH", 12, 9, 2, 1, 8) + bytes(range(256)) * 3 + rows(9, 2, 8, lambda x, y: x)
    write("corpus", "packed_dib", "core-8.dib", core)
    # Claims a broken source might make.
    write("crashes", "packed_dib", "huge-size.dib", dib(0x7FFFFFFF, 0x7FFFFFFF, 32, b"", b"\0" * 64))
    write("crashes", "packed_dib", "most-negative-height.dib", dib(4, -0x80000000, 8, grey_palette(256), b"\0" * 64))
    write("crashes", "packed_dib", "huge-table.dib", dib(4, 4, 8, b"", b"\0" * 64, 0xFFFFFFFF))


# --------------------------------------------------------------------------------------------------
# Frames of SANE scans, for the page assembly

GRAY, RGB, RED, GREEN, BLUE = 0, 1, 2, 3, 4


def frame(kind, last, depth, bytes_per_line, pixels, lines, data):
    return struct.pack("<BBBBHHhH", kind, last, depth, 0, bytes_per_line, pixels, lines, len(data)) + data


def page(frames):
    return bytes((len(frames) - 1,)) + b"".join(frames)


def page_seeds():
    w, h = 9, 4
    grey = bytes((x * 25 for x in range(w))) * h
    write("corpus", "page_assembly", "grey8.page", page([frame(GRAY, 1, 8, w, w, h, grey)]))
    write("corpus", "page_assembly", "lineart.page", page([frame(GRAY, 1, 1, 2, w, h, bytes((0xA5, 0x80)) * h)]))
    write("corpus", "page_assembly", "grey16.page", page([frame(GRAY, 1, 16, 2 * w, w, h, bytes(range(2 * w)) * h)]))
    write("corpus", "page_assembly", "rgb8.page", page([frame(RGB, 1, 8, 3 * w, w, h, bytes(range(3 * w)) * h)]))
    write("corpus", "page_assembly", "rgb16.page", page([frame(RGB, 1, 16, 6 * w, w, h, bytes(range(6 * w)) * h)]))
    write("corpus", "page_assembly", "rgb1.page", page([frame(RGB, 1, 1, 4, w, h, bytes((0xF0, 0x0F, 0xAA, 0x55)) * h)]))
    planes = [frame(kind, int(kind == BLUE), 8, w, w, h, bytes(((x * k) % 256 for x in range(w))) * h)
              for k, kind in ((3, RED), (5, GREEN), (7, BLUE))]
    write("corpus", "page_assembly", "three-pass.page", page(planes))
    write("corpus", "page_assembly", "three-pass-bgr.page", page(planes[::-1]))
    write("corpus", "page_assembly", "hand-scanner.page", page([frame(GRAY, 1, 8, w, w, -1, grey + grey[:5])]))
    write("corpus", "page_assembly", "padded-lines.page", page([frame(RGB, 1, 8, 3 * w + 5, w - 1, h, bytes(3 * w + 5) * h)]))
    write("corpus", "page_assembly", "short-data.page", page([frame(GRAY, 1, 8, w, w, 100, grey)]))
    # Frames that must be refused soundly.
    write("crashes", "page_assembly", "wide-and-empty.page", page([frame(RGB, 1, 16, 0xFFFF, 0xFFFF, 0x7FFF, b"")]))
    write("crashes", "page_assembly", "unknown-kind.page", page([frame(9, 1, 8, w, w, h, grey)]))
    write("crashes", "page_assembly", "repeated-channel.page", page([planes[0], planes[0], planes[2]]))


if __name__ == "__main__":
    bmp_seeds()
    jpeg_seeds()
    avi_seeds()
    dib_seeds()
    page_seeds()
