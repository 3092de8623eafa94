// Drawing bitmaps onto bitmaps: nearest pixel, clipped, with or without the transparent colour.
#include "Bitmap.h"
#include "Canvas.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

using namespace testpictures;

TEST(Canvas, StretchingDropsOrRepeatsRowsAndColumns) {
    const TBitmap source = Coordinates(4, 4);
    TBitmap target = Blank(8, 2);
    target.Canvas().StretchDraw(Rect(0, 0, 8, 2), source);
    // Columns repeat (each twice), rows are dropped (every other one, taking the centre's row).
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(RedOf(target.Pixel(x, 0)), x / 2) << x;
    EXPECT_EQ(GreenOf(target.Pixel(0, 0)), 1);
    EXPECT_EQ(GreenOf(target.Pixel(0, 1)), 3);
}

TEST(Canvas, DrawingIsClippedToTheTarget) {
    const TBitmap source = Coordinates(6, 6);
    TBitmap target = Blank(4, 4);
    target.Canvas().Draw(-2, -1, source);
    EXPECT_EQ(target.Pixel(0, 0), RGBColor(2, 1, 0));
    EXPECT_EQ(target.Pixel(3, 3), RGBColor(5, 4, 0));
}

TEST(Canvas, CopyRectStretchesPartOfAnotherCanvas) {
    TBitmap source = Coordinates(10, 10);
    TBitmap target = Blank(4, 4);
    target.Canvas().CopyRect(Rect(0, 0, 4, 4), source.Canvas(), Rect(2, 2, 4, 4));
    EXPECT_EQ(target.Pixel(0, 0), RGBColor(2, 2, 0));
    EXPECT_EQ(target.Pixel(3, 3), RGBColor(3, 3, 0));
}

TEST(Canvas, TransparentBitmapsLeaveOutTheirBottomLeftColour) {
    TBitmap source = Blank(2, 2);
    source.Canvas().FillRect(Rect(0, 0, 2, 2), clBlack);
    source.Canvas().FillRect(Rect(1, 0, 2, 1), clRed); // only the top-right pixel is red
    source.SetTransparent(true);
    EXPECT_EQ(source.TransparentColor(), clBlack);
    TBitmap target = Blank(2, 2);
    target.Canvas().Draw(0, 0, source);
    EXPECT_EQ(target.Pixel(1, 0), clRed);
    EXPECT_EQ(target.Pixel(0, 0), clWhite);
}

TEST(Canvas, AnEightBitBitmapDrawsAsItsColoursWouldInTwentyFourBits) {
    // A short colour table: indices past it read as greys, as when the bitmap is converted.
    TBitmap indexed;
    indexed.SetPixelFormat(TPixelFormat::pf8bit);
    indexed.SetColorTable({TRGBQuad{255, 0, 0, 0}, TRGBQuad{0, 200, 10, 0}});
    indexed.SetSize(7, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            indexed.ScanLine(y)[x] = std::uint8_t((x + y) % 3 == 0 ? 0 : (x + y) % 3 == 1 ? 1 : 90 + x);
    TBitmap converted = indexed;
    converted.SetPixelFormat(TPixelFormat::pf24bit);
    for (bool transparent : {false, true}) {
        indexed.SetTransparent(transparent);
        converted.SetTransparent(transparent);
        TBitmap fromIndexed = Blank(11, 9), fromConverted = Blank(11, 9);
        fromIndexed.Canvas().StretchDraw(Rect(1, 1, 12, 8), indexed);
        fromConverted.Canvas().StretchDraw(Rect(1, 1, 12, 8), converted);
        EXPECT_TRUE(SamePixels(fromIndexed, fromConverted)) << "transparent " << transparent;
    }
}
