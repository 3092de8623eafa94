// Drawing a picture onto a screen with more device pixels than logical ones (a scale factor of 2):
// the target rectangle stays in logical pixels, and every device pixel shows the picture's own pixel
// under it, so a picture shrunk into the view keeps the detail the screen can show.
#include "Bitmap.h"
#include "Canvas.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <set>

namespace {

// Every pixel of a different colour, so that a pixel of the result tells which source pixel it shows.
TBitmap Numbered(int width, int height) {
    TBitmap bitmap;
    bitmap.SetSize(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = std::uint8_t(x);     // blue: column, low byte
            row[3 * x + 1] = std::uint8_t(y); // green: row, low byte
            row[3 * x + 2] = std::uint8_t(x >> 8 | (y >> 8) << 4);
        }
    }
    return bitmap;
}

// The source pixel a target position shows when m source positions are stretched over n.
int Under(int i, int n, int m) {
    return int((2LL * i + 1) * m / (2LL * n));
}

QRgb SourceColour(int x, int y) {
    return qRgb((x >> 8) | (y >> 8) << 4, y & 0xff, x & 0xff);
}

// Draws the bitmap into `dest` (logical pixels) of a white target of logical size w x h at `ratio`.
QImage Draw(const TBitmap& bitmap, const TRect& dest, int w, int h, int ratio) {
    QImage target(w * ratio, h * ratio, QImage::Format_RGB32);
    target.setDevicePixelRatio(ratio);
    target.fill(Qt::white);
    QPainter painter(&target);
    TCanvas canvas(&painter);
    canvas.StretchDraw(dest, bitmap);
    painter.end();
    return target;
}

} // namespace

TEST(CanvasDensity, AtScaleTwoEachDevicePixelShowsThePicturesOwnPixel) {
    // The sample picture's case: 249 x 393 fitted into the view's 249 x 361 as 228 x 361 at left 10.
    const TBitmap picture = Numbered(249, 393);
    const TRect dest = Rect(10, 0, 238, 361);
    for (int ratio : {1, 2}) {
        SCOPED_TRACE(ratio);
        const QImage drawn = Draw(picture, dest, 249, 361, ratio);
        const int left = dest.Left * ratio, width = dest.Width() * ratio, height = dest.Height() * ratio;
        int wrong = 0;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x) {
                const bool inside = x >= left && x < left + width && y < height;
                const QRgb expected = inside
                                          ? SourceColour(Under(x - left, width, 249), Under(y, height, 393))
                                          : qRgb(255, 255, 255);
                wrong += (drawn.pixel(x, y) | 0xff000000u) != expected;
            }
        EXPECT_EQ(wrong, 0) << "pixels not showing the picture's pixel under them";

        // Along a row the screen now shows nearly every column of the picture, not one in two.
        std::set<QRgb> columns;
        for (int x = left; x < left + width; ++x)
            columns.insert(drawn.pixel(x, 100));
        EXPECT_EQ(int(columns.size()), ratio == 1 ? 228 : 249);
    }
}

TEST(CanvasDensity, APictureAtItsOwnSizeIsDoubledNotResampled) {
    const TBitmap picture = Numbered(40, 30);
    const QImage drawn = Draw(picture, Rect(5, 7, 45, 37), 60, 50, 2);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            for (int d = 0; d < 4; ++d)
                ASSERT_EQ(drawn.pixel(10 + 2 * x + d % 2, 14 + 2 * y + d / 2) | 0xff000000u,
                          SourceColour(x, y))
                    << x << "," << y;
    EXPECT_EQ(drawn.pixel(9, 14) | 0xff000000u, qRgb(255, 255, 255)) << "nothing drawn left of the rectangle";
    EXPECT_EQ(drawn.pixel(90, 14) | 0xff000000u, qRgb(255, 255, 255)) << "nor right of it";
}
