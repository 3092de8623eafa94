// Emboss, mosaic, split blur, Gaussian blur and anti-alias against plain per-pixel evaluations of their
// rules, on random pictures of many sizes, plus the values and limits the control relies on.
#include "Effects.h"
#include "EffectsPicture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>

namespace {

// ---- Plain evaluations, one pixel and one channel at a time, reading the picture as it stands ----

void ReferenceEmboss(TestPicture& p) {
    const int W = p.w, H = p.h;
    auto neighbourColumn = [W](int x) { return x <= W - 4 ? x + 3 : x; };
    for (int y = 0; y <= H - 2; ++y)
        for (int x = 0; x < W; ++x)
            for (int c = 0; c < 3; ++c)
                p.at(x, y, c) = std::uint8_t((p.at(x, y, c) + 255 - p.at(neighbourColumn(x), y + 1, c)) / 2);
    for (int x = 0; x < W; ++x)
        for (int c = 0; c < 3; ++c)
            p.at(x, H - 1, c) =
                std::uint8_t((p.at(x, H - 1, c) + 255 - p.at(neighbourColumn(x), H - 2, c)) / 2);
}

void ReferenceMosaic(TestPicture& p, int block) {
    const TestPicture before = p;
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x)
            for (int c = 0; c < 3; ++c)
                p.at(x, y, c) = before.at(x - x % block, y - y % block, c);
}

void ReferenceSplitBlur(TestPicture& p, int d) {
    const int W = p.w, H = p.h;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int yu = y - d < 0 ? y : y - d;
            const int yl = y + d < H ? y + d : H - y;
            const int xl = x - d < 0 ? x : x - d;
            const int xr = x + d < W ? x + d : W - x;
            for (int c = 0; c < 3; ++c) {
                const int sum = p.at(xl, yu, c) + p.at(xl, yl, c) + p.at(xr, yu, c) + p.at(xr, yl, c);
                p.at(x, y, c) = std::uint8_t(sum / 4);
            }
        }
}

void ReferenceAverageInnerRect(TestPicture& p, int left, int top, int right, int bottom) {
    if (right < left)
        std::swap(left, right);
    if (bottom < top)
        std::swap(top, bottom);
    left = std::max(1, left);
    top = std::max(1, top);
    right = std::min(p.w - 2, right);
    bottom = std::min(p.h - 2, bottom);
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            for (int c = 0; c < 3; ++c)
                p.at(x, y, c) = std::uint8_t(
                    (p.at(x, y - 1, c) + p.at(x, y + 1, c) + p.at(x - 1, y, c) + p.at(x + 1, y, c)) / 4);
}

// Every size from 1 x 1 to 6 x 6 and a few larger and lopsided ones; each picture once with plain rows,
// once with padded rows and once stored bottom-up.
struct Shape {
    int w, h, padding;
    bool bottomUp;
};

std::vector<Shape> Shapes() {
    std::vector<Shape> shapes;
    for (int h = 1; h <= 6; ++h)
        for (int w = 1; w <= 6; ++w)
            shapes.push_back({w, h, 0, false});
    for (auto [w, h] :
         std::vector<std::pair<int, int>>{{37, 23}, {64, 5}, {5, 64}, {17, 9}, {2, 40}, {40, 2}}) {
        shapes.push_back({w, h, 0, false});
        shapes.push_back({w, h, 7, false});
        shapes.push_back({w, h, 1, true});
    }
    return shapes;
}

TestPicture RandomPicture(const Shape& s, std::mt19937& rng) {
    TestPicture p(s.w, s.h, s.padding, s.bottomUp);
    p.FillRandom(rng);
    return p;
}

} // namespace

TEST(Emboss, MatchesThePlainRuleOnEveryShape) {
    std::mt19937 rng(1);
    for (const Shape& s : Shapes()) {
        TestPicture picture = RandomPicture(s, rng);
        TestPicture expected = picture;
        const bool done = EmbossBitmap(picture.Rows());
        if (s.h < 2) {
            EXPECT_FALSE(done) << s.w << " x " << s.h;
        } else {
            EXPECT_TRUE(done);
            if (s.w >= 3)
                ReferenceEmboss(expected);
        }
        // One row: refused before any change. Fewer than 3 columns: left as it was.
        EXPECT_EQ(picture.DifferenceFrom(expected), "");
        EXPECT_TRUE(picture.PaddingIntact());
    }
}

