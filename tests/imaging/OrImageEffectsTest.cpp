// The effect group and the noise through the image control: stored values, the exclusive group, the
// effect and noise bitmaps, the result they give, and the row errors travelling out of the setters.
#include "Bitmap.h"
#include "Effects.h"
#include "Exceptions.h"
#include "Noise.h"
#include "OrImage.h"
#include "Picture.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

#include <random>

using namespace testpictures;

namespace {

// A random picture of its own seed; with colours > 0, of that many colours.
TBitmap MakeBitmap(int w, int h, std::uint32_t seed, int colours = 0) {
    std::mt19937 rng(seed);
    return RandomBitmap(w, h, rng, colours, 0x5A3C1Fu);
}

// The picture resampled to w x h, as a tile of that size.
TBitmap Resampled(const TBitmap& picture, int w, int h) {
    TBitmap tile = Blank(w, h);
    ResampleBitmap(picture, tile);
    return tile;
}

class EffectControl : public ::testing::Test {
protected:
    void SetUp() override { SetRandomState(0); }
    void TearDown() override { SetRandomState(0); }

    void Load(const TBitmap& b) { image.PictureOriginal()->Assign(&b); }
    const TBitmap& Result() const { return *image.PictureResult()->Bitmap(); }
    const TBitmap& Original() const { return *image.PictureOriginal()->Bitmap(); }

    TOrImage image;
};

} // namespace

TEST_F(EffectControl, OffValueSwitchesTheWholeGroupOffAndRestoresTheOriginal) {
    Load(MakeBitmap(40, 30, 1, 4));
    image.SetPicTrace(5);
    EXPECT_EQ(image.PicTrace(), 5);
    ASSERT_NE(image.EffectBitmap(), nullptr);
    EXPECT_FALSE(SamePixels(Result(), Original()));
    image.SetPicMosaic(0);
    EXPECT_EQ(image.PicTrace(), 0);
    EXPECT_EQ(image.EffectBitmap(), nullptr);
    EXPECT_TRUE(SamePixels(Result(), Original()));
}

TEST_F(EffectControl, EachWriteStartsFromTheOriginal) {
    Load(MakeBitmap(40, 30, 2));
    image.SetPicSplitBlur(4);
    const TBitmap once = PixelCopy(Result());
    image.SetPicSplitBlur(4);
    EXPECT_TRUE(SamePixels(Result(), once));

    TBitmap expected = PixelCopy(Original());
    SplitBlurBitmap(expected, 4);
    EXPECT_TRUE(SamePixels(Result(), expected));
}

TEST_F(EffectControl, EmbossOfUniformPictures) {
    for (auto [value, last] : std::vector<std::pair<int, int>>{{0, 64}, {255, 191}}) {
        Load(Solid(20, 10, std::uint8_t(value)));
        image.SetPicEmboss(true);
        EXPECT_EQ(Result().Pixel(5, 0), RGBColor(127, 127, 127));
        EXPECT_EQ(Result().Pixel(19, 8), RGBColor(127, 127, 127));
        EXPECT_EQ(Result().Pixel(0, 9), RGBColor(last, last, last));
        image.SetPicEmboss(false);
    }
}

TEST_F(EffectControl, MosaicIsLimitedToTheLongerSide) {
    image.SetPicMosaic(10000);
    EXPECT_EQ(image.PicMosaic(), 10000); // no picture yet: stored as written
    const TBitmap picture = MakeBitmap(800, 600, 3);
    Load(picture);
    EXPECT_EQ(image.PicMosaic(), 800);
    const TColor corner = picture.Pixel(0, 0);
    EXPECT_EQ(Result().Pixel(799, 599), corner);
    EXPECT_EQ(Result().Pixel(400, 300), corner);

    image.SetPicMosaic(1);
    ASSERT_NE(image.EffectBitmap(), nullptr);
    EXPECT_TRUE(SamePixels(Result(), picture));
    image.SetPicMosaic(-5);
    EXPECT_EQ(image.PicMosaic(), 0);
    EXPECT_EQ(image.EffectBitmap(), nullptr);
}

