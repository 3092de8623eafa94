// Reading and writing the BMP format, independent of TBitmap so that the animation reader can decode
// its video frames with the same code.
#pragma once

#include "Types.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bmp {

// The largest width or height accepted from any file.
inline constexpr int MaxDimension = 30000;

// The most pixels one encoded run of RLE data draws (its count byte).
inline constexpr int MaxRunPixels = 255;

// Compression kinds of the information header.
enum : std::uint32_t { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6 };

// What an information header says about the pixels that follow it.
struct Format {
    int Width = 0;
    int Height = 0;       // always positive here
    bool TopDown = false; // rows stored from the top row down
    int Bits = 0;         // 1, 4, 8, 16, 24 or 32
    std::uint32_t Compression = BI_RGB;
    std::uint32_t Masks[3] = {0, 0, 0}; // red, green, blue for 16 and 32 bits
    std::vector<TRGBQuad> Palette;      // as stored in the file (for 1, 4 and 8 bits)
};

// A decoded picture in one of the formats the program works with: 8 bits per pixel with a colour
// table of 256 entries, 1 bit with 2 entries, or 24 bits (blue, green, red) with none. Rows are stored
// top-down, each Stride bytes long (a multiple of 4).
struct Image {
    int Width = 0;
    int Height = 0;
    int Bits = 0;
    std::size_t Stride = 0;
    std::vector<TRGBQuad> Colors;
    std::vector<std::uint8_t> Pixels;

    std::uint8_t* Row(int y) { return Pixels.data() + std::size_t(y) * Stride; }
    const std::uint8_t* Row(int y) const { return Pixels.data() + std::size_t(y) * Stride; }
};

// Bytes in one padded row of a picture of the given width and depth.
std::size_t RowBytes(int width, int bits);

// Reads an information header (any of the known sizes) and, for bit fields, the masks that follow it.
// `available` is the number of bytes from the header's start to the end of the data. Returns the number
// of bytes taken by the header and masks. The palette is not read. Raises EInvalidGraphic.
std::size_t ReadInfoHeader(const std::uint8_t* p, std::size_t available, Format& format, bool& os2Palette,
                           std::uint32_t& colorsUsed);

// Prepares an empty picture for pixels of the given format (8-bit for 4, 8 bits and RLE; 1-bit for 1 bit;
// 24-bit otherwise), the colour table taken from the format's palette.
void PrepareImage(const Format& format, Image& image);

// Decodes the pixel data of the format into a picture prepared by PrepareImage. RLE data is drawn over the
// existing pixels (so that a delta frame keeps the frame before it). Raises EInvalidGraphic for data that
// is too short or runs past the picture.
void DecodePixels(const Format& format, const std::uint8_t* data, std::size_t size, Image& image);

// Whether `size` bytes of pixel data could draw the whole picture the format declares: uncompressed rows
// must all be there; RLE data draws at most 255 pixels with two bytes (its longest run). Pictures whose
// data could not are refused before their memory is taken.
bool CouldDrawWhole(const Format& format, std::size_t size);

// Decodes a whole BMP file. Raises EInvalidGraphic for anything that is not a readable BMP.
Image DecodeFile(const std::uint8_t* data, std::size_t size);

// Where the rows of a file lie that stores its pixels as a 24-bit picture is kept in memory (three
// bytes per pixel, blue, green, red, uncompressed, rows padded to four bytes), so that the picture can
// take them where they are: the first stored row at Offset, Stride bytes apart, top row first when
// TopDown. False for every other kind of file, which DecodeFile reads; EInvalidGraphic where DecodeFile
// would raise it.
struct PlainRows {
    int Width = 0;
    int Height = 0;
    bool TopDown = false;
    std::size_t Offset = 0;
    std::size_t Stride = 0;
};
bool LocatePlainRows(const std::uint8_t* data, std::size_t size, PlainRows& rows);

} // namespace bmp