TEST(Emboss, UniformPicturesGive127AboveAndAHalfwayLastRow) {
    for (auto [value, last] : std::vector<std::pair<int, int>>{{0, 64}, {255, 191}, {100, 114}}) {
        TestPicture p(7, 4);
        p.Fill(std::uint8_t(value), std::uint8_t(value), std::uint8_t(value));
        ASSERT_TRUE(EmbossBitmap(p.Rows()));
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 7; ++x)
                EXPECT_EQ(p.at(x, y, 1), y < 3 ? 127 : last) << value << " at " << x << ", " << y;
    }
}

TEST(Emboss, LastRowReadsTheEmbossedRowAbove) {
    // Two rows: row 0 becomes (v + 255 - below) div 2 first, and row 1 is then embossed against it.
    TestPicture p(3, 2);
    p.Fill(10, 10, 10);
    p.at(0, 1, 0) = 200;
    ASSERT_TRUE(EmbossBitmap(p.Rows()));
    EXPECT_EQ(p.at(0, 0, 0), (10 + 255 - 200) / 2);
    EXPECT_EQ(p.at(0, 1, 0), (200 + 255 - (10 + 255 - 200) / 2) / 2);
}

TEST(Mosaic, MatchesTheBlockRuleOnEveryShape) {
    std::mt19937 rng(2);
    for (const Shape& s : Shapes())
        for (int block : {1, 2, 3, 5, 64, 1000000, 2147483647}) {
            TestPicture picture = RandomPicture(s, rng);
            TestPicture expected = picture;
            MosaicBitmap(picture.Rows(), block);
            ReferenceMosaic(expected, block);
            EXPECT_EQ(picture.DifferenceFrom(expected), "") << "block " << block;
            EXPECT_TRUE(picture.PaddingIntact());
        }
}

TEST(Mosaic, BlockSizesBelowOneChangeNothing) {
    std::mt19937 rng(3);
    TestPicture picture(9, 7);
    picture.FillRandom(rng);
    const TestPicture before = picture;
    MosaicBitmap(picture.Rows(), 0);
    MosaicBitmap(picture.Rows(), -5);
    EXPECT_EQ(picture.DifferenceFrom(before), "");
}

TEST(SplitBlur, MatchesThePlainRuleInPlaceOnEveryShape) {
    std::mt19937 rng(4);
    for (const Shape& s : Shapes())
        for (int d : {1, 2, 3, 4, 5, 7, 20, 39, 255}) {
            TestPicture picture = RandomPicture(s, rng);
            TestPicture expected = picture;
            const bool done = SplitBlurBitmap(picture.Rows(), d);
            if (d >= s.h) {
                EXPECT_FALSE(done) << s.w << " x " << s.h << " d " << d;
            } else {
                EXPECT_TRUE(done);
                if (d < s.w)
                    ReferenceSplitBlur(expected, d);
            }
            EXPECT_EQ(picture.DifferenceFrom(expected), "") << "d " << d;
            EXPECT_TRUE(picture.PaddingIntact());
        }
}

TEST(SplitBlur, ReadsValuesAlreadyBlurredInThisPass) {
    // The in-place order matters: the same rule evaluated from an untouched copy gives other pixels.
    std::mt19937 rng(5);
    TestPicture picture(20, 20);
    picture.FillRandom(rng);
    const TestPicture original = picture;
    TestPicture fromCopy = picture;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const int yu = y - 2 < 0 ? y : y - 2, yl = y + 2 < 20 ? y + 2 : 20 - y;
            const int xl = x - 2 < 0 ? x : x - 2, xr = x + 2 < 20 ? x + 2 : 20 - x;
            for (int c = 0; c < 3; ++c)
                fromCopy.at(x, y, c) = std::uint8_t((original.at(xl, yu, c) + original.at(xl, yl, c) +
                                                     original.at(xr, yu, c) + original.at(xr, yl, c)) /
                                                    4);
        }
    ASSERT_TRUE(SplitBlurBitmap(picture.Rows(), 2));
    EXPECT_NE(picture.DifferenceFrom(fromCopy), "");
}

TEST(SplitBlur, UniformPictureAndZeroDistanceStayUnchanged) {
    TestPicture uniform(30, 12);
    uniform.Fill(12, 200, 77);
    const TestPicture before = uniform;
    ASSERT_TRUE(SplitBlurBitmap(uniform.Rows(), 5));
    EXPECT_EQ(uniform.DifferenceFrom(before), "");

    std::mt19937 rng(6);
    TestPicture random(8, 8);
    random.FillRandom(rng);
    const TestPicture randomBefore = random;
    EXPECT_TRUE(SplitBlurBitmap(random.Rows(), 0));
    EXPECT_TRUE(SplitBlurBitmap(random.Rows(), -3));
    EXPECT_EQ(random.DifferenceFrom(randomBefore), "");
}

