// Pictures with known pixels for the tests, and pixel-by-pixel comparison of bitmaps.
#pragma once

#include "Bitmap.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace testpictures {

// One colour as red, green, blue (each 0 .. 255).
using Rgb = std::array<int, 3>;

// A white picture of the given size and format.
inline TBitmap Blank(int width, int height, TPixelFormat format = TPixelFormat::pf24bit) {
    TBitmap b;
    b.SetPixelFormat(format);
    b.SetSize(width, height);
    return b;
}

// A 24-bit picture whose pixel (x, y) is colourAt(x, y), an Rgb; each channel is kept to its low byte.
template <class ColourAt> TBitmap Painted(int width, int height, ColourAt&& colourAt) {
    TBitmap b = Blank(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = b.ScanLine(y);
        for (int x = 0; x < width; ++x) {
            const Rgb c = colourAt(x, y);
            row[3 * x] = std::uint8_t(c[2]);
            row[3 * x + 1] = std::uint8_t(c[1]);
            row[3 * x + 2] = std::uint8_t(c[0]);
        }
    }
    return b;
}

// A 24-bit picture whose every byte is value (a grey of that level).
inline TBitmap Solid(int width, int height, std::uint8_t value) {
    return Painted(width, height, [value](int, int) { return Rgb{value, value, value}; });
}

// A 24-bit picture of the given pixels, row after row.
inline TBitmap FromPixels(int width, int height, const std::vector<Rgb>& pixels) {
    return Painted(width, height, [&](int x, int y) { return pixels[std::size_t(y * width + x)]; });
}

// A 24-bit picture whose every pixel differs from its neighbours in all three channels.
inline TBitmap ColourPicture(int width, int height) {
    return Painted(width, height, [](int x, int y) { return Rgb{x * y + 11, y * 5 + 3 * x, x * 7 + y}; });
}

// A 24-bit picture whose pixel (x, y) has red x and green y.
inline TBitmap Coordinates(int width, int height) {
    return Painted(width, height, [](int x, int y) { return Rgb{x, y, 0}; });
}

// A 24-bit picture of random pixels. With colours > 0 the pixels are drawn from that many colours, the
// k-th being k * colourStep taken as 0xRRGGBB, so that neighbouring pixels are often alike.
inline TBitmap RandomBitmap(int width, int height, std::mt19937& rng, int colours = 0,
                            std::uint32_t colourStep = 0x3F7A21u) {
    return Painted(width, height, [&](int, int) {
        const std::uint32_t v = colours > 0 ? (rng() % std::uint32_t(colours)) * colourStep : rng();
        return Rgb{int(std::uint8_t(v >> 16)), int(std::uint8_t(v >> 8)), int(std::uint8_t(v))};
    });
}

// The colour of a pixel of a 24-bit bitmap.
inline Rgb RgbAt(const TBitmap& b, int x, int y) {
    const std::uint8_t* p = b.ScanLine(y) + 3 * x;
    return {p[2], p[1], p[0]};
}

// A 24-bit bitmap with pixel memory of its own holding the pixels of b, copied row by row (it never
// shares memory with b, whatever the bitmap's copy-on-write does).
inline TBitmap PixelCopy(const TBitmap& b) {
    TBitmap source = b;
    if (source.PixelFormat() != TPixelFormat::pf24bit)
        source.SetPixelFormat(TPixelFormat::pf24bit);
    TBitmap copy = Blank(source.Width(), source.Height());
    const auto rowBytes = std::size_t(3) * std::size_t(source.Width());
    for (int y = 0; y < source.Height(); ++y)
        std::copy_n(source.ConstScanLine(y), rowBytes, copy.ScanLine(y));
    return copy;
}

// Whether two bitmaps have the same size and the same colour at every pixel, whatever their formats.
inline bool SamePixels(const TBitmap& a, const TBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return false;
    if (a.PixelFormat() == TPixelFormat::pf24bit && b.PixelFormat() == TPixelFormat::pf24bit) {
        const auto rowBytes = std::size_t(3) * std::size_t(a.Width());
        for (int y = 0; y < a.Height(); ++y)
            if (!std::equal(a.ScanLine(y), a.ScanLine(y) + rowBytes, b.ScanLine(y)))
                return false;
        return true;
    }
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (a.Pixel(x, y) != b.Pixel(x, y))
                return false;
    return true;
}

// The 256-entry colour table of greys, index i being grey level i.
inline TColorTable GreyTable() {
    TColorTable table;
    for (int i = 0; i < 256; ++i)
        table.push_back(TRGBQuad{std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0});
    return table;
}

} // namespace testpictures
