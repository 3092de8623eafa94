// The extended-precision formulas against a plain evaluation in 80-bit long double, over every input.
#include "ToneFormulas.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

int ReferenceGray(int r, int g, int b) {
    volatile long double weightR = 0.3L, weightG = 0.59L, weightB = 0.11L;
    const long double sum = ((long double)r * weightR + (long double)g * weightG) + (long double)b * weightB;
    return int(std::nearbyint(sum));
}

int ReferenceSplitLight(int c) {
    const long double pi = 3.141592653589793238462643383279502884L;
    volatile long double v = (long double)c;
    v = v / 255.0L;
    v = v * pi;
    v = v / 2.0L;
    v = std::sin(v);
    v = v * 255.0L;
    const double d = double(v);
    return int(std::nearbyint(d));
}

} // namespace

TEST(GrayLevel, EveryColourMatchesTheExtendedEvaluation) {
    long long mismatches = 0;
    for (int r = 0; r < 256; ++r)
        for (int g = 0; g < 256; ++g)
            for (int b = 0; b < 256; ++b)
                if (tone::GrayLevel(r, g, b) != ReferenceGray(r, g, b) && ++mismatches < 5)
                    ADD_FAILURE() << "(" << r << ", " << g << ", " << b << ")";
    EXPECT_EQ(mismatches, 0);
}

TEST(GrayLevel, HalvesComeOutAsExtendedArithmeticGivesThem) {
    EXPECT_EQ(tone::GrayLevel(5, 0, 0), 2); // 1.5 exactly, but 0.3 is stored slightly low
    EXPECT_EQ(tone::GrayLevel(0, 5, 5), 3); // 3.5 exactly
    EXPECT_EQ(tone::GrayLevel(255, 0, 0), 76);
    EXPECT_EQ(tone::GrayLevel(0, 255, 0), 150);
    EXPECT_EQ(tone::GrayLevel(0, 0, 255), 28);
    EXPECT_EQ(tone::GrayLevel(200, 150, 100), 160);
    EXPECT_EQ(tone::GrayLevel(255, 255, 255), 255);
}

TEST(SplitLight, EveryValueAndEveryStepCountMatchesTheExtendedEvaluation) {
    for (int c = 0; c < 256; ++c) {
        int expected = c, actual = c;
        for (int steps = 1; steps <= 10; ++steps) {
            expected = ReferenceSplitLight(expected);
            actual = tone::SplitLightStep(actual);
            ASSERT_EQ(actual, expected) << "value " << c << " after " << steps << " steps";
        }
    }
}

TEST(SplitLight, KnownValues) {
    const int in[] = {0, 1, 10, 32, 64, 85, 128, 192, 250, 255};
    const int out[] = {0, 2, 16, 50, 98, 128, 181, 236, 255, 255};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(tone::SplitLightStep(in[i]), out[i]) << in[i];
    EXPECT_EQ(tone::SplitLightStep(tone::SplitLightStep(64)), 145);
    EXPECT_EQ(tone::SplitLightStep(tone::SplitLightStep(128)), 229);
    int one = 1, thirtyTwo = 32;
    for (int i = 0; i < 10; ++i) {
        one = tone::SplitLightStep(one);
        thirtyTwo = tone::SplitLightStep(thirtyTwo);
    }
    EXPECT_EQ(one, 112);
    EXPECT_EQ(thirtyTwo, 255);
}

TEST(Posterize, RoundsHalvesToEvenAndMayExceedAByte) {
    const int in2[] = {1, 3, 5, 7, 254, 255};
    const int out2[] = {0, 4, 4, 8, 254, 256};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(tone::Posterize(in2[i], 2), out2[i]) << in2[i];
    const int in100[] = {49, 50, 51, 150, 250, 255};
    const int out100[] = {0, 0, 100, 200, 200, 300};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(tone::Posterize(in100[i], 100), out100[i]) << in100[i];
}
