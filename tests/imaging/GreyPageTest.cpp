// Grey pages kept in 8 bits: the same colours in a third of the memory, and only for pages that are
// grey through and through.
#include "Bitmap.h"
#include "GreyPage.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

using namespace testpictures;

TEST(GreyPage, AGreyPageReadsTheSameInEightBits) {
    // Odd width (padded rows), enough rows to be shared between threads, and memory stored bottom-up.
    const int width = 1001, height = 700;
    TBitmap page = Painted(width, height, [](int x, int y) {
        const int v = (x * 7 + y * 13) % 256;
        return Rgb{v, v, v};
    });
    TExternalPixels bottomUp;
    std::vector<std::uint8_t> memory(std::size_t(3 * width + 1) * height);
    for (int y = 0; y < height; ++y)
        std::copy_n(page.ConstScanLine(y), 3 * width,
                    memory.data() + std::size_t(height - 1 - y) * (3 * width + 1));
    bottomUp.Width = width;
    bottomUp.Height = height;
    bottomUp.FirstRow = memory.data() + std::size_t(height - 1) * (3 * width + 1);
    bottomUp.Stride = -(3 * width + 1);
    TBitmap adopted;
    adopted.AdoptPixels(bottomUp);

    for (const TBitmap* source : {&page, &adopted}) {
        const std::unique_ptr<TBitmap> grey = GreyPageOf(*source);
        ASSERT_NE(grey, nullptr);
        EXPECT_EQ(grey->PixelFormat(), TPixelFormat::pf8bit);
        EXPECT_EQ(grey->ColorTable().size(), 256u);
        EXPECT_TRUE(SamePixels(*grey, page));
        EXPECT_EQ(grey->ConstScanLine(0)[width], 0) << "row padding";
    }
}

TEST(GreyPage, ColoursAndOtherFormatsStayAsTheyAre) {
    // One pixel off grey, anywhere (here the last one), and the page is not grey.
    TBitmap page = Solid(300, 1000, 128);
    page.ScanLine(999)[3 * 299 + 1] = 129;
    EXPECT_EQ(GreyPageOf(page), nullptr);
    page.ScanLine(999)[3 * 299 + 1] = 128;
    EXPECT_NE(GreyPageOf(page), nullptr);

    TBitmap eight;
    eight.SetPixelFormat(TPixelFormat::pf8bit);
    eight.SetSize(4, 4);
    EXPECT_EQ(GreyPageOf(eight), nullptr);
    EXPECT_EQ(GreyPageOf(TBitmap()), nullptr);
}
