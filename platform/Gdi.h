// Bitmaps: device-independent sections (pixel memory the program writes directly, rows stored bottom-up
// when the height is positive) and device-dependent bitmaps in the screen's format, which here is
// 32 bits per pixel, blue-green-red-unused, top row first.
#pragma once

#include "WinTypes.h"

#include <cstddef>

constexpr DWORD BI_RGB = 0;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr DWORD CBM_INIT = 4;

#pragma pack(push, 2)
struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

// The older 12-byte header some DIBs still carry; its colour table holds 3-byte entries.
struct BITMAPCOREHEADER {
    DWORD bcSize;
    WORD bcWidth;
    WORD bcHeight;
    WORD bcPlanes;
    WORD bcBitCount;
};
#pragma pack(pop)

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

struct RGBTRIPLE {
    BYTE rgbtBlue;
    BYTE rgbtGreen;
    BYTE rgbtRed;
};

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

// What GetObjectA tells about a bitmap.
struct BITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
};

static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(BITMAPCOREHEADER) == 12);
static_assert(sizeof(RGBQUAD) == 4);
static_assert(sizeof(RGBTRIPLE) == 3);

// The largest pixel memory a bitmap may have.
constexpr std::size_t kBitmapMemoryLimit = std::size_t(1) << 30;

// Bytes in one stored row: rows are padded to whole 32-bit words. 0 when the values make no sense.
std::size_t DibRowBytes(long long width, int bitsPerPixel);

// A section described by `info` (header and, for up to 8 bits per pixel, its colour table: biClrUsed
// entries, or 2^bits when that is 0). Bit counts 1, 4, 8, 16, 24 and 32 with BI_RGB are accepted. The
// pixel memory is zero-filled and its address goes to *bits. nullptr for anything it cannot make.
// The device context is not needed and may be nullptr.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset);

// A device-dependent bitmap of the header's size; with CBM_INIT its pixels are converted from the DIB
// given by `bits` and `info` (1, 4, 8, 16, 24 or 32 bits per pixel, BI_RGB). The caller vouches that
// `bits` holds all the DIB's rows. nullptr for anything it cannot make.
HBITMAP CreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                       const BITMAPINFO* info, UINT usage);

// Fills a BITMAP for a bitmap handle (bmBits is the pixel memory for both kinds of bitmap). Returns the
// bytes written, 0 for a handle that is not a bitmap or a buffer too small.
int GetObjectA(HGDIOBJ object, int bufferSize, LPVOID buffer);
// Copies up to `count` colour-table entries from `start`; returns how many were copied.
UINT GetDIBColorTable(HBITMAP bitmap, UINT start, UINT count, RGBQUAD* colors);
BOOL DeleteObject(HGDIOBJ object);
