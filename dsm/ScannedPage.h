// One scanned page in the form the source hands out: whole rows, top row first, each row padded to a
// multiple of four bytes. Black-and-white rows hold one bit per pixel, most significant bit first,
// 0 = black; grey rows one byte per pixel; colour rows three bytes per pixel in red-green-blue order.
#pragma once

#include "DibRow.h"
#include <sane/sane.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class TPixelKind { bw, gray, rgb };

struct TScannedPage {
    TPixelKind kind = TPixelKind::gray;
    int width = 0;
    int height = 0;
    double resolution = 0; // dots per inch, as scanned
    std::vector<std::uint8_t> rows;

    int BitsPerPixel() const { return kind == TPixelKind::bw ? 1 : kind == TPixelKind::gray ? 8 : 24; }
    std::size_t RowBytes() const { return RowBytesFor(width, BitsPerPixel()); }
    const std::uint8_t* Row(int y) const { return rows.data() + std::size_t(y) * RowBytes(); }

    static std::size_t RowBytesFor(int width, int bitsPerPixel) {
        return std::size_t(DibRowSize(width, bitsPerPixel));
    }
};

// One frame as SANE delivered it: its parameters and the bytes read until end of frame.
struct TRawFrame {
    SANE_Parameters parameters{};
    std::vector<std::uint8_t> data;
};

// The most pixel memory one page may take.
constexpr std::size_t kMaxPageBytes = std::size_t(1) << 30;

// Builds a page from the frames of one SANE scan: a single grey or colour frame, or the three frames of
// a three-pass scan in any order. Only whole lines are used; bytes past the pixels of a line (padding)
// are dropped; 16-bit samples keep their high byte. False with a reason when the frames cannot form a page.
bool AssemblePage(const std::vector<TRawFrame>& frames, double resolution, TScannedPage& page,
                  std::string& reason);

// The page as a packed device-independent bitmap (header, colour table, rows bottom-up, blue-green-red).
std::vector<std::uint8_t> PackedDib(const TScannedPage& page);

// The page as the bytes of a BMP file.
std::vector<std::uint8_t> BmpFile(const TScannedPage& page);