TEST(GaussianBlur, IsSplitBlurAtDistanceThreeStrengthPlusOneTimes) {
    std::mt19937 rng(7);
    for (const Shape& s : Shapes())
        for (int strength : {0, 1, 2}) {
            TestPicture picture = RandomPicture(s, rng);
            TestPicture expected = picture;
            const bool done = GaussianBlurBitmap(picture.Rows(), strength);
            EXPECT_EQ(done, s.h > 3) << s.w << " x " << s.h;
            if (s.h > 3 && s.w > 3)
                for (int pass = 0; pass <= strength; ++pass)
                    ReferenceSplitBlur(expected, 3);
            EXPECT_EQ(picture.DifferenceFrom(expected), "") << "strength " << strength;
        }
}

TEST(AntiAlias, MatchesThePlainRuleOnEveryShapeAndRectangle) {
    std::mt19937 rng(8);
    for (const Shape& s : Shapes()) {
        for (int passes : {1, 2, 3}) {
            TestPicture picture = RandomPicture(s, rng);
            TestPicture expected = picture;
            AntiAliasBitmap(picture.Rows(), passes);
            for (int pass = 0; pass < passes; ++pass)
                ReferenceAverageInnerRect(expected, 0, 0, s.w, s.h);
            EXPECT_EQ(picture.DifferenceFrom(expected), "") << "passes " << passes;
            EXPECT_TRUE(picture.PaddingIntact());
        }
        // Rectangles given any way round, partly or wholly outside the picture.
        std::uniform_int_distribution<int> coordinate(-3, std::max(s.w, s.h) + 3);
        for (int i = 0; i < 6; ++i) {
            const int l = coordinate(rng), t = coordinate(rng), r = coordinate(rng), b = coordinate(rng);
            TestPicture picture = RandomPicture(s, rng);
            TestPicture expected = picture;
            AverageInnerRect(picture.Rows(), l, t, r, b);
            ReferenceAverageInnerRect(expected, l, t, r, b);
            EXPECT_EQ(picture.DifferenceFrom(expected), "") << l << ", " << t << ", " << r << ", " << b;
        }
    }
}

TEST(AntiAlias, OwnValueDoesNotCountAndTheNewLeftValueDoes) {
    TestPicture p(4, 3);
    p.Fill(0, 0, 0);
    p.at(2, 1, 0) = p.at(2, 1, 1) = p.at(2, 1, 2) = 200;
    AntiAliasBitmap(p.Rows(), 1);
    EXPECT_EQ(p.at(1, 1, 0), 50);
    EXPECT_EQ(p.at(2, 1, 2), 12);
}

TEST(AntiAlias, KeepsTheOutermostRowsAndColumns) {
    std::mt19937 rng(9);
    TestPicture picture(25, 19);
    picture.FillRandom(rng);
    const TestPicture before = picture;
    AntiAliasBitmap(picture.Rows(), 5);
    bool inside = false;
    for (int y = 0; y < 19; ++y)
        for (int x = 0; x < 25; ++x)
            for (int c = 0; c < 3; ++c) {
                if (x == 0 || y == 0 || x == 24 || y == 18)
                    EXPECT_EQ(picture.at(x, y, c), before.at(x, y, c));
                else
                    inside = inside || picture.at(x, y, c) != before.at(x, y, c);
            }
    EXPECT_TRUE(inside);
}

TEST(Effects, PicturesWithoutPixelsAreLeftAlone) {
    for (auto [w, h] : std::vector<std::pair<int, int>>{{0, 0}, {0, 5}, {5, 0}}) {
        TestPicture p(w, h);
        EXPECT_TRUE(EmbossBitmap(p.Rows()));
        EXPECT_TRUE(SplitBlurBitmap(p.Rows(), 3));
        EXPECT_TRUE(GaussianBlurBitmap(p.Rows(), 2));
        MosaicBitmap(p.Rows(), 3);
        AntiAliasBitmap(p.Rows(), 2);
        TraceBitmap(p.Rows(), 2);
        EXPECT_TRUE(p.bytes.empty() || p.PaddingIntact());
    }
}
