#include "Effects.h"

#include "Halftone.h"
#include "RowParts.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// ---- Emboss ----------------------------------------------------------------------------------------

// Embosses one row against the row below it (or, for the last row, the row above it).
void EmbossRow(std::uint8_t* __restrict row, const std::uint8_t* __restrict neighbour, int width) {
    const int shifted = 3 * (width - 3); // the bytes of columns 0 .. W - 4, whose neighbour is 3 columns on
    for (int i = 0; i < shifted; ++i)
        row[i] = std::uint8_t((row[i] + 255 - neighbour[i + 9]) >> 1);
    for (int i = shifted; i < 3 * width; ++i)
        row[i] = std::uint8_t((row[i] + 255 - neighbour[i]) >> 1);
}

// ---- Split blur ------------------------------------------------------------------------------------

struct SplitColumns {
    int width;
    int distance;
    int Left(int x) const { return x - distance < 0 ? x : x - distance; }
    int Right(int x) const { return x + distance < width ? x + distance : width - x; }
};

inline void BlurPixel(std::uint8_t* out, const std::uint8_t* up, const std::uint8_t* down, int x,
                      const SplitColumns& cols) {
    const int l = 3 * cols.Left(x), r = 3 * cols.Right(x), o = 3 * x;
    for (int c = 0; c < 3; ++c)
        out[o + c] = std::uint8_t((up[l + c] + down[l + c] + up[r + c] + down[r + c]) >> 2);
}

// A row whose source rows are both other rows: no pixel of the row reads another pixel of the same row,
// so the order within the row does not matter and the middle columns run as one plain byte loop.
void BlurRowFromOtherRows(std::uint8_t* __restrict out, const std::uint8_t* up, const std::uint8_t* down,
                          const SplitColumns& cols) {
    const int width = cols.width, d = cols.distance;
    const int middleBegin = std::min(d, width), middleEnd = std::max(middleBegin, width - d);
    for (int x = 0; x < middleBegin; ++x)
        BlurPixel(out, up, down, x, cols);
    const int shift = 3 * d;
    for (int i = 3 * middleBegin; i < 3 * middleEnd; ++i)
        out[i] = std::uint8_t((up[i - shift] + down[i - shift] + up[i + shift] + down[i + shift]) >> 2);
    for (int x = middleEnd; x < width; ++x)
        BlurPixel(out, up, down, x, cols);
}

// A row that reads itself (as its upper or lower row): strictly pixel by pixel, left to right, each
// pixel's four sources read before it is written.
void BlurRowInPlace(std::uint8_t* out, const std::uint8_t* up, const std::uint8_t* down,
                    const SplitColumns& cols) {
    for (int x = 0; x < cols.width; ++x)
        BlurPixel(out, up, down, x, cols);
}

// ---- Anti-alias ------------------------------------------------------------------------------------

// Row y, columns left .. right: each channel becomes (above + below + left + right) div 4, where the
// pixel above and the one on the left already hold their new values.
void AverageRow(std::uint8_t* row, const std::uint8_t* __restrict above, const std::uint8_t* __restrict below,
                int left, int right) {
    int b = row[3 * left - 3], g = row[3 * left - 2], r = row[3 * left - 1];
    for (int i = 3 * left, end = 3 * right + 3; i < end; i += 3) {
        b = (above[i] + below[i] + b + row[i + 3]) >> 2;
        g = (above[i + 1] + below[i + 1] + g + row[i + 4]) >> 2;
        r = (above[i + 2] + below[i + 2] + r + row[i + 5]) >> 2;
        row[i] = std::uint8_t(b);
        row[i + 1] = std::uint8_t(g);
        row[i + 2] = std::uint8_t(r);
    }
}

} // namespace

// ---- Emboss ----------------------------------------------------------------------------------------

bool EmbossBitmap(PixelRows rows) {
    if (!rows.HasPixels())
        return true;
    const int width = rows.Width, height = rows.Height;
    if (height < 2)
        return false; // the last row's neighbour row would be row -1
    if (width < 3)
        return true;
    for (int y = 0; y + 1 < height; ++y)
        EmbossRow(rows.Row(y), rows.Row(y + 1), width);
    EmbossRow(rows.Row(height - 1), rows.Row(height - 2), width);
    return true;
}

// ---- Mosaic ----------------------------------------------------------------------------------------

void MosaicBitmap(PixelRows rows, int blockSize) {
    if (!rows.HasPixels() || blockSize < 1)
        return;
    const int width = rows.Width, height = rows.Height;
    const int block = std::min(blockSize, std::max(width, height));
    const std::size_t rowBytes = 3 * std::size_t(width);
    for (int top = 0; top < height; top += block) {
        std::uint8_t* model = rows.Row(top);
        for (int left = 0; left < width; left += block) {
            const std::uint8_t b = model[3 * left], g = model[3 * left + 1], r = model[3 * left + 2];
            for (int x = left + 1, end = std::min(left + block, width); x < end; ++x) {
                model[3 * x] = b;
                model[3 * x + 1] = g;
                model[3 * x + 2] = r;
            }
        }
        for (int y = top + 1, end = std::min(top + block, height); y < end; ++y)
            std::memcpy(rows.Row(y), model, rowBytes);
    }
}

