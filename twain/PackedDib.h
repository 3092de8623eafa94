// A device-independent bitmap packed in one block of memory (header, colour table, pixel rows), as a
// source hands it over in a native transfer. Reading it is a pure function over the block's bytes, so
// that whatever a source puts there is checked before anything is drawn from it.
#pragma once

#include "Gdi.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct TPackedDib {
    // The header in its 40-byte form (a 12-byte core header is widened to it); biClrUsed counts Colors.
    BITMAPINFOHEADER Header{};
    std::vector<RGBQUAD> Colors;
    const std::uint8_t* Pixels = nullptr; // inside the block
    std::size_t PixelBytes = 0;           // every row of the picture, each padded to 32 bits
};

// Colour-table entries that a DIB of this depth carries when it does not count them itself.
std::size_t FullColorTable(int bitsPerPixel);

// Reads the header and colour table of a packed DIB of `size` bytes: the 12-byte core header with 3-byte
// colour entries, or a 40-byte (or longer) info header with 4-byte ones, whose biClrUsed, when not 0,
// counts its entries. False when the header is of neither kind, or when the table or the rows the
// header describes do not fit in the block.
bool ReadPackedDib(const std::uint8_t* data, std::size_t size, TPackedDib& dib);
