// The rebuild's tone chain through the control, against the worked examples and against a plain
// per-pixel evaluation of the formulas on random pictures.
#include "Bitmap.h"
#include "OrImage.h"
#include "Picture.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <random>

using namespace testpictures;

namespace {

Rgb ResultPixel(const TOrImage& image, int x, int y = 0) {
    return RgbAt(*image.PictureResult()->Bitmap(), x, y);
}

// A control holding a one-row picture of the given colours.
struct Strip {
    TOrImage image;
    explicit Strip(const std::vector<Rgb>& colours) {
        TBitmap bitmap = FromPixels(int(colours.size()), 1, colours);
        image.PictureOriginal()->Assign(&bitmap);
    }
    Rgb operator[](int x) const { return ResultPixel(image, x); }
};

std::vector<Rgb> Greys(std::initializer_list<int> values) {
    std::vector<Rgb> out;
    for (int v : values)
        out.push_back({v, v, v});
    return out;
}

std::vector<int> Reds(const Strip& strip, int count) {
    std::vector<int> out;
    for (int x = 0; x < count; ++x)
        out.push_back(strip[x][0]);
    return out;
}

} // namespace

TEST(TonePass, NeutralSettingsCopyTheOriginal) {
    Strip strip({{1, 2, 3}, {200, 100, 50}, {255, 0, 128}});
    EXPECT_EQ(strip[0], (Rgb{1, 2, 3}));
    EXPECT_EQ(strip[1], (Rgb{200, 100, 50}));
    EXPECT_EQ(strip[2], (Rgb{255, 0, 128}));
}

TEST(TonePass, BrightnessAddsAndClampsAndItsSetterLimits) {
    Strip strip({{10, 100, 250}});
    strip.image.SetPicBrightness(25);
    EXPECT_EQ(strip[0], (Rgb{35, 125, 255}));
    strip.image.SetPicBrightness(-250);
    EXPECT_EQ(strip[0], (Rgb{0, 0, 0}));
    strip.image.SetPicBrightness(300);
    EXPECT_EQ(strip.image.PicBrightness(), 255);
    strip.image.SetPicBrightness(-300);
    EXPECT_EQ(strip.image.PicBrightness(), -255);
}

TEST(TonePass, ContrastMovesAwayFromOrTowardTheMiddle) {
    Strip strip(Greys({0, 100, 127, 128, 200, 255}));
    strip.image.SetPicContrast(750);
    EXPECT_EQ(Reds(strip, 6), (std::vector<int>{0, 21, 127, 130, 255, 255}));
    strip.image.SetPicContrast(-250);
    EXPECT_EQ(Reds(strip, 6), (std::vector<int>{124, 126, 127, 128, 129, 130}));
    strip.image.SetPicContrast(-255);
    EXPECT_EQ(Reds(strip, 6), (std::vector<int>(6, 127)));
    strip.image.SetPicContrast(-300);
    EXPECT_EQ(strip.image.PicContrast(), -255);
    strip.image.SetPicContrast(900);
    EXPECT_EQ(strip.image.PicContrast(), 900);
}

TEST(TonePass, BrightnessAndContrastCombineBeforeTheClamp) {
    Strip strip(Greys({100}));
    strip.image.SetPicBrightness(25);
    strip.image.SetPicContrast(50);
    EXPECT_EQ(strip[0][0], 120);
}

