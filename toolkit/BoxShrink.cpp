#include "BoxShrink.h"

#include "Bitmap.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace {

// The first source index that output index i covers, for n outputs over `size` sources.
inline int Start(int i, int n, int size) {
    return int(std::int64_t(i) * size / n);
}

// One row of 24-bit pixels of any bitmap: its own, or a row converted into `scratch`.
const std::uint8_t* RowOf(const TBitmap& bitmap, int y, std::vector<std::uint8_t>& scratch) {
    const std::uint8_t* row = bitmap.ConstScanLine(y);
    if (bitmap.PixelFormat() == TPixelFormat::pf24bit)
        return row;
    const TColorTable& colors = bitmap.ColorTable();
    const int width = bitmap.Width();
    scratch.resize(3 * std::size_t(width));
    for (int x = 0; x < width; ++x) {
        int index =
            bitmap.PixelFormat() == TPixelFormat::pf8bit ? row[x] : (row[x >> 3] >> (7 - (x & 7))) & 1;
        std::uint8_t* out = scratch.data() + 3 * x;
        if (index < int(colors.size())) {
            out[0] = colors[std::size_t(index)].Blue;
            out[1] = colors[std::size_t(index)].Green;
            out[2] = colors[std::size_t(index)].Red;
        } else {
            out[0] = out[1] = out[2] = index ? 255 : 0; // as the bitmap draws an index past its colours
        }
    }
    return scratch.data();
}

// Sums of each channel down the rows of one output row, then across the columns of each output pixel.
// 16-bit sums hold up to 257 rows of 255.
template <class Sum> void Shrink(const TBitmap& bitmap, QImage& image) {
    const int sourceWidth = bitmap.Width(), sourceHeight = bitmap.Height();
    const int width = image.width(), height = image.height();
    const std::size_t rowBytes = 3 * std::size_t(sourceWidth);
    std::vector<Sum> sums(rowBytes);
    std::vector<std::uint8_t> scratch;
    std::vector<int> columns(std::size_t(width) + 1);
    for (int x = 0; x <= width; ++x)
        columns[std::size_t(x)] = Start(x, width, sourceWidth);

    for (int y = 0; y < height; ++y) {
        const int top = Start(y, height, sourceHeight), bottom = Start(y + 1, height, sourceHeight);
        std::fill(sums.begin(), sums.end(), Sum(0));
        for (int row = top; row < bottom; ++row) {
            const std::uint8_t* in = RowOf(bitmap, row, scratch);
            Sum* sum = sums.data();
            for (std::size_t i = 0; i < rowBytes; ++i)
                sum[i] = Sum(sum[i] + in[i]);
        }
        std::uint8_t* out = image.scanLine(y);
        for (int x = 0; x < width; ++x, out += 3) {
            const int left = columns[std::size_t(x)], right = columns[std::size_t(x) + 1];
            const std::uint32_t count = std::uint32_t(right - left) * std::uint32_t(bottom - top);
            std::uint32_t b = 0, g = 0, r = 0;
            for (const Sum* s = sums.data() + 3 * std::size_t(left); s < sums.data() + 3 * std::size_t(right);
                 s += 3) {
                b += s[0];
                g += s[1];
                r += s[2];
            }
            out[0] = std::uint8_t((b + count / 2) / count);
            out[1] = std::uint8_t((g + count / 2) / count);
            out[2] = std::uint8_t((r + count / 2) / count);
        }
    }
}

} // namespace

QImage ShrinkByAveraging(const TBitmap& bitmap, int width, int height) {
    if (bitmap.Empty() || width <= 0 || height <= 0 || width > bitmap.Width() || height > bitmap.Height())
        return QImage();
    QImage image(width, height, QImage::Format_BGR888);
    if (image.isNull())
        return image;
    // Rows per output row: at most the ceiling of the ratio.
    const int rows = (bitmap.Height() + height - 1) / height;
    if (rows <= 257)
        Shrink<std::uint16_t>(bitmap, image);
    else
        Shrink<std::uint32_t>(bitmap, image);
    return image;
}
