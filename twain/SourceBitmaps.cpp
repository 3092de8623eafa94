#include "SourceBitmaps.h"

#include "Bitmap.h"
#include "Gdi.h"
#include "PackedDib.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

TPixelFormat PixelFormatOf(int bitsPerPixel) {
    switch (bitsPerPixel) {
    case 1:
        return TPixelFormat::pf1bit;
    case 8:
        return TPixelFormat::pf8bit;
    case 24:
        return TPixelFormat::pf24bit;
    default:
        return TPixelFormat::pf32bit;
    }
}

} // namespace

bool BitmapFormatKnown(int bitsPerPixel) {
    return bitsPerPixel == 1 || bitsPerPixel == 8 || bitsPerPixel == 24 || bitsPerPixel == 32;
}

bool AdoptBitmap(TBitmap& image, HBITMAP bitmap, bool bottomUp) {
    BITMAP info{};
    if (GetObjectA(bitmap, int(sizeof info), &info) == 0 || !info.bmBits ||
        !BitmapFormatKnown(info.bmBitsPixel))
        return false;
    TExternalPixels pixels;
    pixels.Width = info.bmWidth;
    pixels.Height = info.bmHeight;
    pixels.Format = PixelFormatOf(info.bmBitsPixel);
    auto* memory = static_cast<std::uint8_t*>(info.bmBits);
    pixels.FirstRow =
        bottomUp ? memory + std::size_t(info.bmHeight - 1) * std::size_t(info.bmWidthBytes) : memory;
    pixels.Stride = bottomUp ? -std::ptrdiff_t(info.bmWidthBytes) : std::ptrdiff_t(info.bmWidthBytes);
    if (info.bmBitsPixel <= 8) {
        RGBQUAD colors[256];
        const UINT count = GetDIBColorTable(bitmap, 0, 256, colors);
        for (UINT i = 0; i < count; ++i)
            pixels.Colors.push_back(TRGBQuad{colors[i].rgbBlue, colors[i].rgbGreen, colors[i].rgbRed, 0});
    }
    pixels.Release = [bitmap] { DeleteObject(bitmap); };
    image.AdoptPixels(std::move(pixels));
    return true;
}

HBITMAP BitmapFromPackedDib(const std::uint8_t* data, std::size_t size) {
    TPackedDib dib;
    if (!ReadPackedDib(data, size, dib))
        return nullptr;
    std::vector<std::uint8_t> info(sizeof dib.Header +
                                   std::max<std::size_t>(dib.Colors.size(), 1) * sizeof(RGBQUAD));
    std::memcpy(info.data(), &dib.Header, sizeof dib.Header);
    if (!dib.Colors.empty())
        std::memcpy(info.data() + sizeof dib.Header, dib.Colors.data(), dib.Colors.size() * sizeof(RGBQUAD));
    return CreateDIBitmap(nullptr, &dib.Header, CBM_INIT, dib.Pixels,
                          reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS);
}
