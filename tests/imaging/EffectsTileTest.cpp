// Resampling and the tile grid against plain evaluations of the fixed-point rule, and the tile sizes and
// stored values for the picture sizes the control meets.
#include "Effects.h"
#include "EffectsPicture.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// The resampling rule in 32-bit unsigned arithmetic, exactly as the positions and weights are defined.
// A source one pixel wide has no column ix + 1; its weight is then always 0, so any value serves.
void ReferenceResample(const TestPicture& s, TestPicture& t) {
    const std::uint32_t SW = std::uint32_t(s.w), SH = std::uint32_t(s.h);
    const std::uint32_t stepX = ((SW - 1) * 32768u) / std::uint32_t(t.w);
    const std::uint32_t stepY = ((SH - 1) * 32768u) / std::uint32_t(t.h);
    std::uint32_t sy = 0;
    for (int ty = 0; ty < t.h; ++ty) {
        const int upperRow = int(sy / 32768u);
        const int lowerRow = s.h == 1 ? upperRow : upperRow + 1;
        const std::uint32_t fy = sy % 32768u, gy = 32768u - fy;
        std::uint32_t sx = 0;
        for (int tx = 0; tx < t.w; ++tx) {
            const int ix = int(sx / 32768u);
            const std::uint32_t fx = sx % 32768u;
            const std::uint32_t wUR = (fx * gy) / 32768u, wUL = gy - wUR;
            const std::uint32_t wLR = (fx * fy) / 32768u, wLL = fy - wLR;
            for (int c = 0; c < 3; ++c) {
                auto value = [&](int column, int row) -> std::uint32_t {
                    return column < s.w ? s.at(column, row, c) : 12345u;
                };
                const std::uint32_t sum = value(ix, upperRow) * wUL + value(ix + 1, upperRow) * wUR +
                                          value(ix, lowerRow) * wLL + value(ix + 1, lowerRow) * wLR;
                t.at(tx, ty, c) = std::uint8_t(sum / 32768u);
            }
            sx += stepX;
        }
        sy += stepY;
    }
}

void ReferenceTile(const TestPicture& source, TestPicture& target, int tw, int th) {
    TestPicture tile(tw, th);
    ReferenceResample(source, tile);
    for (int row = 0; target.h >= row * th; ++row)
        for (int col = 0; target.w >= col * tw; ++col)
            for (int y = 0; y < th; ++y)
                for (int x = 0; x < tw; ++x) {
                    const int px = col * tw + x, py = row * th + y;
                    if (px < target.w && py < target.h)
                        for (int c = 0; c < 3; ++c)
                            target.at(px, py, c) = tile.at(x, y, c);
                }
}

} // namespace

TEST(Resample, MatchesTheFixedPointRuleForManySizes) {
    std::mt19937 rng(21);
    std::uniform_int_distribution<int> side(1, 40);
    for (int i = 0; i < 400; ++i) {
        const int sw = side(rng), sh = side(rng), tw = side(rng), th = side(rng);
        TestPicture source(sw, sh, i % 3, i % 2 == 0);
        source.FillRandom(rng);
        TestPicture target(tw, th, 2);
        TestPicture expected(tw, th, 2);
        ResampleBitmap(source.Rows(), target.Rows());
        ReferenceResample(source, expected);
        EXPECT_EQ(target.DifferenceFrom(expected), "") << sw << " x " << sh << " -> " << tw << " x " << th;
        EXPECT_TRUE(target.PaddingIntact());
    }
}

TEST(Resample, SameSizeReproducesMostOfThePictureAndCornersExactly) {
    std::mt19937 rng(22);
    TestPicture source(16, 9);
    source.FillRandom(rng);
    TestPicture target(16, 9);
    ResampleBitmap(source.Rows(), target.Rows());
    // The step is (W - 1) / W of a pixel, so only the first pixel is sampled exactly.
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(target.at(0, 0, c), source.at(0, 0, c));
    TestPicture uniform(50, 30);
    uniform.Fill(3, 130, 254);
    TestPicture small(7, 4);
    ResampleBitmap(uniform.Rows(), small.Rows());
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(small.at(x, y, 2), 254);
}

TEST(Tile, GeometryForThePictureSizes) {
    struct Case {
        int value, w, h, stored, tw, th;
    } cases[] = {
        {3, 800, 600, 3, 266, 200}, {1000, 800, 600, 80, 10, 10}, {10, 1000, 50, 10, 100, 10},
        {2, 8, 6, 0, 10, 10},       {0, 800, 600, 0, 10, 10},     {-4, 800, 600, 0, 10, 10},
        {1, 800, 600, 1, 800, 600}, {5, 15, 15, 1, 10, 10},       {2, 0, 0, 0, 10, 10},
        {2, 5, 100, 2, 10, 50},
    };
    for (const Case& c : cases) {
        const TileGeometry g = TileGeometryFor(c.value, c.w, c.h);
        EXPECT_EQ(g.value, c.stored) << c.value << " on " << c.w << " x " << c.h;
        EXPECT_EQ(g.tileWidth, c.tw) << c.value << " on " << c.w << " x " << c.h;
        EXPECT_EQ(g.tileHeight, c.th) << c.value << " on " << c.w << " x " << c.h;
    }
}

TEST(Tile, MatchesTheGridOfResampledTiles) {
    std::mt19937 rng(23);
    std::uniform_int_distribution<int> side(1, 70);
    for (int i = 0; i < 150; ++i) {
        const int w = side(rng), h = side(rng);
        const TileGeometry g = TileGeometryFor(1 + int(rng() % 8), w, h);
        TestPicture picture(w, h, i % 4, i % 3 == 0);
        picture.FillRandom(rng);
        TestPicture expected = picture;
        const TestPicture original = picture;
        // The control tiles the effect copy from the original picture itself; here the picture is both.
        TileBitmap(picture.Rows(), picture.Rows(), g.tileWidth, g.tileHeight);
        ReferenceTile(original, expected, g.tileWidth, g.tileHeight);
        EXPECT_EQ(picture.DifferenceFrom(expected), "") << w << " x " << h;
        EXPECT_TRUE(picture.PaddingIntact());
    }
}

TEST(Tile, ThreeAcrossAnEightHundredPicture) {
    // 266 x 200 tiles: three full columns and a 2-pixel strip, which starts again with the tile's left edge.
    TestPicture picture(800, 600);
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x) {
            picture.at(x, y, 0) = std::uint8_t(x);
            picture.at(x, y, 1) = std::uint8_t(y);
            picture.at(x, y, 2) = std::uint8_t(x / 4);
        }
    TestPicture original = picture;
    const TileGeometry g = TileGeometryFor(3, 800, 600);
    TileBitmap(original.Rows(), picture.Rows(), g.tileWidth, g.tileHeight);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(picture.at(798, 0, c), picture.at(0, 0, c));
        EXPECT_EQ(picture.at(799, 599, c), picture.at(1, 199, c));
        EXPECT_EQ(picture.at(266 + 17, 400 + 5, c), picture.at(17, 5, c));
        EXPECT_EQ(picture.at(265, 199, c), picture.at(265 + 266, 199 + 200, c));
    }
    EXPECT_NE(picture.at(265, 0, 0), picture.at(0, 0, 0));
}
