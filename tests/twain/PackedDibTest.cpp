// The reader of the DIB a source hands over in a native transfer: what it accepts, and the claims of a
// broken source that it must refuse without reading or allocating past the block.
#include "PackedDib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

namespace {

std::vector<std::uint8_t> InfoDib(LONG width, LONG height, WORD bits, DWORD colorsUsed, std::size_t colors,
                                  std::size_t pixelBytes) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = bits;
    header.biClrUsed = colorsUsed;
    std::vector<std::uint8_t> dib(sizeof header + 4 * colors + pixelBytes, 0x5a);
    std::memcpy(dib.data(), &header, sizeof header);
    return dib;
}

} // namespace

TEST(PackedDib, ReadsBothHeaderKindsAndChecksTheRowsAgainstTheBlock) {
    // 3 x 2 at 8 bits: 256 entries by default, rows of 4 bytes.
    std::vector<std::uint8_t> dib = InfoDib(3, 2, 8, 0, 256, 8);
    TPackedDib read;
    ASSERT_TRUE(ReadPackedDib(dib.data(), dib.size(), read));
    EXPECT_EQ(read.Colors.size(), 256u);
    EXPECT_EQ(read.PixelBytes, 8u);
    EXPECT_EQ(read.Pixels, dib.data() + 40 + 1024);
    EXPECT_FALSE(ReadPackedDib(dib.data(), dib.size() - 1, read)) << "one byte short";

    // Rows stored top-down, and a header longer than 40 bytes.
    dib = InfoDib(5, -3, 24, 0, 0, 16 * 3);
    ASSERT_TRUE(ReadPackedDib(dib.data(), dib.size(), read));
    EXPECT_EQ(read.PixelBytes, 48u);
    std::vector<std::uint8_t> longer(dib.size() + 68, 0);
    std::memcpy(longer.data(), dib.data(), 40);
    const DWORD size = 108;
    std::memcpy(longer.data(), &size, 4);
    ASSERT_TRUE(ReadPackedDib(longer.data(), longer.size(), read));
    EXPECT_EQ(read.Header.biSize, 40u);
    EXPECT_EQ(read.Pixels, longer.data() + 108);

    // The 12-byte core header with 3-byte colour entries.
    std::vector<std::uint8_t> core(12 + 6 + 4, 0);
    const BITMAPCOREHEADER coreHeader{12, 9, 1, 1, 1};
    std::memcpy(core.data(), &coreHeader, sizeof coreHeader);
    core[12] = 10, core[13] = 20, core[14] = 30;
    ASSERT_TRUE(ReadPackedDib(core.data(), core.size(), read));
    ASSERT_EQ(read.Colors.size(), 2u);
    EXPECT_EQ(read.Colors[0].rgbRed, 30);
    EXPECT_EQ(read.Header.biWidth, 9);
    EXPECT_EQ(read.Pixels, core.data() + 18);
}

TEST(PackedDib, ClaimsTheBlockCannotHoldAreRefused) {
    TPackedDib read;
    std::vector<std::uint8_t> dib = InfoDib(0x7fffffff, 0x7fffffff, 32, 0, 0, 64);
    EXPECT_FALSE(ReadPackedDib(dib.data(), dib.size(), read)) << "rows whose size overflows";
    dib = InfoDib(4, std::numeric_limits<LONG>::min(), 8, 0, 256, 64);
    EXPECT_FALSE(ReadPackedDib(dib.data(), dib.size(), read));
    dib = InfoDib(4, 4, 8, 0xffffffff, 0, 64);
    EXPECT_FALSE(ReadPackedDib(dib.data(), dib.size(), read)) << "a colour table larger than the block";
    dib = InfoDib(4, 4, 0xffff, 0, 0, 64);
    EXPECT_FALSE(ReadPackedDib(dib.data(), dib.size(), read));
    dib = InfoDib(-4, 4, 8, 0, 256, 64);
    EXPECT_FALSE(ReadPackedDib(dib.data(), dib.size(), read));
    dib = InfoDib(4, 0, 8, 0, 256, 64);
    EXPECT_FALSE(ReadPackedDib(dib.data(), dib.size(), read));
    for (DWORD size : {0u, 4u, 13u, 39u, 0xffffffffu}) {
        std::memcpy(dib.data(), &size, 4);
        EXPECT_FALSE(ReadPackedDib(dib.data(), dib.size(), read)) << size;
    }
    EXPECT_FALSE(ReadPackedDib(dib.data(), 3, read));
    EXPECT_FALSE(ReadPackedDib(nullptr, 100, read));
}