TEST_F(EffectControl, BlurValuesAreClampedAndGaussianRunsStrengthPlusOnePasses) {
    Load(MakeBitmap(30, 20, 4));
    // 255 is not below the 20 rows: the first row's lower row lies outside the picture.
    EXPECT_THROW(image.SetPicSplitBlur(300), EInvalidGraphicOperation);
    EXPECT_EQ(image.PicSplitBlur(), 255);

    image.SetPicGaussianBlur(51);
    EXPECT_EQ(image.PicGaussianBlur(), 50);
    EXPECT_EQ(image.PicSplitBlur(), 0);
    TBitmap expected = PixelCopy(Original());
    for (int pass = 0; pass < 51; ++pass)
        SplitBlurBitmap(expected, 3);
    EXPECT_TRUE(SamePixels(Result(), expected));

    image.SetPicAntiAlias(-1);
    EXPECT_EQ(image.PicAntiAlias(), 0);
    EXPECT_EQ(image.PicGaussianBlur(), 0);
    EXPECT_EQ(image.EffectBitmap(), nullptr);
}

TEST_F(EffectControl, RowErrorsKeepTheValueAndAnUnchangedCopyAndSkipTheRebuild) {
    Load(MakeBitmap(30, 1, 5));
    image.SetPicMosaic(3);
    const TBitmap before = PixelCopy(Result());
    try {
        image.SetPicEmboss(true);
        FAIL() << "no error";
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Scan line index out of range"));
    }
    EXPECT_TRUE(image.PicEmboss());
    EXPECT_EQ(image.PicMosaic(), 0);
    ASSERT_NE(image.EffectBitmap(), nullptr);
    EXPECT_TRUE(SamePixels(*image.EffectBitmap(), Original()));
    EXPECT_TRUE(SamePixels(Result(), before)); // still the mosaic: no rebuild ran

    // A new picture regenerates the effect in the rebuild, and the error comes out of the assignment.
    Load(MakeBitmap(10, 3, 6));
    EXPECT_THROW(image.SetPicGaussianBlur(2), EInvalidGraphicOperation);
    EXPECT_THROW(Load(MakeBitmap(12, 2, 7)), EInvalidGraphicOperation);
    Load(MakeBitmap(12, 8, 8));
    EXPECT_EQ(image.PicGaussianBlur(), 2);
}

TEST_F(EffectControl, AntiAliasAndTraceThroughTheControl) {
    Load(MakeBitmap(25, 15, 9, 3));
    image.SetPicAntiAlias(3);
    TBitmap expected = PixelCopy(Original());
    AntiAliasBitmap(expected, 3);
    EXPECT_TRUE(SamePixels(Result(), expected));

    image.SetPicTrace(11);
    EXPECT_EQ(image.PicTrace(), 10);
    EXPECT_EQ(image.PicAntiAlias(), 0);
    const TBitmap ten = PixelCopy(Result());
    image.SetPicTrace(2);
    EXPECT_TRUE(SamePixels(Result(), ten));
}

TEST_F(EffectControl, TileSizesAndStoredCounts) {
    const TBitmap picture = MakeBitmap(800, 600, 10);
    Load(picture);
    image.SetPicTile(3);
    EXPECT_EQ(image.PicTile(), 3);
    const TBitmap tile = Resampled(picture, 266, 200);
    for (auto [x, y] :
         std::vector<std::pair<int, int>>{{0, 0}, {265, 199}, {266, 0}, {797, 599}, {798, 5}, {799, 450}})
        EXPECT_EQ(Result().Pixel(x, y), tile.Pixel(x % 266, y % 200)) << x << ", " << y;

    image.SetPicTile(1000);
    EXPECT_EQ(image.PicTile(), 80);

    Load(MakeBitmap(1000, 50, 11));
    image.SetPicTile(10);
    EXPECT_EQ(image.PicTile(), 10);
    const TBitmap wide = Resampled(Original(), 100, 10);
    EXPECT_EQ(Result().Pixel(950, 45), wide.Pixel(50, 5));

    Load(MakeBitmap(8, 6, 12));
    image.SetPicTile(2);
    EXPECT_EQ(image.PicTile(), 0);
    EXPECT_EQ(image.EffectBitmap(), nullptr);
}

TEST_F(EffectControl, TileSizeComesFromTheCountAsWritten) {
    // 19 x 12 with 5: both sides give tiles under 10, so the tile is 10 x 10 and the count stored is 1.
    const TBitmap picture = MakeBitmap(19, 12, 13);
    Load(picture);
    image.SetPicTile(5);
    EXPECT_EQ(image.PicTile(), 1);
    const TBitmap tile = Resampled(picture, 10, 10);
    EXPECT_EQ(Result().Pixel(12, 11), tile.Pixel(2, 1));
    EXPECT_EQ(Result().Pixel(3, 4), tile.Pixel(3, 4));
}

