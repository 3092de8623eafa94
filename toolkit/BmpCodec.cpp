#include "BmpCodec.h"

#include "DibRow.h"
#include "Exceptions.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace bmp {
namespace {

[[noreturn]] void Invalid() {
    throw EInvalidGraphic();
}

std::uint16_t U16(const std::uint8_t* p) {
    return std::uint16_t(p[0] | (p[1] << 8));
}
std::uint32_t U32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

// One colour channel described by a bit mask: where it sits and how to widen it to 8 bits.
struct Channel {
    std::uint32_t Mask = 0;
    int Shift = 0;
    int Length = 0;

    explicit Channel(std::uint32_t mask) : Mask(mask) {
        if (mask == 0)
            return;
        Shift = std::countr_zero(mask);
        Length = std::bit_width(mask >> Shift);
    }

    std::uint8_t Value(std::uint32_t pixel) const {
        if (Length == 0)
            return 0;
        const std::uint32_t v = (pixel & Mask) >> Shift;
        if (Length >= 8)
            return std::uint8_t(v >> (Length - 8));
        // Narrow channels are widened by repeating their bits (5 bits abcde become abcdeabc).
        std::uint32_t wide = 0;
        for (int shift = 8 - Length; shift > -Length; shift -= Length)
            wide |= shift >= 0 ? v << shift : v >> -shift;
        return std::uint8_t(wide);
    }
};

bool KnownHeaderSize(std::uint32_t size) {
    return size == 40 || size == 52 || size == 56 || size == 64 || size == 108 || size == 124;
}

// Runs may go on into the padding of a stored row, which for 4-bit rows is wider than the decoded
// 8-bit row: pixels past the picture's width are dropped.
void SetPixel8(Image& image, int x, int y, std::uint8_t index) {
    if (x < image.Width)
        image.Row(y)[x] = index;
}

void DecodeRle(const Format& f, const std::uint8_t* d, std::size_t size, Image& image) {
    const bool rle8 = f.Compression == BI_RLE8;
    const int h = f.Height;
    // Runs may cover the padding of a stored row, but not more.
    const int w = int(RowBytes(f.Width, f.Bits) * 8 / std::size_t(f.Bits));
    int x = 0;
    int y = 0; // counted from the bottom row
    std::size_t i = 0;
    for (;;) {
        if (size - i < 2)
            Invalid();
        const int n = d[i];
        const int c = d[i + 1];
        i += 2;
        if (n > 0) {
            if (y >= h || x + n > w)
                Invalid();
            const int row = h - 1 - y;
            for (int k = 0; k < n; ++k) {
                const std::uint8_t v = rle8 ? std::uint8_t(c) : std::uint8_t((k & 1) ? (c & 15) : (c >> 4));
                SetPixel8(image, x++, row, v);
            }
            continue;
        }
        switch (c) {
        case 0: // end of line
            x = 0;
            if (++y > h)
                Invalid();
            break;
        case 1: // end of bitmap
            return;
        case 2: { // move right and up
            if (size - i < 2)
                Invalid();
            x += d[i];
            y += d[i + 1];
            i += 2;
            if (x > w || y > h)
                Invalid();
            break;
        }
        default: { // a run of literal pixels, padded to a whole 16-bit word
            const std::size_t bytes = rle8 ? std::size_t(c) : std::size_t(c + 1) / 2;
            const std::size_t padded = (bytes + 1) & ~std::size_t(1);
            if (size - i < padded || y >= h || x + c > w)
                Invalid();
            const int row = h - 1 - y;
            for (int k = 0; k < c; ++k) {
                const std::uint8_t b = d[i + (rle8 ? std::size_t(k) : std::size_t(k / 2))];
                const std::uint8_t v = rle8 ? b : std::uint8_t((k & 1) ? (b & 15) : (b >> 4));
                SetPixel8(image, x++, row, v);
            }
            i += padded;
            break;
        }
        }
    }
}

void DecodeUncompressed(const Format& f, const std::uint8_t* data, std::size_t size, Image& image) {
    const int w = f.Width;
    const std::size_t stride = RowBytes(w, f.Bits);
    const std::size_t used = (std::size_t(w) * std::size_t(f.Bits) + 7) / 8;
    if (std::uint64_t(stride) * std::uint64_t(f.Height) > size)
        Invalid();
    const Channel red(f.Masks[0]), green(f.Masks[1]), blue(f.Masks[2]);
    for (int r = 0; r < f.Height; ++r) {
        const std::uint8_t* src = data + std::size_t(r) * stride;
        std::uint8_t* dst = image.Row(f.TopDown ? r : f.Height - 1 - r);
        switch (f.Bits) {
        case 1:
        case 8:
            std::memcpy(dst, src, used);
            break;
        case 4:
            for (int x = 0; x < w; ++x)
                dst[x] = (x & 1) ? (src[x / 2] & 15) : (src[x / 2] >> 4);
            break;
        case 24:
            std::memcpy(dst, src, used);
            break;
        case 16:
        case 32:
            for (int x = 0; x < w; ++x) {
                const std::uint32_t px = f.Bits == 16 ? U16(src + 2 * x) : U32(src + 4 * x);
                dst[3 * x] = blue.Value(px);
                dst[3 * x + 1] = green.Value(px);
                dst[3 * x + 2] = red.Value(px);
            }
            break;
        default:
            Invalid();
        }
    }
}

} // namespace

