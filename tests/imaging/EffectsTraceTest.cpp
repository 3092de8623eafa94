// Trace against a plain evaluation of its sweeps, with the nearest palette colour found by a full
// search of the halftone palette.
#include "Effects.h"
#include "Halftone.h"
#include "EffectsPicture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <utility>

namespace {

int NearestPaletteIndex(int r, int g, int b) {
    const auto& palette = HalftonePalette();
    int best = 0, bestDistance = 1 << 30;
    for (int i = 0; i < int(palette.size()); ++i) {
        const int dr = r - palette[i].Red, dg = g - palette[i].Green, db = b - palette[i].Blue;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

void ReferenceTrace(TestPicture& p, int level) {
    const int W = p.w, H = p.h;
    std::vector<int> index(std::size_t(W * H));
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            index[std::size_t(y * W + x)] = NearestPaletteIndex(p.at(x, y, 2), p.at(x, y, 1), p.at(x, y, 0));
    int reference = -1;
    auto mark = [&](int x, int y) { p.at(x, y, 0) = p.at(x, y, 1) = p.at(x, y, 2) = 0; };
    auto test = [&](int px, int py, int qx, int qy) {
        const int a = index[std::size_t(py * W + px)], b = index[std::size_t(qy * W + qx)];
        if (a == b)
            return;
        if (reference == -1) {
            reference = b;
            mark(px, py);
        } else if (a != reference) {
            mark(px, py);
        } else {
            mark(qx, qy);
        }
    };
    for (int pass = 1; pass <= level; ++pass) {
        for (int j = 0; j <= H - 2; ++j)
            for (int k = 0; k <= std::max(0, W - 3); ++k) {
                test(k, j, k + 1, j);
                test(k, j, k, j + 1);
            }
        if (pass > 1)
            for (int j = H - 1; j >= 1; --j)
                for (int k = W - 1; k >= std::min(2, W - 1); --k) {
                    test(k, j, k - 1, j);
                    test(k, j, k, j - 1);
                }
    }
}

const std::vector<std::uint32_t> kColours = {0xFFFFFF, 0x000000, 0x3366CC, 0x3466CB,
                                             0xC0C0C0, 0x808080, 0x19FA02};

} // namespace

TEST(Trace, MatchesThePlainSweepsOnEveryShapeAndLevel) {
    std::mt19937 rng(11);
    std::vector<std::pair<int, int>> sizes;
    for (int h = 1; h <= 6; ++h)
        for (int w = 1; w <= 6; ++w)
            sizes.push_back({w, h});
    sizes.insert(sizes.end(), {{31, 17}, {2, 30}, {30, 2}, {64, 48}});
    for (auto [w, h] : sizes)
        for (int level : {1, 2, 3, 10})
            for (bool randomColours : {false, true}) {
                TestPicture picture(w, h, 2);
                if (randomColours)
                    picture.FillRandom(rng);
                else
                    picture.FillFromColours(rng, kColours);
                TestPicture expected = picture;
                TraceBitmap(picture.Rows(), level);
                if (w >= 2)
                    ReferenceTrace(expected, level);
                EXPECT_EQ(picture.DifferenceFrom(expected), "") << "level " << level;
                EXPECT_TRUE(picture.PaddingIntact());
            }
}

TEST(Trace, LargePictureMatchesThePlainSweeps) {
    // Large enough for the working copy to be made on several cores.
    std::mt19937 rng(13);
    TestPicture picture(700, 400, 1);
    picture.FillFromColours(rng, kColours);
    for (int y = 100; y < 200; ++y) // and a band of every colour
        for (int x = 0; x < 700; ++x)
            for (int c = 0; c < 3; ++c)
                picture.at(x, y, c) = std::uint8_t(rng());
    TestPicture expected = picture;
    TraceBitmap(picture.Rows(), 2);
    ReferenceTrace(expected, 2);
    EXPECT_EQ(picture.DifferenceFrom(expected), "");
}

TEST(Trace, UniformPictureIsUnchangedAndLevelsFromTwoOnAgree) {
    TestPicture uniform(12, 9);
    uniform.Fill(40, 90, 200);
    const TestPicture before = uniform;
    TraceBitmap(uniform.Rows(), 10);
    EXPECT_EQ(uniform.DifferenceFrom(before), "");

    std::mt19937 rng(12);
    TestPicture two(40, 30);
    two.FillFromColours(rng, kColours);
    TestPicture ten = two;
    TestPicture one = two;
    TraceBitmap(two.Rows(), 2);
    TraceBitmap(ten.Rows(), 10);
    TraceBitmap(one.Rows(), 1);
    EXPECT_EQ(two.DifferenceFrom(ten), "");
    EXPECT_NE(two.DifferenceFrom(one), "");
}

TEST(Trace, FourByTwoWhiteThenBlack) {
    auto picture = [] {
        TestPicture p(4, 2);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x)
                for (int c = 0; c < 3; ++c)
                    p.at(x, y, c) = x < 2 ? 255 : 0;
        return p;
    };
    auto black = [](const TestPicture& p, int x, int y) {
        return p.at(x, y, 0) == 0 && p.at(x, y, 1) == 0 && p.at(x, y, 2) == 0;
    };
    // Which of the white pixels (0, 0), (1, 0), (0, 1) and (1, 1) each level marks.
    const std::vector<std::pair<int, std::array<bool, 4>>> levels = {{1, {false, true, false, false}},
                                                                     {2, {false, true, false, true}}};
    for (const auto& [level, marked] : levels) {
        TestPicture p = picture();
        TraceBitmap(p.Rows(), level);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(black(p, i % 2, i / 2), marked[std::size_t(i)])
                << "level " << level << " at " << i % 2 << ", " << i / 2;
    }
}

TEST(Trace, NearbyColoursWithOneIndexAreNotABoundary) {
    // Two colours a step apart map to the same palette entry, so nothing is marked between them.
    ASSERT_EQ(NearestPaletteIndex(0x33, 0x66, 0xCC), NearestPaletteIndex(0x34, 0x66, 0xCB));
    TestPicture p(6, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            p.at(x, y, 0) = x < 3 ? 0xCC : 0xCB;
            p.at(x, y, 1) = 0x66;
            p.at(x, y, 2) = x < 3 ? 0x33 : 0x34;
        }
    const TestPicture before = p;
    TraceBitmap(p.Rows(), 3);
    EXPECT_EQ(p.DifferenceFrom(before), "");
}
