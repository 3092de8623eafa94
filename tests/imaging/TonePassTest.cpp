// The rebuild's tone chain through the control, against the worked examples and against a plain
// per-pixel evaluation of the formulas on random pictures.
#include "TonePass.h"
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

// ---------------------------------------------------------------------------------------------------
// The pass itself on plain rows: every row layout and width the vector code treats differently, in
// both kinds of instructions, against the plain evaluation.

namespace {

// Rows of width × height pixels in a buffer with guard bytes around it and a padded stride; bottom-up
// when the stride is negative.
struct Rows {
    int width, height;
    std::ptrdiff_t stride;
    bool bottomUp;
    std::vector<std::uint8_t> bytes;
    static constexpr std::size_t kGuard = 256;
    static constexpr std::uint8_t kUntouched = 0xA5;

    Rows(int w, int h, int padding, bool upsideDown)
        : width(w), height(h), stride(3 * w + padding), bottomUp(upsideDown),
          bytes(2 * kGuard + std::size_t(stride) * std::size_t(h), kUntouched) {}
    std::uint8_t* Row(int y) {
        const int stored = bottomUp ? height - 1 - y : y;
        return bytes.data() + kGuard + std::size_t(stored) * std::size_t(stride);
    }
    PixelRows View() { return PixelRows{Row(0), bottomUp ? -stride : stride, width, height}; }
    Rgb At(int x, int y) {
        const std::uint8_t* p = Row(y) + 3 * x;
        return {p[2], p[1], p[0]};
    }
    void Set(int x, int y, Rgb c) {
        std::uint8_t* p = Row(y) + 3 * x;
        p[0] = std::uint8_t(c[2]);
        p[1] = std::uint8_t(c[1]);
        p[2] = std::uint8_t(c[0]);
    }
    // Whether the bytes outside the pixels (guards and row padding) are as they were.
    bool OnlyPixelsWritten() {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const std::size_t inRows = i - kGuard;
            const bool pixel = i >= kGuard && inRows < std::size_t(stride) * std::size_t(height) &&
                               std::ptrdiff_t(inRows % std::size_t(stride)) < 3 * width;
            if (!pixel && bytes[i] != kUntouched)
                return false;
        }
        return true;
    }
};

// Colours whose weighted sum is a half before any adjustment: the grey level then depends on the
// extended evaluation's own rounding.
Rgb RandomHalf(std::mt19937& random) {
    for (;;) {
        const Rgb c{int(random() % 256), int(random() % 256), int(random() % 256)};
        if ((30 * c[0] + 59 * c[1] + 11 * c[2]) % 100 == 50)
            return c;
    }
}

ToneSettings PassSettings(const Settings& s) {
    ToneSettings t;
    t.Posterize = s.posterize;
    t.Solarize = s.solarize;
    t.Contrast = s.contrast;
    t.Lightness = s.lightness;
    t.Darkness = s.darkness;
    t.Brightness = s.brightness;
    t.Splitlight = s.splitlight;
    t.GrayScale = s.gray;
    t.Saturation = s.saturation;
    t.Invert = s.invert;
    return t;
}

// Runs the pass from `in` into a fresh result and checks every pixel and that nothing else was written.
void ExpectPassMatches(const Settings& s, Rows& in, TPassUnits units, int padding, bool bottomUp) {
    Rows out(in.width, in.height, padding, bottomUp);
    RunTonePass(PassSettings(s), in.View(), ConstPixelRows{}, out.View(), in.width, in.height, units);
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x)
            ASSERT_EQ(out.At(x, y), Expected(s, in.At(x, y)))
                << "width " << in.width << " pixel " << x << "," << y
                << (units == TPassUnits::Best ? " best" : " scalar");
    EXPECT_TRUE(out.OnlyPixelsWritten()) << "width " << in.width;
}

} // namespace

TEST(TonePass, WindowCasesMatchThePlainEvaluationAtEveryWidthAndLayout) {
    std::mt19937 random(7);
    // The main window's settings: grey or colour, brightness and contrast on the track bars' steps;
    // invert and lightness as well, which take the same fast roads.
    std::vector<Settings> cases;
    for (int brightnessStep : {-10, -1, 0, 3, 10})
        for (int contrastStep : {-5, 0, 2, 15})
            for (bool gray : {true, false}) {
                Settings s;
                s.brightness = brightnessStep * 25;
                s.contrast = contrastStep * 50;
                s.gray = gray;
                cases.push_back(s);
            }
    Settings inverted;
    inverted.gray = true;
    inverted.invert = true;
    inverted.lightness = 40;
    cases.push_back(inverted);
    inverted.gray = false;
    cases.push_back(inverted);
    // Every part of the arithmetic form at once, with the signs the other way round.
    Settings parts;
    parts.contrast = -120;
    parts.lightness = -60;
    parts.darkness = 30;
    parts.brightness = 25;
    for (bool gray : {true, false}) {
        parts.gray = gray;
        cases.push_back(parts);
    }

    // Both sides of every vector limit: 32 bytes and 32 pixels (in halves of 16) for AVX2, 64 bytes
    // and 64 pixels for AVX-512.
    for (int width :
         {1, 2, 10, 11, 15, 16, 17, 21, 31, 32, 33, 63, 64, 65, 86, 95, 96, 97, 127, 128, 130, 193}) {
        const int padding = (4 - 3 * width % 4) % 4;
        const bool bottomUp = width % 2 == 1;
        Rows in(width, 5, padding, bottomUp);
        for (int y = 0; y < in.height; ++y)
            for (int x = 0; x < width; ++x)
                in.Set(x, y,
                       random() % 3 ? RandomHalf(random)
                                    : Rgb{int(random() % 256), int(random() % 256), int(random() % 256)});
        for (const Settings& s : cases)
            for (TPassUnits units : {TPassUnits::Best, TPassUnits::Scalar})
                ExpectPassMatches(s, in, units, width % 3 == 0 ? 4 : padding, !bottomUp);
    }
}

TEST(TonePass, LargePicturesWrittenPastTheCachesAreTheSameBytes) {
    // Big enough for the result to be written around the caches, with rows that start at every
    // alignment; the vector pass against the scalar one, which the test above holds to the formulas.
    const int width = 2001, height = 1500;
    Rows in(width, height, 1, true);
    std::mt19937 random(11);
    for (std::uint8_t& b : in.bytes)
        b = std::uint8_t(random());
    for (bool gray : {true, false}) {
        ToneSettings s;
        s.GrayScale = gray;
        s.Brightness = 50;
        s.Contrast = 150;
        Rows best(width, height, 3, false), scalar(width, height, 3, false);
        RunTonePass(s, in.View(), ConstPixelRows{}, best.View(), width, height, TPassUnits::Best);
        RunTonePass(s, in.View(), ConstPixelRows{}, scalar.View(), width, height, TPassUnits::Scalar);
        EXPECT_TRUE(best.bytes == scalar.bytes) << (gray ? "grey" : "colour");
    }
}
