// The DIB a source hands over in a native transfer: read from its block, then drawn into a bitmap in
// the screen's format as the component does.
#include "FuzzEntry.h"

#include "PackedDib.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A block of exactly the input's size, so that reading past it is seen.
    std::vector<std::uint8_t> block(data, data + size);
    TPackedDib dib;
    if (!ReadPackedDib(block.data(), block.size(), dib))
        return 0;
    // Keep the drawing small: the size check is the reader's job, the conversion is what is tried here.
    const long long height = dib.Header.biHeight < 0 ? -(long long)dib.Header.biHeight : dib.Header.biHeight;
    if ((long long)dib.Header.biWidth * height > 4 * 1024 * 1024)
        return 0;
    std::vector<std::uint8_t> info(sizeof dib.Header + (dib.Colors.size() + 1) * sizeof(RGBQUAD));
    std::memcpy(info.data(), &dib.Header, sizeof dib.Header);
    if (!dib.Colors.empty())
        std::memcpy(info.data() + sizeof dib.Header, dib.Colors.data(), dib.Colors.size() * sizeof(RGBQUAD));
    HBITMAP bitmap = CreateDIBitmap(nullptr, &dib.Header, CBM_INIT, dib.Pixels,
                                    reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS);
    if (bitmap)
        DeleteObject(bitmap);
    return 0;
}