// ---- Split blur and Gaussian blur ------------------------------------------------------------------

bool SplitBlurBitmap(PixelRows rows, int distance) {
    if (distance <= 0 || !rows.HasPixels())
        return true;
    const int width = rows.Width, height = rows.Height;
    if (distance >= height)
        return false; // the first row's lower row would be row H
    if (distance >= width)
        return true;
    const SplitColumns cols{width, distance};
    for (int y = 0; y < height; ++y) {
        const int upper = y - distance < 0 ? y : y - distance;
        const int lower = y + distance < height ? y + distance : height - y;
        std::uint8_t* out = rows.Row(y);
        if (upper != y && lower != y)
            BlurRowFromOtherRows(out, rows.Row(upper), rows.Row(lower), cols);
        else
            BlurRowInPlace(out, rows.Row(upper), rows.Row(lower), cols);
    }
    return true;
}

bool GaussianBlurBitmap(PixelRows rows, int strength) {
    for (int pass = 0; pass <= strength; ++pass)
        if (!SplitBlurBitmap(rows, 3))
            return false; // only the first pass can fail, before anything changed
    return true;
}

// ---- Anti-alias ------------------------------------------------------------------------------------

void AverageInnerRect(PixelRows rows, int left, int top, int right, int bottom) {
    if (!rows.HasPixels())
        return;
    if (right < left)
        std::swap(left, right);
    if (bottom < top)
        std::swap(top, bottom);
    left = std::max(1, left);
    top = std::max(1, top);
    right = std::min(rows.Width - 2, right);
    bottom = std::min(rows.Height - 2, bottom);
    if (left > right)
        return;
    for (int y = top; y <= bottom; ++y)
        AverageRow(rows.Row(y), rows.Row(y - 1), rows.Row(y + 1), left, right);
}

void AntiAliasBitmap(PixelRows rows, int passes) {
    for (int pass = 0; pass < passes; ++pass)
        AverageInnerRect(rows, 0, 0, rows.Width, rows.Height);
}

// ---- Trace -----------------------------------------------------------------------------------------

void TraceBitmap(PixelRows rows, int level) {
    if (level < 1 || !rows.HasPixels() || rows.Width < 2)
        return;
    const int width = rows.Width, height = rows.Height;

    // The 8-bit working copy: each pixel's halftone index. Runs of one colour are common in scans, so
    // the last colour's index is kept. Rows are independent here, so they are shared between the cores.
    std::vector<std::uint8_t> index(std::size_t(width) * std::size_t(height));
    ForRowParts(width, height, [&](int begin, int end) {
        std::uint32_t lastColour = 0xFFFFFFFFu;
        std::uint8_t lastIndex = 0;
        for (int y = begin; y < end; ++y) {
            const std::uint8_t* p = rows.Row(y);
            std::uint8_t* out = index.data() + std::size_t(y) * std::size_t(width);
            for (int x = 0; x < width; ++x, p += 3) {
                const std::uint32_t colour =
                    std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16;
                if (colour != lastColour) {
                    lastColour = colour;
                    lastIndex = HalftoneIndex(p[2], p[1], p[0]); // red, green, blue
                }
                out[x] = lastIndex;
            }
        }
    });

    int reference = -1; // unset until the first pair of different indices
    // A test of pixel P against its neighbour Q, given their indices and their bytes in the picture.
    // Once the reference is set the outcome is chosen without branches (the pixel to blacken, or a
    // scratch pixel when there is nothing to mark): in a scan, unequal neighbours come at random.
    std::uint8_t scratch[3];
    auto test = [&](int p, int q, std::uint8_t* pixelP, std::uint8_t* pixelQ) {
        if (reference < 0) {
            if (p == q)
                return;
            reference = q;
            pixelP[0] = pixelP[1] = pixelP[2] = 0;
            return;
        }
        std::uint8_t* marked = p != reference ? pixelP : pixelQ;
        marked = p == q ? scratch : marked;
        marked[0] = marked[1] = marked[2] = 0;
    };
    auto indexRow = [&](int y) { return index.data() + std::size_t(y) * std::size_t(width); };

    // The marks depend only on the working copy and the reference index, which never changes once set.
    // A third pass therefore marks exactly what the second did, and every level from 2 on gives the
    // picture of level 2.
    const int passes = std::min(level, 2);
    for (int pass = 1; pass <= passes; ++pass) {
        for (int j = 0; j + 1 < height; ++j) {
            const std::uint8_t* here = indexRow(j);
            const std::uint8_t* next = indexRow(j + 1);
            std::uint8_t* row = rows.Row(j);
            std::uint8_t* below = rows.Row(j + 1);
            for (int k = 0;; ++k) { // columns 0 .. W - 3, column 0 at least once
                test(here[k], here[k + 1], row + 3 * k, row + 3 * k + 3);
                test(here[k], next[k], row + 3 * k, below + 3 * k);
                if (k >= width - 3)
                    break;
            }
        }
        if (pass == 1)
            continue;
        for (int j = height - 1; j >= 1; --j) {
            const std::uint8_t* here = indexRow(j);
            const std::uint8_t* previous = indexRow(j - 1);
            std::uint8_t* row = rows.Row(j);
            std::uint8_t* above = rows.Row(j - 1);
            for (int k = width - 1;; --k) { // columns W - 1 .. 2, column W - 1 at least once
                test(here[k], here[k - 1], row + 3 * k, row + 3 * k - 3);
                test(here[k], previous[k], row + 3 * k, above + 3 * k);
                if (k <= 2)
                    break;
            }
        }
    }
}

