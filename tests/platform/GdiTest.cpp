// Bitmaps made from device-independent headers, reached only through handles of their own kind.
#include "Gdi.h"
#include "GlobalMemory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A BITMAPINFO with room for 256 colours.
struct TInfo {
    BITMAPINFOHEADER header{};
    RGBQUAD colors[256]{};
    const BITMAPINFO* Get() const { return reinterpret_cast<const BITMAPINFO*>(this); }
};

TInfo Header(int width, int height, int bits, DWORD used = 0) {
    TInfo info;
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = height;
    info.header.biPlanes = 1;
    info.header.biBitCount = WORD(bits);
    info.header.biClrUsed = used;
    return info;
}

} // namespace

TEST(Bitmaps, SectionHasPaddedRowsAndItsColourTable) {
    TInfo info = Header(13, 5, 8, 3);
    info.colors[2] = RGBQUAD{1, 2, 3, 0};
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, info.Get(), DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(section, nullptr);
    ASSERT_NE(bits, nullptr);
    BITMAP described{};
    ASSERT_EQ(GetObjectA(section, sizeof described, &described), int(sizeof described));
    EXPECT_EQ(described.bmWidth, 13);
    EXPECT_EQ(described.bmHeight, 5);
    EXPECT_EQ(described.bmWidthBytes, 16);
    EXPECT_EQ(described.bmBitsPixel, 8);
    EXPECT_EQ(described.bmBits, bits);
    std::memset(bits, 0x5A, 16 * 5); // the whole pixel memory is ours to write

    RGBQUAD colors[256];
    EXPECT_EQ(GetDIBColorTable(section, 0, 256, colors), 3u);
    EXPECT_EQ(colors[2].rgbRed, 3);
    EXPECT_EQ(GetDIBColorTable(section, 2, 256, colors), 1u);

    EXPECT_TRUE(DeleteObject(section));
    EXPECT_FALSE(DeleteObject(section));
    EXPECT_EQ(GetObjectA(section, sizeof described, &described), 0);
}

TEST(Bitmaps, FullColourTableWhenNoneIsCounted) {
    TInfo info = Header(8, 1, 1);
    HBITMAP section = CreateDIBSection(nullptr, info.Get(), DIB_RGB_COLORS, nullptr, nullptr, 0);
    RGBQUAD colors[256];
    EXPECT_EQ(GetDIBColorTable(section, 0, 256, colors), 2u);
    DeleteObject(section);
    info = Header(8, 1, 24, 256);
    section = CreateDIBSection(nullptr, info.Get(), DIB_RGB_COLORS, nullptr, nullptr, 0);
    EXPECT_EQ(GetDIBColorTable(section, 0, 256, colors), 0u) << "no table above 8 bits";
    DeleteObject(section);
}

TEST(Bitmaps, NonsenseHeadersMakeNoSection) {
    void* bits = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateDIBSection(nullptr, Header(0, 5, 8).Get(), DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(bits, nullptr);
    EXPECT_EQ(CreateDIBSection(nullptr, Header(5, 0, 8).Get(), DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(CreateDIBSection(nullptr, Header(5, 5, 3).Get(), DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(CreateDIBSection(nullptr, Header(100000, 100000, 32).Get(), DIB_RGB_COLORS, &bits, nullptr, 0),
              nullptr);
    TInfo compressed = Header(5, 5, 8);
    compressed.header.biCompression = 1;
    EXPECT_EQ(CreateDIBSection(nullptr, compressed.Get(), DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(CreateDIBSection(nullptr, nullptr, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
}

TEST(Bitmaps, HandleOfAnotherKindIsNotABitmap) {
    HGLOBAL block = GlobalAlloc(GHND, 64);
    BITMAP described{};
    EXPECT_EQ(GetObjectA(block, sizeof described, &described), 0);
    EXPECT_FALSE(DeleteObject(block));
    EXPECT_EQ(GlobalSize(block), 64u);
    GlobalFree(block);
}

TEST(Bitmaps, DeviceBitmapFromDibsOfEveryDepth) {
    // Two rows, three pixels: top row black, white, grey; bottom row the reverse.
    struct Case {
        int bits;
        std::vector<std::uint8_t> bottomUp; // the DIB's rows, bottom row first
        int colors;
    };
    const Case cases[] = {
        {1, {0b10100000, 0, 0, 0, 0b01000000, 0, 0, 0}, 2},
        {4, {0x21, 0x00, 0, 0, 0x01, 0x20, 0, 0}, 3},
        {8, {2, 1, 0, 0, 0, 1, 2, 0}, 3},
        {24,
         {128, 128, 128, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 255, 128, 128, 128, 0, 0, 0},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        TInfo info = Header(3, 2, c.bits, DWORD(c.colors));
        info.colors[0] = RGBQUAD{0, 0, 0, 0};
        info.colors[1] = RGBQUAD{255, 255, 255, 0};
        info.colors[2] = RGBQUAD{128, 128, 128, 0};
        HBITMAP bitmap =
            CreateDIBitmap(nullptr, &info.header, CBM_INIT, c.bottomUp.data(), info.Get(), DIB_RGB_COLORS);
        ASSERT_NE(bitmap, nullptr);
        BITMAP described{};
        ASSERT_NE(GetObjectA(bitmap, sizeof described, &described), 0);
        EXPECT_EQ(described.bmBitsPixel, 32);
        const auto* pixels = static_cast<const std::uint8_t*>(described.bmBits);
        const int top[3] = {0, 255, 128};
        const int bottom[3] = {128, 255, 0};
        if (c.bits == 1) {
            // Two colours only: the top row is black, white, black; the bottom row the reverse.
            for (int x = 0; x < 3; ++x) {
                EXPECT_EQ(pixels[4 * x], x == 1 ? 255 : 0) << x;
                EXPECT_EQ(pixels[described.bmWidthBytes + 4 * x], x == 1 ? 0 : 255) << x;
            }
        } else {
            for (int x = 0; x < 3; ++x) {
                EXPECT_EQ(pixels[4 * x], top[x]) << x;
                EXPECT_EQ(pixels[described.bmWidthBytes + 4 * x], bottom[x]) << x;
            }
        }
        DeleteObject(bitmap);
    }
}
