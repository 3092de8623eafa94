// The bitmap forms of the effect routines: the row errors they raise, the copies they must not write
// through, pixel formats other than 24 bits, and the trace's working copy as the toolkit's own 8-bit
// conversion makes it.
#include "Bitmap.h"
#include "Effects.h"
#include "Exceptions.h"
#include "Noise.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

#include <random>

using namespace testpictures;

namespace {

template <class F> void ExpectScanLineError(F&& f) {
    try {
        f();
        ADD_FAILURE() << "no error";
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Scan line index out of range"));
    }
}

} // namespace

TEST(EffectBitmaps, RowErrorsLeaveTheCopyUnchangedAndTheOriginalUntouched) {
    std::mt19937 rng(31);
    const TBitmap original = RandomBitmap(9, 1, rng);
    TBitmap copy = original;
    ExpectScanLineError([&] { EmbossBitmap(copy); });
    EXPECT_TRUE(SamePixels(copy, original));

    const TBitmap tall = RandomBitmap(12, 5, rng);
    TBitmap split = tall;
    ExpectScanLineError([&] { SplitBlurBitmap(split, 5); });
    EXPECT_TRUE(SamePixels(split, tall));

    for (int height = 1; height <= 3; ++height) {
        const TBitmap low = RandomBitmap(20, height, rng);
        TBitmap blurred = low;
        ExpectScanLineError([&] { GaussianBlurBitmap(blurred, 4); });
        EXPECT_TRUE(SamePixels(blurred, low));
    }
}

TEST(EffectBitmaps, NarrowPicturesAreLeftAsTheyAre) {
    std::mt19937 rng(32);
    const TBitmap narrow = RandomBitmap(3, 6, rng);
    TBitmap blurred = narrow;
    GaussianBlurBitmap(blurred, 2); // distance 3 is not below the width
    EXPECT_TRUE(SamePixels(blurred, narrow));
    const TBitmap thin = RandomBitmap(2, 6, rng);
    TBitmap embossed = thin;
    EmbossBitmap(embossed);
    EXPECT_TRUE(SamePixels(embossed, thin));
    const TBitmap line = RandomBitmap(1, 6, rng, 3);
    TBitmap traced = line;
    TraceBitmap(traced, 2);
    EXPECT_TRUE(SamePixels(traced, line));
    TBitmap empty;
    EmbossBitmap(empty);
    SplitBlurBitmap(empty, 2);
    TraceBitmap(empty, 2);
    EXPECT_TRUE(empty.Empty());
}

TEST(EffectBitmaps, EffectsOnASharedCopyNeverReachTheOriginal) {
    std::mt19937 rng(33);
    const TBitmap original = RandomBitmap(30, 20, rng, 4);
    const TBitmap snapshot = PixelCopy(original);

    auto run = [&](auto effect) {
        TBitmap copy = original;
        effect(copy);
        EXPECT_FALSE(SamePixels(copy, original));
        EXPECT_TRUE(SamePixels(original, snapshot));
    };
    run([](TBitmap& b) { EmbossBitmap(b); });
    run([](TBitmap& b) { MosaicBitmap(b, 4); });
    run([](TBitmap& b) { SplitBlurBitmap(b, 2); });
    run([](TBitmap& b) { GaussianBlurBitmap(b, 1); });
    run([](TBitmap& b) { AntiAliasBitmap(b, 2); });
    run([](TBitmap& b) { TraceBitmap(b, 2); });
    run([&](TBitmap& b) { TileBitmap(original, b, 10, 10); });
}

TEST(EffectBitmaps, OtherPixelFormatsAreMade24Bit) {
    std::mt19937 rng(34);
    TBitmap eight = RandomBitmap(10, 8, rng);
    eight.SetPixelFormat(TPixelFormat::pf8bit);
    TBitmap expected = eight;
    expected.SetPixelFormat(TPixelFormat::pf24bit);
    AverageInnerRect(expected, 0, 0, 10, 8);
    AverageInnerRect(eight, 0, 0, 10, 8);
    EXPECT_EQ(eight.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_TRUE(SamePixels(eight, expected));
}

TEST(EffectBitmaps, TraceMarksBoundariesOfTheToolkitsEightBitCopy) {
    // The working copy made literally, by converting a copy of the picture to 8 bits with the toolkit's
    // halftone palette; then the forward sweep of level 1 evaluated on its indices.
    std::mt19937 rng(35);
    const TBitmap original = RandomBitmap(23, 17, rng, 5);
    TBitmap indices = original;
    indices.SetPixelFormat(TPixelFormat::pf8bit);
    TBitmap traced = original;
    TraceBitmap(traced, 1);
    const int W = 23, H = 17;
    int reference = -1;
    std::vector<bool> marked(std::size_t(W * H), false);
    auto index = [&](int x, int y) { return int(indices.ScanLine(y)[x]); };
    for (int j = 0; j <= H - 2; ++j)
        for (int k = 0; k <= W - 3; ++k)
            for (auto [qx, qy] : {std::pair{k + 1, j}, std::pair{k, j + 1}}) {
                const int p = index(k, j), q = index(qx, qy);
                if (p == q)
                    continue;
                if (reference < 0) {
                    reference = q;
                    marked[std::size_t(j * W + k)] = true;
                } else if (p != reference) {
                    marked[std::size_t(j * W + k)] = true;
                } else {
                    marked[std::size_t(qy * W + qx)] = true;
                }
            }
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            EXPECT_EQ(traced.Pixel(x, y), marked[std::size_t(y * W + x)] ? clBlack : original.Pixel(x, y))
                << x << ", " << y;
}

TEST(EffectBitmaps, ResampleAndNoiseOnBitmaps) {
    std::mt19937 rng(36);
    const TBitmap source = RandomBitmap(40, 30, rng);
    TBitmap target = Blank(13, 7);
    ResampleBitmap(source, target);
    EXPECT_EQ(target.Pixel(0, 0), source.Pixel(0, 0));

    SetRandomState(0);
    TBitmap noise = Blank(2, 1);
    FillColorNoise(noise, 100);
    EXPECT_EQ(noise.Pixel(0, 0), RGBColor(0, 0, 36));
    EXPECT_EQ(noise.Pixel(1, 0), RGBColor(0, 0, 17));
    SetRandomState(0);
}
