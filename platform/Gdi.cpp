#include "Gdi.h"

#include "DibRow.h"
#include "HandleTable.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <sys/mman.h>

namespace {

// Pixel memory of several megabytes (a scanned page) is mapped on its own, in huge pages where the
// system offers them: the page is written once as it arrives, and faulting it in 2 MiB at a time
// instead of 4 KiB costs much less than the writing itself. Mapped memory starts out zero, as calloc's.
constexpr std::size_t kMappedBytes = std::size_t(8) << 20;

std::uint8_t* AllocateZeroed(std::size_t bytes) {
    if (bytes < kMappedBytes)
        return static_cast<std::uint8_t*>(std::calloc(bytes, 1));
    void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return nullptr;
#ifdef MADV_HUGEPAGE
    madvise(memory, bytes, MADV_HUGEPAGE); // a hint: without huge pages the block works all the same
#endif
    return static_cast<std::uint8_t*>(memory);
}

void Release(std::uint8_t* memory, std::size_t bytes) {
    if (bytes < kMappedBytes)
        std::free(memory);
    else if (memory)
        munmap(memory, bytes);
}

struct TBitmapObject {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    std::size_t rowBytes = 0;
    std::vector<RGBQUAD> colors;
    std::uint8_t* pixels = nullptr;
    std::size_t bytes = 0;
    ~TBitmapObject() { Release(pixels, bytes); }
};

platform::THandleTable<TBitmapObject>& Bitmaps() {
    static platform::THandleTable<TBitmapObject> table;
    return table;
}

bool KnownBitCount(int bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Colour-table entries that come with a header.
std::size_t ColorCount(const BITMAPINFOHEADER& header) {
    if (header.biBitCount > 8)
        return 0;
    const std::size_t full = std::size_t(1) << header.biBitCount;
    return header.biClrUsed == 0 || header.biClrUsed > full ? full : header.biClrUsed;
}

std::unique_ptr<TBitmapObject> NewBitmap(long long width, long long height, int bits) {
    if (width <= 0 || height <= 0 || !KnownBitCount(bits))
        return nullptr;
    const std::size_t rowBytes = DibRowBytes(width, bits);
    if (rowBytes == 0 || std::size_t(height) > kBitmapMemoryLimit / rowBytes)
        return nullptr;
    auto bitmap = std::make_unique<TBitmapObject>();
    bitmap->bytes = rowBytes * std::size_t(height);
    bitmap->pixels = AllocateZeroed(bitmap->bytes);
    if (!bitmap->pixels)
        return nullptr;
    bitmap->width = int(width);
    bitmap->height = int(height);
    bitmap->bitsPerPixel = bits;
    bitmap->rowBytes = rowBytes;
    return bitmap;
}

// The colour of pixel x of a DIB row as blue, green, red.
RGBQUAD DibPixel(const std::uint8_t* row, int x, int bits, const std::vector<RGBQUAD>& colors) {
    auto fromTable = [&](unsigned index) {
        return index < colors.size() ? colors[index] : RGBQUAD{0, 0, 0, 0};
    };
    switch (bits) {
    case 1:
        return fromTable((row[x / 8] >> (7 - x % 8)) & 1u);
    case 4:
        return fromTable((row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0Fu);
    case 8:
        return fromTable(row[x]);
    case 16: {
        const unsigned value = unsigned(row[2 * x]) | unsigned(row[2 * x + 1]) << 8;
        auto expand = [](unsigned five) { return BYTE((five << 3) | (five >> 2)); };
        return RGBQUAD{expand(value & 31u), expand((value >> 5) & 31u), expand((value >> 10) & 31u), 0};
    }
    case 24:
        return RGBQUAD{row[3 * x], row[3 * x + 1], row[3 * x + 2], 0};
    default:
        return RGBQUAD{row[4 * x], row[4 * x + 1], row[4 * x + 2], 0};
    }
}

} // namespace

std::size_t DibRowBytes(long long width, int bitsPerPixel) {
    if (width <= 0 || bitsPerPixel <= 0 || width > (1ll << 31) || bitsPerPixel > 64)
        return 0;
    return std::size_t(DibRowSize(width, bitsPerPixel));
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD) {
    if (bits)
        *bits = nullptr;
    if (!info || usage != DIB_RGB_COLORS || section)
        return nullptr;
    BITMAPINFOHEADER header;
    std::memcpy(&header, &info->bmiHeader, sizeof header);
    if (header.biSize < sizeof header || header.biCompression != BI_RGB || header.biPlanes != 1)
        return nullptr;
    // A negative height asks for rows stored top-down; the section is the same either way.
    auto bitmap =
        NewBitmap(header.biWidth, header.biHeight < 0 ? -(long long)header.biHeight : header.biHeight,
                  header.biBitCount);
    if (!bitmap)
        return nullptr;
    bitmap->colors.resize(ColorCount(header));
    if (!bitmap->colors.empty())
        std::memcpy(bitmap->colors.data(), reinterpret_cast<const std::uint8_t*>(info) + header.biSize,
                    bitmap->colors.size() * sizeof(RGBQUAD));
    void* pixels = bitmap->pixels;
    HBITMAP handle = Bitmaps().Add<HBITMAP>(std::move(bitmap));
    if (bits)
        *bits = pixels;
    return handle;
}

HBITMAP CreateDIBitmap(HDC, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                       const BITMAPINFO* info, UINT usage) {
    if (!header || usage != DIB_RGB_COLORS)
        return nullptr;
    BITMAPINFOHEADER size;
    std::memcpy(&size, header, sizeof size);
    const long long height = size.biHeight < 0 ? -(long long)size.biHeight : size.biHeight;
    auto bitmap = NewBitmap(size.biWidth, height, 32);
    if (!bitmap)
        return nullptr;
    if (init & CBM_INIT) {
        if (!bits || !info)
            return nullptr;
        BITMAPINFOHEADER source;
        std::memcpy(&source, &info->bmiHeader, sizeof source);
        const long long sourceHeight = source.biHeight < 0 ? -(long long)source.biHeight : source.biHeight;
        if (source.biCompression != BI_RGB || !KnownBitCount(source.biBitCount) || source.biWidth <= 0 ||
            sourceHeight <= 0)
            return nullptr;
        std::vector<RGBQUAD> colors(ColorCount(source));
        if (!colors.empty())
            std::memcpy(colors.data(), reinterpret_cast<const std::uint8_t*>(info) + source.biSize,
                        colors.size() * sizeof(RGBQUAD));
        const std::size_t sourceRow = DibRowBytes(source.biWidth, source.biBitCount);
        const int rows = int(std::min<long long>(sourceHeight, bitmap->height));
        const int columns = int(std::min<long long>(source.biWidth, bitmap->width));
        for (int y = 0; y < rows; ++y) {
            // Row y of the picture; a positive height means the DIB stores its bottom row first.
            const long long stored = source.biHeight > 0 ? sourceHeight - 1 - y : y;
            const auto* in = static_cast<const std::uint8_t*>(bits) + std::size_t(stored) * sourceRow;
            std::uint8_t* out = bitmap->pixels + std::size_t(y) * bitmap->rowBytes;
            for (int x = 0; x < columns; ++x) {
                const RGBQUAD c = DibPixel(in, x, source.biBitCount, colors);
                std::memcpy(out + 4 * x, &c, 4);
            }
        }
    }
    return Bitmaps().Add<HBITMAP>(std::move(bitmap));
}

int GetObjectA(HGDIOBJ object, int bufferSize, LPVOID buffer) {
    if (!buffer || bufferSize < int(sizeof(BITMAP)))
        return 0;
    BITMAP info{};
    const bool found = Bitmaps().WithLocked(object, [&](TBitmapObject& b) {
        info.bmWidth = b.width;
        info.bmHeight = b.height;
        info.bmWidthBytes = LONG(b.rowBytes);
        info.bmPlanes = 1;
        info.bmBitsPixel = WORD(b.bitsPerPixel);
        info.bmBits = b.pixels;
    });
    if (!found)
        return 0;
    std::memcpy(buffer, &info, sizeof info);
    return int(sizeof info);
}

UINT GetDIBColorTable(HBITMAP bitmap, UINT start, UINT count, RGBQUAD* colors) {
    UINT copied = 0;
    Bitmaps().WithLocked(bitmap, [&](TBitmapObject& b) {
        for (UINT i = start; i < b.colors.size() && copied < count; ++i)
            colors[copied++] = b.colors[i];
    });
    return copied;
}

BOOL DeleteObject(HGDIOBJ object) {
    return Bitmaps().Remove(object) ? TRUE : FALSE;
}
