// Bitmaps: shared pixels and their separation on write, row access limits, sizes, formats and adopted
// platform memory.
#include "Bitmap.h"
#include "Canvas.h"
#include "Exceptions.h"
#include "Halftone.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

#include <random>

using namespace testpictures;

TEST(Bitmap, CopiesShareUntilOneSideWrites) {
    TBitmap original = Solid(5, 4, 10);
    TBitmap copy(original);
    EXPECT_TRUE(copy.SharesPixelsWith(original));
    copy.ScanLine(2)[0] = 99;
    EXPECT_FALSE(copy.SharesPixelsWith(original));
    EXPECT_EQ(original.ConstScanLine(2)[0], 10);
    EXPECT_EQ(copy.ConstScanLine(2)[0], 99);
    // And the other way round: writing the original leaves an earlier copy alone.
    TBitmap second;
    second.Assign(&original);
    original.ScanLine(0)[1] = 7;
    EXPECT_EQ(second.ConstScanLine(0)[1], 10);
}

TEST(Bitmap, RowIndexOutsideTheBitmapIsRefused) {
    TBitmap b = Solid(3, 2, 0);
    const TBitmap& readOnly = b;
    for (int row : {-1, 2, 1000}) {
        try {
            b.ScanLine(row);
            FAIL() << row;
        } catch (const EInvalidGraphicOperation& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("Scan line index out of range"));
        }
        EXPECT_THROW(readOnly.ScanLine(row), EInvalidGraphicOperation);
    }
    TBitmap empty;
    EXPECT_THROW(empty.ScanLine(0), EInvalidGraphicOperation);
}

TEST(Bitmap, NewAreaIsWhiteAndOldPixelsStay) {
    TBitmap b = Solid(2, 2, 40);
    b.SetSize(4, 3);
    EXPECT_EQ(b.Pixel(1, 1), RGBColor(40, 40, 40));
    EXPECT_EQ(b.Pixel(3, 0), clWhite);
    EXPECT_EQ(b.Pixel(0, 2), clWhite);
    EXPECT_EQ(b.RowStride() % 4, 0);
    b.SetWidth(-5);
    EXPECT_TRUE(b.Empty());
}

TEST(Bitmap, SizeChangesNotifyTheOwner) {
    TBitmap b;
    int changes = 0;
    b.OnChange = [&](TObject*) { ++changes; };
    b.SetSize(3, 3);
    b.SetPixelFormat(TPixelFormat::pf8bit);
    b.ScanLine(0)[0] = 1; // a row write is not a change notification
    EXPECT_EQ(changes, 2);
}

TEST(Bitmap, IndexedFormatsConvertToDirectColourThroughTheirTable) {
    TBitmap mono = Blank(10, 1, TPixelFormat::pf1bit);
    mono.SetColorTable({TRGBQuad{0, 0, 255, 0}, TRGBQuad{0, 255, 0, 0}}); // red, green
    mono.ScanLine(0)[0] = 0b10100000;
    mono.ScanLine(0)[1] = 0b01000000; // pixel 9
    mono.SetPixelFormat(TPixelFormat::pf24bit);
    EXPECT_EQ(mono.Pixel(0, 0), RGBColor(0, 255, 0));
    EXPECT_EQ(mono.Pixel(1, 0), RGBColor(255, 0, 0));
    EXPECT_EQ(mono.Pixel(2, 0), RGBColor(0, 255, 0));
    EXPECT_EQ(mono.Pixel(9, 0), RGBColor(0, 255, 0));
    EXPECT_EQ(mono.Pixel(8, 0), RGBColor(255, 0, 0));

    TBitmap grey = Blank(3, 1, TPixelFormat::pf8bit);
    grey.SetColorTable(GreyTable());
    grey.ScanLine(0)[2] = 200;
    grey.SetPixelFormat(TPixelFormat::pf24bit);
    EXPECT_EQ(grey.Pixel(2, 0), RGBColor(200, 200, 200));
    EXPECT_TRUE(grey.ColorTable().empty());
}

TEST(Bitmap, ReducingToEightBitsPicksTheNearestHalftoneColour) {
    // Pure red is in the cube; the grey lies between the cube's levels.
    TBitmap b = FromPixels(2, 1, {{255, 0, 0}, {100, 100, 100}});
    b.SetPixelFormat(TPixelFormat::pf8bit);
    EXPECT_EQ(b.ColorTable(), HalftonePalette());
    EXPECT_EQ(b.Pixel(0, 0), RGBColor(255, 0, 0));
    EXPECT_EQ(b.Pixel(1, 0), RGBColor(100, 100, 100));
}

TEST(Halftone, FastNearestMatchesASearchOfTheWholePalette) {
    const auto& palette = HalftonePalette();
    ASSERT_EQ(palette.size(), 256u);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> channel(0, 255);
    for (int i = 0; i < 200000; ++i) {
        const int r = channel(random), g = channel(random), b = channel(random);
        int best = 0, bestDistance = 1 << 30;
        for (int k = 0; k < 256; ++k) {
            const int d = (palette[k].Red - r) * (palette[k].Red - r) +
                          (palette[k].Green - g) * (palette[k].Green - g) +
                          (palette[k].Blue - b) * (palette[k].Blue - b);
            if (d < bestDistance)
                bestDistance = d, best = k;
        }
        ASSERT_EQ(HalftoneIndex(r, g, b), best) << r << "," << g << "," << b;
    }
}