TEST_F(EffectControl, GroupAndNoiseAreIndependent) {
    Load(MakeBitmap(100, 60, 14));
    image.SetPicTile(5);
    image.SetPicColorNoise(20);
    EXPECT_EQ(image.PicTile(), 5);
    image.SetPicEmboss(true);
    EXPECT_EQ(image.PicTile(), 0);
    EXPECT_EQ(image.PicColorNoise(), 20);
    ASSERT_NE(image.NoiseBitmap(), nullptr);
}

TEST_F(EffectControl, SmallSpansGiveZeroNoiseButUseDraws) {
    const TBitmap picture = MakeBitmap(16, 9, 15);
    Load(picture);
    for (int span : {1, 2}) {
        const std::uint32_t before = RandomState();
        image.SetPicColorNoise(span);
        ASSERT_NE(image.NoiseBitmap(), nullptr);
        EXPECT_TRUE(SamePixels(*image.NoiseBitmap(), Solid(16, 9, 0)));
        EXPECT_TRUE(SamePixels(Result(), picture));
        EXPECT_NE(RandomState(), before);
    }
}

TEST_F(EffectControl, NoiseSettersAndTheirBitmap) {
    const TBitmap picture = MakeBitmap(50, 40, 16);
    Load(picture);
    image.SetPicColorNoise(50);
    image.SetPicMonoNoise(50);
    EXPECT_EQ(image.PicColorNoise(), 0);
    ASSERT_NE(image.NoiseBitmap(), nullptr);
    const TBitmap& mono = *image.NoiseBitmap();
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 50; ++x) {
            const std::uint8_t* p = mono.ScanLine(y) + 3 * x;
            ASSERT_TRUE(p[0] == p[1] && p[1] == p[2]);
        }
    image.SetPicMonoNoise(0);
    EXPECT_EQ(image.NoiseBitmap(), nullptr);
    EXPECT_TRUE(SamePixels(Result(), picture));

    image.SetPicColorNoise(-7);
    EXPECT_EQ(image.PicColorNoise(), 0);
    image.SetPicColorNoise(1000);
    int highest = 0;
    for (int y = 0; y < 40; ++y)
        for (int i = 0; i < 150; ++i)
            highest = std::max(highest, int(image.NoiseBitmap()->ScanLine(y)[i]));
    EXPECT_EQ(highest, 255);
}

TEST_F(EffectControl, FirstFillsAfterStartUpAndNoiseOverAnEffect) {
    const TBitmap black = Solid(4, 2, 0);
    Load(black);
    image.SetPicColorNoise(100);
    EXPECT_EQ(Result().Pixel(0, 0), RGBColor(0, 0, 36));
    EXPECT_EQ(Result().Pixel(1, 0), RGBColor(0, 0, 17));

    SetRandomState(0);
    const TBitmap picture = MakeBitmap(20, 10, 17);
    Load(picture);
    image.SetPicEmboss(true);
    SetRandomState(0);
    image.SetPicMonoNoise(40);
    TBitmap embossed = PixelCopy(picture);
    EmbossBitmap(embossed);
    TBitmap noise = Solid(20, 10, 0);
    SetRandomState(0);
    FillMonoNoise(noise, 40);
    for (int y = 0; y < 10; ++y)
        for (int i = 0; i < 60; ++i)
            ASSERT_EQ(Result().ScanLine(y)[i], std::min(255, embossed.ScanLine(y)[i] + noise.ScanLine(y)[i]));
}

TEST_F(EffectControl, NewPictureGetsFreshNoiseOfItsOwnSize) {
    Load(MakeBitmap(10, 10, 18));
    image.SetPicMonoNoise(60);
    Load(MakeBitmap(33, 7, 19));
    ASSERT_NE(image.NoiseBitmap(), nullptr);
    EXPECT_EQ(image.NoiseBitmap()->Width(), 33);
    EXPECT_EQ(image.NoiseBitmap()->Height(), 7);
    EXPECT_EQ(image.PicMonoNoise(), 60);
}