// ---- Resampling and tile ---------------------------------------------------------------------------

void ResampleBitmap(ConstPixelRows source, PixelRows target) {
    if (!source.HasPixels() || !target.HasPixels())
        return;
    const int sw = source.Width, sh = source.Height, tw = target.Width, th = target.Height;
    // Positions are fixed-point with 15 fraction bits. They are held in 64 bits so that no source size
    // wraps them; for every size up to 65536 pixels the values are those of 32-bit arithmetic.
    const std::uint64_t stepX = (std::uint64_t(sw - 1) << 15) / std::uint64_t(tw);
    const std::uint64_t stepY = (std::uint64_t(sh - 1) << 15) / std::uint64_t(th);

    // Per target column: the byte offsets of the left and right source pixels and the fraction. The
    // right column always exists for a source at least 2 pixels wide; for a 1-pixel source the fraction
    // is always 0, the right pixel weighs nothing, and the left pixel stands in for it.
    std::vector<int> leftByte(static_cast<std::size_t>(tw)), rightByte(static_cast<std::size_t>(tw));
    std::vector<std::uint32_t> fraction(static_cast<std::size_t>(tw));
    std::uint64_t sx = 0;
    for (int tx = 0; tx < tw; ++tx, sx += stepX) {
        const int ix = int(sx >> 15);
        leftByte[tx] = 3 * ix;
        rightByte[tx] = 3 * std::min(ix + 1, sw - 1);
        fraction[tx] = std::uint32_t(sx & 32767u);
    }

    std::uint64_t sy = 0;
    for (int ty = 0; ty < th; ++ty, sy += stepY) {
        const int iy = int(sy >> 15);
        const std::uint8_t* upper = source.Row(iy);
        const std::uint8_t* lower = source.Row(std::min(iy + 1, sh - 1));
        const std::uint32_t fy = std::uint32_t(sy & 32767u), gy = 32768u - fy;
        std::uint8_t* out = target.Row(ty);
        for (int tx = 0; tx < tw; ++tx, out += 3) {
            const std::uint32_t fx = fraction[tx];
            const std::uint32_t wUR = (fx * gy) >> 15, wUL = gy - wUR;
            const std::uint32_t wLR = (fx * fy) >> 15, wLL = fy - wLR;
            const std::uint8_t* ul = upper + leftByte[tx];
            const std::uint8_t* ur = upper + rightByte[tx];
            const std::uint8_t* ll = lower + leftByte[tx];
            const std::uint8_t* lr = lower + rightByte[tx];
            for (int c = 0; c < 3; ++c)
                out[c] = std::uint8_t((ul[c] * wUL + ur[c] * wUR + ll[c] * wLL + lr[c] * wLR) >> 15);
        }
    }
}

TileGeometry TileGeometryFor(int value, int pictureWidth, int pictureHeight) {
    TileGeometry g;
    if (value <= 0)
        return g;
    g.value = value;
    g.tileHeight = std::max(10, pictureHeight / value);
    g.tileWidth = std::max(10, pictureWidth / value);
    if (g.tileWidth == 10 && g.tileHeight == 10)
        g.value = std::max(pictureWidth, pictureHeight) / 10;
    return g;
}

void TileBitmap(ConstPixelRows source, PixelRows target, int tileWidth, int tileHeight) {
    if (!source.HasPixels() || !target.HasPixels() || tileWidth < 1 || tileHeight < 1)
        return;
    std::vector<std::uint8_t> tile(3 * std::size_t(tileWidth) * std::size_t(tileHeight));
    const std::ptrdiff_t tileStride = 3 * std::ptrdiff_t(tileWidth);
    ResampleBitmap(source, PixelRows{tile.data(), tileStride, tileWidth, tileHeight});

    // Tiles start at multiples of the tile size; the last ones in each direction are clipped.
    const int width = target.Width, height = target.Height;
    for (int top = 0; top < height;) {
        const int rowsHere = std::min(tileHeight, height - top);
        for (int r = 0; r < rowsHere; ++r) {
            std::uint8_t* out = target.Row(top + r);
            const std::uint8_t* in = tile.data() + r * tileStride;
            for (int left = 0; left < width;) {
                const int columns = std::min(tileWidth, width - left);
                std::memcpy(out + 3 * std::ptrdiff_t(left), in, 3 * std::size_t(columns));
                left += columns;
            }
        }
        top += rowsHere;
    }
}