TEST(Bitmap, AdoptedBottomUpMemoryReadsTopDownAndIsReleasedOnce) {
    // Three rows stored bottom-up, as a platform section keeps them: row 2 first in memory.
    std::vector<std::uint8_t> memory = {
        3, 3, 3, 0, // row 2
        2, 2, 2, 0, // row 1
        1, 1, 1, 0, // row 0
    };
    int released = 0;
    {
        TBitmap b;
        TExternalPixels pixels;
        pixels.Width = 1;
        pixels.Height = 3;
        pixels.Format = TPixelFormat::pf24bit;
        pixels.FirstRow = memory.data() + 8;
        pixels.Stride = -4;
        pixels.Release = [&] { ++released; };
        b.AdoptPixels(std::move(pixels));
        EXPECT_EQ(b.ConstScanLine(0)[0], 1);
        EXPECT_EQ(b.ConstScanLine(2)[0], 3);
        TBitmap copy(b);
        copy.SetPixelFormat(TPixelFormat::pf32bit); // the copy gets memory of its own
        EXPECT_EQ(copy.Pixel(0, 1), RGBColor(2, 2, 2));
        EXPECT_EQ(released, 0);
    }
    EXPECT_EQ(released, 1);
}

TEST(Bitmap, PixelsToBeOverwrittenLeaveTheirCopiesAsTheyWere) {
    TBitmap page = ColourPicture(5, 3); // 15 bytes a row, one byte of padding
    EXPECT_TRUE(page.OwnsPixelsAlone());
    const std::uint8_t* alone = page.ConstScanLine(0);
    page.UnsharePixelsForOverwrite(); // nobody shares: the pixels stay where and what they are
    EXPECT_EQ(page.ConstScanLine(0), alone);
    EXPECT_TRUE(SamePixels(page, ColourPicture(5, 3)));

    const TBitmap view = page;
    EXPECT_FALSE(page.OwnsPixelsAlone());
    page.UnsharePixelsForOverwrite();
    EXPECT_TRUE(page.OwnsPixelsAlone());
    EXPECT_FALSE(page.SharesPixelsWith(view));
    EXPECT_EQ(page.Width(), 5);
    EXPECT_EQ(page.Height(), 3);
    EXPECT_EQ(page.PixelFormat(), TPixelFormat::pf24bit);
    for (int y = 0; y < 3; ++y) {
        std::fill_n(page.ScanLine(y), 15, std::uint8_t(7));
        EXPECT_EQ(page.ConstScanLine(y)[15], 0) << "row padding of new pixels is 0";
    }
    EXPECT_TRUE(SamePixels(view, ColourPicture(5, 3)));

    // An 8-bit bitmap keeps its colour table.
    TBitmap indexed;
    indexed.SetPixelFormat(TPixelFormat::pf8bit);
    indexed.SetColorTable(GreyTable());
    indexed.SetSize(3, 2);
    const TBitmap kept = indexed;
    indexed.UnsharePixelsForOverwrite();
    EXPECT_EQ(indexed.ColorTable().size(), 256u);
    EXPECT_EQ(indexed.PixelFormat(), TPixelFormat::pf8bit);
}

TEST(Bitmap, SwappedPixelsChangeOwnersQuietly) {
    TBitmap a = Solid(2, 2, 10), b = Solid(3, 1, 20);
    int changes = 0;
    a.OnChange = [&](TObject*) { ++changes; };
    const TBitmap copyOfA = a;
    a.SwapPixels(b);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(a.Width(), 3);
    EXPECT_EQ(RgbAt(a, 0, 0), (Rgb{20, 20, 20}));
    EXPECT_EQ(RgbAt(b, 1, 1), (Rgb{10, 10, 10}));
    EXPECT_TRUE(b.SharesPixelsWith(copyOfA));
}

TEST(Bitmap, PagesOfSeveralMegabytesBehaveAsSmallOnes) {
    // Large pixel memory is mapped on its own and starts out zero; what a bitmap makes of it must not
    // depend on that: new area is white, and a conversion to one bit sets only the white pixels.
    TBitmap page;
    page.SetSize(2001, 1500); // 9 MB, rows of 6003 bytes padded to 6004
    EXPECT_EQ(page.Pixel(2000, 1499), clWhite);
    page.Canvas().FillRect(Rect(0, 0, 1000, 1500), clBlack);
    page.SetPixelFormat(TPixelFormat::pf1bit);
    EXPECT_EQ(page.Pixel(999, 700), clBlack);
    EXPECT_EQ(page.Pixel(1000, 700), clWhite);
    page.SetPixelFormat(TPixelFormat::pf24bit);
    const TBitmap copy = page;
    page.UnsharePixelsForOverwrite();
    EXPECT_EQ(page.ConstScanLine(3)[3 * 2001], 0) << "padding";
    EXPECT_EQ(copy.Pixel(1000, 700), clWhite);
}