std::size_t RowBytes(int width, int bits) {
    return std::size_t(DibRowSize(width, bits));
}

std::size_t ReadInfoHeader(const std::uint8_t* p, std::size_t available, Format& f, bool& os2Palette,
                           std::uint32_t& colorsUsed) {
    if (available < 4)
        Invalid();
    const std::uint32_t hs = U32(p);
    std::size_t consumed = hs;
    std::int64_t height = 0;
    os2Palette = false;
    colorsUsed = 0;
    f = Format{};
    if (hs == 12) {
        // The OS/2 core header: 16-bit sizes, always bottom-up, no compression.
        if (available < 12)
            Invalid();
        f.Width = U16(p + 4);
        height = U16(p + 6);
        f.Bits = U16(p + 10);
        os2Palette = true;
    } else if (KnownHeaderSize(hs)) {
        if (available < hs)
            Invalid();
        f.Width = std::int32_t(U32(p + 4));
        height = std::int32_t(U32(p + 8));
        f.Bits = U16(p + 14);
        f.Compression = U32(p + 16);
        colorsUsed = U32(p + 32);
        // In the 64-byte OS/2 header, 3 and 4 mean Huffman and RLE24, which are not read.
        if (hs == 64 && f.Compression > BI_RLE4)
            Invalid();
        if (f.Compression == BI_BITFIELDS || f.Compression == BI_ALPHABITFIELDS) {
            if (hs >= 52) {
                f.Masks[0] = U32(p + 40);
                f.Masks[1] = U32(p + 44);
                f.Masks[2] = U32(p + 48);
            } else {
                const std::size_t extra = f.Compression == BI_ALPHABITFIELDS ? 16 : 12;
                if (available - hs < extra)
                    Invalid();
                f.Masks[0] = U32(p + hs);
                f.Masks[1] = U32(p + hs + 4);
                f.Masks[2] = U32(p + hs + 8);
                consumed += extra;
            }
        }
    } else {
        Invalid();
    }
    if (height < 0) {
        f.TopDown = true;
        height = -height;
    }
    if (f.Width <= 0 || height <= 0 || f.Width > MaxDimension || height > MaxDimension)
        Invalid();
    f.Height = int(height);

    switch (f.Compression) {
    case BI_RGB:
        if (f.Bits != 1 && f.Bits != 4 && f.Bits != 8 && f.Bits != 16 && f.Bits != 24 && f.Bits != 32)
            Invalid();
        if (f.Bits == 16) {
            f.Masks[0] = 0x7C00;
            f.Masks[1] = 0x03E0;
            f.Masks[2] = 0x001F;
        } else if (f.Bits == 32) {
            f.Masks[0] = 0x00FF0000;
            f.Masks[1] = 0x0000FF00;
            f.Masks[2] = 0x000000FF;
        }
        break;
    case BI_RLE8:
    case BI_RLE4:
        if (f.Bits != (f.Compression == BI_RLE8 ? 8 : 4) || f.TopDown)
            Invalid();
        break;
    case BI_BITFIELDS:
    case BI_ALPHABITFIELDS:
        if (f.Bits != 16 && f.Bits != 32)
            Invalid();
        if (f.Bits == 16)
            for (auto& m : f.Masks)
                m &= 0xFFFF;
        break;
    default:
        Invalid();
    }
    return consumed;
}

