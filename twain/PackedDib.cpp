#include "PackedDib.h"

#include "TwainUtils.h"

#include <cstring>

std::size_t FullColorTable(int bitsPerPixel) {
    return bitsPerPixel == 1 ? 2 : bitsPerPixel == 4 ? 16 : bitsPerPixel == 8 ? 256 : 0;
}

bool ReadPackedDib(const std::uint8_t* data, std::size_t size, TPackedDib& dib) {
    dib = TPackedDib{};
    DWORD headerSize = 0;
    if (!data || size < sizeof headerSize)
        return false;
    std::memcpy(&headerSize, data, sizeof headerSize);
    if (headerSize > size)
        return false;

    BITMAPINFOHEADER& header = dib.Header;
    std::size_t colorBytes = 0;
    if (headerSize == sizeof(BITMAPCOREHEADER)) {
        BITMAPCOREHEADER core;
        std::memcpy(&core, data, sizeof core);
        header.biSize = sizeof header;
        header.biWidth = core.bcWidth;
        header.biHeight = core.bcHeight;
        header.biPlanes = 1;
        header.biBitCount = core.bcBitCount;
        const std::size_t count = FullColorTable(core.bcBitCount);
        colorBytes = count * sizeof(RGBTRIPLE);
        if (size - headerSize < colorBytes)
            return false;
        for (std::size_t i = 0; i < count; ++i) {
            RGBTRIPLE entry;
            std::memcpy(&entry, data + headerSize + i * sizeof entry, sizeof entry);
            dib.Colors.push_back(RGBQUAD{entry.rgbtBlue, entry.rgbtGreen, entry.rgbtRed, 0});
        }
    } else if (headerSize >= sizeof(BITMAPINFOHEADER)) {
        std::memcpy(&header, data, sizeof header);
        header.biSize = sizeof header;
        const std::size_t count =
            header.biClrUsed != 0 ? header.biClrUsed : FullColorTable(header.biBitCount);
        if (count > (size - headerSize) / sizeof(RGBQUAD))
            return false;
        colorBytes = count * sizeof(RGBQUAD);
        dib.Colors.resize(count);
        if (count > 0)
            std::memcpy(dib.Colors.data(), data + headerSize, colorBytes);
    } else {
        return false;
    }

    // The rows must fit in what is left of the block; the sizes are compared without multiplying them,
    // which could overflow for the values a broken source may claim.
    const std::uint64_t height =
        header.biHeight < 0 ? std::uint64_t(-std::int64_t(header.biHeight)) : std::uint64_t(header.biHeight);
    const std::uint64_t rowBytes = BitmapRowBytes(header.biWidth, header.biBitCount);
    const std::size_t room = size - headerSize - colorBytes;
    if (rowBytes == 0 || height == 0 || height > room / rowBytes)
        return false;
    header.biClrUsed = DWORD(dib.Colors.size());
    dib.Pixels = data + headerSize + colorBytes;
    dib.PixelBytes = std::size_t(rowBytes * height);
    return true;
}
