// The view's shrink: each shown pixel is the average of the page's pixels it covers, and the view
// shows that rather than every n-th pixel of the page.
#include "BoxShrink.h"
#include "Bitmap.h"
#include "Image.h"
#include "Picture.h"
#include "TestPictures.h"

#include <QImage>

#include <gtest/gtest.h>

using namespace testpictures;

namespace {

// A page of fine horizontal stripes, black and white row by row.
TBitmap Stripes(int width, int height) {
    return Painted(width, height, [](int, int y) { return y % 2 ? Rgb{255, 255, 255} : Rgb{0, 0, 0}; });
}

Rgb At(const QImage& image, int x, int y) {
    const uchar* p = image.constScanLine(y) + 3 * x;
    return Rgb{p[2], p[1], p[0]};
}

} // namespace

TEST(BoxShrink, EveryPixelIsTheRoundedAverageOfTheBlockItCovers) {
    // 7 columns into 3 cover columns 0-1, 2-3 and 4-6; 5 rows into 2 cover rows 0-1 and 2-4.
    const TBitmap page = Painted(7, 5, [](int x, int y) {
        return Rgb{10 * x + y, 200 - 20 * y, x == 6 ? 255 : 0};
    });
    const QImage small = ShrinkByAveraging(page, 3, 2);
    ASSERT_EQ(small.size(), QSize(3, 2));
    EXPECT_EQ(At(small, 0, 0), (Rgb{6, 190, 0}));   // red (0+1+10+11)/4 = 5.5 rounds to 6
    EXPECT_EQ(At(small, 2, 1), (Rgb{53, 140, 85})); // red 44 .. 64, mean 53; blue 255 in one column of three
    EXPECT_EQ(At(small, 1, 1), (Rgb{28, 140, 0}));
    // A grey 8-bit page shows as its 24-bit form, and a size not smaller is refused.
    TBitmap grey = Painted(7, 5, [](int x, int y) { return Rgb{30 * x + y, 30 * x + y, 30 * x + y}; });
    const QImage fromColour = ShrinkByAveraging(grey, 3, 2);
    grey.SetPixelFormat(TPixelFormat::pf8bit);
    grey.SetColorTable(GreyTable());
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            grey.ScanLine(y)[x] = std::uint8_t(30 * x + y);
    EXPECT_EQ(ShrinkByAveraging(grey, 3, 2), fromColour);
    EXPECT_TRUE(ShrinkByAveraging(grey, 8, 2).isNull());
}

TEST(BoxShrink, TheViewShowsFineStripesAsTheirGrey) {
    // A 150-dpi scan of fine stripes in the main window's view: every pixel shown is a mid grey,
    // never a run of black or white that sampling every fifth row gives.
    TImage view;
    view.resize(249, 361);
    view.SetCenter(true);
    view.SetProportional(true);
    const TBitmap page = Stripes(1240, 1753);
    view.Picture()->Assign(&page);
    const QImage shown = view.grab().toImage().convertToFormat(QImage::Format_RGB888);
    const TRect dest = view.DestRect();
    for (int y = dest.Top; y < dest.Bottom; ++y)
        for (int x = dest.Left; x < dest.Right; x += 7) {
            const int level = qRed(shown.pixel(x, y));
            ASSERT_GE(level, 80) << x << "," << y;
            ASSERT_LE(level, 175) << x << "," << y;
        }
    // Shown at its own size, a picture is drawn pixel for pixel as before.
    view.SetProportional(false);
    view.resize(1240, 1753);
    const QImage full = view.grab().toImage();
    EXPECT_EQ(qRed(full.pixel(3, 0)), 0);
    EXPECT_EQ(qRed(full.pixel(3, 1)), 255);
}