void PrepareImage(const Format& f, Image& image) {
    image.Width = f.Width;
    image.Height = f.Height;
    image.Bits = f.Bits == 1 ? 1 : (f.Bits <= 8 ? 8 : 24);
    image.Stride = RowBytes(f.Width, image.Bits);
    image.Colors.clear();
    if (image.Bits <= 8) {
        // The table always has an entry for every possible pixel value; entries the file leaves out
        // are black.
        image.Colors.assign(std::size_t(1) << image.Bits, TRGBQuad{});
        const std::size_t n = std::min(f.Palette.size(), image.Colors.size());
        std::copy_n(f.Palette.begin(), n, image.Colors.begin());
    }
    image.Pixels.assign(image.Stride * std::size_t(f.Height), 0);
}

void DecodePixels(const Format& f, const std::uint8_t* data, std::size_t size, Image& image) {
    if (f.Compression == BI_RLE8 || f.Compression == BI_RLE4)
        DecodeRle(f, data, size, image);
    else
        DecodeUncompressed(f, data, size, image);
}

bool CouldDrawWhole(const Format& f, std::size_t size) {
    if (f.Compression == BI_RLE8 || f.Compression == BI_RLE4)
        return std::uint64_t(f.Width) * std::uint64_t(f.Height) <= std::uint64_t(size) * MaxRunPixels / 2;
    return std::uint64_t(RowBytes(f.Width, f.Bits)) * std::uint64_t(f.Height) <= size;
}

// The file header and the info header of a BMP file, checked against the file's size.
struct FileHeaders {
    Format f;
    bool os2Palette = false;
    std::uint32_t colorsUsed = 0;
    std::size_t headerEnd = 0; // where the colour table starts
    std::uint32_t offBits = 0; // where the pixels start
};

FileHeaders ReadFileHeaders(const std::uint8_t* data, std::size_t size) {
    if (size < 14 + 12 || data[0] != 'B' || data[1] != 'M')
        Invalid();
    FileHeaders h;
    h.offBits = U32(data + 10);
    h.headerEnd = 14 + ReadInfoHeader(data + 14, size - 14, h.f, h.os2Palette, h.colorsUsed);
    if (h.offBits < h.headerEnd || h.offBits > size)
        Invalid();
    return h;
}

Image DecodeFile(const std::uint8_t* data, std::size_t size) {
    FileHeaders h = ReadFileHeaders(data, size);
    Format& f = h.f;

    if (f.Bits <= 8) {
        const std::size_t entry = h.os2Palette ? 3 : 4;
        const std::size_t maxColors = std::size_t(1) << f.Bits;
        std::size_t count = h.colorsUsed == 0 ? maxColors : std::min<std::size_t>(h.colorsUsed, maxColors);
        // Some writers leave out part of the table; take what lies before the pixels.
        count = std::min(count, (h.offBits - h.headerEnd) / entry);
        if (count == 0)
            Invalid();
        f.Palette.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* q = data + h.headerEnd + i * entry;
            f.Palette[i] = TRGBQuad{q[0], q[1], q[2], 0};
        }
    }

    const std::uint8_t* pixels = data + h.offBits;
    const std::size_t available = size - h.offBits;
    if (!CouldDrawWhole(f, available))
        Invalid();

    Image image;
    PrepareImage(f, image);
    DecodePixels(f, pixels, available, image);
    return image;
}

bool LocatePlainRows(const std::uint8_t* data, std::size_t size, PlainRows& rows) {
    const FileHeaders h = ReadFileHeaders(data, size);
    const Format& f = h.f;
    const std::uint32_t offBits = h.offBits;
    if (f.Bits != 24 || f.Compression != BI_RGB)
        return false;
    const std::size_t stride = RowBytes(f.Width, 24);
    if (std::uint64_t(stride) * std::uint64_t(f.Height) > size - offBits)
        Invalid();
    rows.Width = f.Width;
    rows.Height = f.Height;
    rows.TopDown = f.TopDown;
    rows.Offset = offBits;
    rows.Stride = stride;
    return true;
}

} // namespace bmp
