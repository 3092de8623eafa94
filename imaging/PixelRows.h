// A plain view of a 24-bit picture's rows: the pixel routines work on these, so that they need no
// bitmap class and can be called directly from tests and benchmarks.
//
// Row 0 is the top row; each row holds three bytes per pixel in the order blue, green, red. The stride
// is the distance in bytes from one row to the next and may be negative (rows stored bottom-up). A view
// made without a size (only rows and stride) is for passes that are given the size separately.
#pragma once

#include <cstddef>
#include <cstdint>

struct PixelRows {
    std::uint8_t* First = nullptr;
    std::ptrdiff_t Stride = 0;
    int Width = 0;
    int Height = 0;

    std::uint8_t* Row(int y) const { return First + std::ptrdiff_t(y) * Stride; }
    bool HasPixels() const { return First != nullptr && Width > 0 && Height > 0; }
};

struct ConstPixelRows {
    const std::uint8_t* First = nullptr;
    std::ptrdiff_t Stride = 0;
    int Width = 0;
    int Height = 0;

    ConstPixelRows() = default;
    ConstPixelRows(const std::uint8_t* first, std::ptrdiff_t stride, int width = 0, int height = 0)
        : First(first), Stride(stride), Width(width), Height(height) {}
    // Every writable view can be read.
    ConstPixelRows(const PixelRows& rows) // NOLINT(google-explicit-constructor)
        : First(rows.First), Stride(rows.Stride), Width(rows.Width), Height(rows.Height) {}

    const std::uint8_t* Row(int y) const { return First + std::ptrdiff_t(y) * Stride; }
    bool HasPixels() const { return First != nullptr && Width > 0 && Height > 0; }
};

class TBitmap;

// The rows of a 24-bit bitmap. Taking the writable view is a write to the bitmap: it first gets pixels
// of its own (a copy it shared them with keeps its pixels). A bitmap without pixels, or with another
// pixel format, gives a view without pixels.
PixelRows RowsOf(TBitmap& bitmap);
ConstPixelRows RowsOf(const TBitmap& bitmap);
