#include "DibRow.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

// The row size counted bit by bit: pixels until the next bit would start a new word.
std::uint64_t CountedRowBytes(int width, int bitsPerPixel) {
    std::uint64_t words = 0;
    int bitsInWord = 32;
    for (int pixel = 0; pixel < width; ++pixel) {
        for (int bit = 0; bit < bitsPerPixel; ++bit) {
            if (bitsInWord == 32) {
                ++words;
                bitsInWord = 0;
            }
            ++bitsInWord;
        }
    }
    return words * 4;
}

TEST(DibRowSize, PadsEveryDepthToWholeWords) {
    for (int bits : {1, 4, 8, 24, 32})
        for (int width = 1; width <= 33; ++width)
            EXPECT_EQ(DibRowSize(width, bits), CountedRowBytes(width, bits)) << width << " px at " << bits;
}

TEST(DibRowSize, NothingForEmptyOrNegativeSizes) {
    EXPECT_EQ(DibRowSize(0, 24), 0u);
    EXPECT_EQ(DibRowSize(-5, 24), 0u);
    EXPECT_EQ(DibRowSize(10, 0), 0u);
    EXPECT_EQ(DibRowSize(10, -8), 0u);
}

TEST(DibRowSize, HugeWidthsDoNotWrapAround) {
    // The widest row a 32-bit width can ask for, at the deepest common depth.
    const std::int64_t widest32 = std::numeric_limits<std::int32_t>::max();
    EXPECT_EQ(DibRowSize(widest32, 32), std::uint64_t(widest32) * 4);
    EXPECT_EQ(DibRowSize(widest32, 24), (std::uint64_t(widest32) * 24 + 31) / 32 * 4);
    // A row larger than 64 bits can count is refused instead of coming out small.
    const std::int64_t widest = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(DibRowSize(widest, 32), 0u);
    EXPECT_EQ(DibRowSize(widest, 1), (std::uint64_t(widest) + 31) / 32 * 4);
}

} // namespace