TEST(TonePass, GreyscaleWeighsTheAdjustedColours) {
    Strip strip({{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {200, 150, 100}});
    strip.image.SetPicGrayScale(true);
    EXPECT_EQ(strip[0], (Rgb{76, 76, 76}));
    EXPECT_EQ(strip[1], (Rgb{150, 150, 150}));
    EXPECT_EQ(strip[2], (Rgb{28, 28, 28}));
    EXPECT_EQ(strip[3], (Rgb{160, 160, 160}));
    strip.image.SetPicBrightness(-250);
    EXPECT_EQ(strip[3], (Rgb{0, 0, 0}));
    strip.image.SetPicBrightness(250);
    EXPECT_EQ(strip[3], (Rgb{255, 255, 255}));
}

TEST(TonePass, PosterizeAndSolarizeExcludeEachOther) {
    Strip strip(Greys({1, 3, 5, 7, 254, 255}));
    strip.image.SetPicPosterize(2);
    EXPECT_EQ(Reds(strip, 6), (std::vector<int>{0, 4, 4, 8, 254, 255}));
    strip.image.SetPicSolorize(60);
    EXPECT_EQ(strip.image.PicPosterize(), 0);
    strip.image.SetPicPosterize(2);
    EXPECT_EQ(strip.image.PicSolorize(), 0);
}

TEST(TonePass, SolarizeInvertsPixelsBrighterThanTheThreshold) {
    Strip strip({{200, 200, 200}, {250, 10, 10}});
    strip.image.SetPicSolorize(60);
    EXPECT_EQ(strip[0], (Rgb{55, 55, 55}));
    strip.image.SetPicSolorize(50);
    EXPECT_EQ(strip[0], (Rgb{200, 200, 200}));
    strip.image.SetPicSolorize(200);
    EXPECT_EQ(strip[1], (Rgb{5, 245, 245}));
}

TEST(TonePass, LightnessAndDarkness) {
    Strip strip({{0, 100, 255}});
    strip.image.SetPicLightness(100);
    EXPECT_EQ(strip[0], (Rgb{100, 160, 255}));
    strip.image.SetPicLightness(-100);
    EXPECT_EQ(strip[0], (Rgb{0, 40, 255}));
    strip.image.SetPicLightness(0);
    strip.image.SetPicDarkness(100);
    EXPECT_EQ(strip[0], (Rgb{0, 61, 155}));
    strip.image.SetPicDarkness(-100);
    EXPECT_EQ(strip[0], (Rgb{0, 139, 255}));
}

TEST(TonePass, SaturationSpreadsFromTheMeanAndYieldsToGreyscale) {
    Strip strip({{200, 100, 0}});
    strip.image.SetPicSaturation(-255);
    EXPECT_EQ(strip[0], (Rgb{100, 100, 100}));
    strip.image.SetPicSaturation(255);
    EXPECT_EQ(strip[0], (Rgb{255, 100, 0}));
    strip.image.SetPicSaturation(-100);
    EXPECT_EQ(strip[0], (Rgb{160, 100, 40}));
    strip.image.SetPicGrayScale(true);
    strip.image.SetPicSaturation(255);
    const int grey = strip[0][0];
    EXPECT_EQ(strip[0], (Rgb{grey, grey, grey}));
}

TEST(TonePass, SplitLightAndInvert) {
    Strip strip({{85, 0, 255}, {64, 128, 192}, {0, 100, 255}});
    strip.image.SetPicSplitlight(1);
    EXPECT_EQ(strip[0], (Rgb{128, 0, 255}));
    strip.image.SetPicSplitlight(2);
    EXPECT_EQ(strip[1], (Rgb{145, 229, 253}));
    strip.image.SetPicSplitlight(11);
    EXPECT_EQ(strip.image.PicSplitlight(), 10);
    strip.image.SetPicSplitlight(0);
    strip.image.SetPicInvert(true);
    EXPECT_EQ(strip[2], (Rgb{255, 155, 0}));
    strip.image.SetPicGrayScale(true); // invert comes after the grey level: 255 - 54
    EXPECT_EQ(strip[0], (Rgb{201, 201, 201}));
}

TEST(TonePass, SettingsWithoutAPictureApplyToTheNextOne) {
    TOrImage image;
    image.SetPicBrightness(25);
    image.SetPicInvert(true);
    EXPECT_EQ(image.PictureResult()->Graphic(), nullptr);
    EXPECT_EQ(image.PicBrightness(), 25);
    TBitmap bitmap = FromPixels(1, 1, {{200, 150, 100}});
    image.PictureOriginal()->Assign(&bitmap);
    EXPECT_EQ(ResultPixel(image, 0), (Rgb{30, 80, 130}));
}

// ---------------------------------------------------------------------------------------------------
// Random pictures against a per-pixel evaluation written straight from the formulas.

namespace {

struct Settings {
    int posterize = 0, solarize = 0, contrast = 0, lightness = 0, darkness = 0, brightness = 0,
        splitlight = 0;
    bool gray = false;
    int saturation = 0;
    bool invert = false;
};

int Clamp(long long v) {
    return v < 0 ? 0 : v > 255 ? 255 : int(v);
}

Rgb Expected(const Settings& s, Rgb p) {
    Rgb c = p;
    if (s.posterize != 0) {
        for (int& v : c)
            v = int(std::nearbyint(double(v) / double(s.posterize))) * s.posterize;
    } else if (s.solarize != 0 && (p[0] + p[1] + p[2]) / 3 > 255 - s.solarize) {
        for (int& v : c)
            v = 255 - v;
    }
    for (int& v : c) {
        long long contrast = 0;
        if (s.contrast) {
            const long long d = (std::llabs(127 - v) * s.contrast) / 255;
            contrast = v >= 128 ? d : -d;
        }
        const long long lightness = ((255LL - v) * s.lightness) / 255;
        const long long darkness = (-(1LL * v * s.darkness)) / 255;
        v = Clamp(v + contrast + lightness + darkness + s.brightness);
    }
    for (int step = 0; step < s.splitlight; ++step)
        for (int& v : c) {
            const long double pi = 3.141592653589793238462643383279502884L;
            const long double product = std::sin((long double)v / 255.0L * pi / 2.0L) * 255.0L;
            v = int(std::nearbyint(double(product)));
        }
    if (s.gray) {
        const long double g =
            ((long double)c[0] * 0.3L + (long double)c[1] * 0.59L) + (long double)c[2] * 0.11L;
        c[0] = c[1] = c[2] = int(std::nearbyint(g));
    } else if (s.saturation) {
        const int a = (c[0] + c[1] + c[2]) / 3;
        for (int& v : c)
            v = Clamp((1LL * (v - a) * (s.saturation + 255)) / 255 + a);
    }
    if (s.invert)
        for (int& v : c)
            v = 255 - v;
    return c;
}

void Apply(TOrImage& image, const Settings& s) {
    image.SetPicGrayScale(s.gray);
    image.SetPicInvert(s.invert);
    image.SetPicContrast(s.contrast);
    image.SetPicLightness(s.lightness);
    image.SetPicDarkness(s.darkness);
    image.SetPicBrightness(s.brightness);
    image.SetPicSplitlight(s.splitlight);
    image.SetPicSaturation(s.saturation);
    if (s.posterize)
        image.SetPicPosterize(s.posterize);
    else
        image.SetPicSolorize(s.solarize);
}

} // namespace

TEST(TonePass, RandomPicturesMatchThePlainEvaluation) {
    std::mt19937 random(20261208);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    // Wide enough that the pass is shared between threads.
    const int width = 701, height = 403;
    std::vector<Rgb> pixels(std::size_t(width * height));
    for (Rgb& p : pixels)
        p = {pick(0, 255), pick(0, 255), pick(0, 255)};
    TOrImage image;
    TBitmap bitmap = FromPixels(width, height, pixels);
    image.PictureOriginal()->Assign(&bitmap);

    for (int round = 0; round < 10; ++round) {
        Settings s;
        s.brightness = pick(-255, 255);
        s.contrast = pick(0, 3) ? pick(-255, 1000) : 0;
        s.lightness = pick(0, 2) ? 0 : pick(-400, 255);
        s.darkness = pick(0, 2) ? 0 : pick(-400, 255);
        s.splitlight = pick(0, 2) ? 0 : pick(1, 10);
        s.gray = pick(0, 1);
        s.saturation = pick(0, 1) ? 0 : pick(-255, 600);
        s.invert = pick(0, 1);
        if (pick(0, 2) == 0)
            s.posterize = pick(1, 600);
        else if (pick(0, 1))
            s.solarize = pick(1, 255);
        Apply(image, s);
        const TBitmap* result = image.PictureResult()->Bitmap();
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const Rgb expected = Expected(s, pixels[std::size_t(y * width + x)]);
                ASSERT_EQ(RgbAt(*result, x, y), expected) << "round " << round << " pixel " << x << "," << y;
            }
    }
}
