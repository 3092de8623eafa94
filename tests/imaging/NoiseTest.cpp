// The process-wide generator and the noise fills, against a generator written out here and against the
// known first draws after start-up.
#include "Noise.h"
#include "EffectsPicture.h"

#include <gtest/gtest.h>

namespace {

struct ReferenceGenerator {
    std::uint32_t state = 0;
    int Below(int n) {
        state = state * 134775813u + 1u;
        return int((std::uint64_t(state) * std::uint64_t(n)) / 4294967296ull);
    }
};

int Offset(int draw, int n) {
    const int v = draw - n / 2;
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

class Noise : public ::testing::Test {
protected:
    void SetUp() override { SetRandomState(0); }
    void TearDown() override { SetRandomState(0); }
};

} // namespace

TEST(ClampByte, LimitsToAByte) {
    EXPECT_EQ(ClampByte(-1), 0);
    EXPECT_EQ(ClampByte(-2147483647 - 1), 0);
    EXPECT_EQ(ClampByte(0), 0);
    EXPECT_EQ(ClampByte(200), 200);
    EXPECT_EQ(ClampByte(255), 255);
    EXPECT_EQ(ClampByte(256), 255);
    EXPECT_EQ(ClampByte(2147483647), 255);
}

TEST_F(Noise, FirstDrawsFromStartUp) {
    const int expected[] = {0, 3, 86, 20, 27, 67, 31, 16};
    for (int e : expected)
        EXPECT_EQ(RandomBelow(100), e);
}

TEST_F(Noise, DrawsFollowTheGeneratorForAnySpan) {
    ReferenceGenerator reference;
    for (int n : {1, 2, 3, 7, 100, 255, 256, 513, 1000, 65536, 2147483647})
        for (int i = 0; i < 50; ++i) {
            const int got = RandomBelow(n);
            EXPECT_EQ(got, reference.Below(n));
            EXPECT_GE(got, 0);
            EXPECT_LT(got, n);
        }
    EXPECT_EQ(RandomState(), reference.state);
}

TEST_F(Noise, FirstColourAndMonoFillsWithSpanHundred) {
    TestPicture colour(3, 2);
    FillColorNoise(colour.Rows(), 100);
    EXPECT_EQ(colour.at(0, 0, 2), 0);  // red
    EXPECT_EQ(colour.at(0, 0, 1), 0);  // green
    EXPECT_EQ(colour.at(0, 0, 0), 36); // blue
    EXPECT_EQ(colour.at(1, 0, 2), 0);
    EXPECT_EQ(colour.at(1, 0, 1), 0);
    EXPECT_EQ(colour.at(1, 0, 0), 17);

    SetRandomState(0);
    TestPicture mono(6, 1);
    FillMonoNoise(mono.Rows(), 100);
    const int expected[] = {0, 0, 36, 0, 0, 17};
    for (int x = 0; x < 6; ++x)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(mono.at(x, 0, c), expected[x]) << x;
}

TEST_F(Noise, FillsMatchTheGeneratorPixelByPixel) {
    for (int n : {1, 2, 3, 50, 100, 512, 513, 1000}) {
        for (bool mono : {false, true}) {
            for (auto [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {3, 1}, {1, 4}, {17, 11}}) {
                const std::uint32_t start = 0x9E3779B9u * std::uint32_t(n + w);
                SetRandomState(start);
                ReferenceGenerator reference{start};
                TestPicture picture(w, h, 3, n % 2 == 0);
                if (mono)
                    FillMonoNoise(picture.Rows(), n);
                else
                    FillColorNoise(picture.Rows(), n);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        if (mono) {
                            const int v = Offset(reference.Below(n), n);
                            for (int c = 0; c < 3; ++c)
                                ASSERT_EQ(picture.at(x, y, c), v) << n << " at " << x << ", " << y;
                        } else {
                            const int red = Offset(reference.Below(n), n);
                            const int green = Offset(reference.Below(n), n);
                            const int blue = Offset(reference.Below(n), n);
                            ASSERT_EQ(picture.at(x, y, 2), red) << n << " at " << x << ", " << y;
                            ASSERT_EQ(picture.at(x, y, 1), green);
                            ASSERT_EQ(picture.at(x, y, 0), blue);
                        }
                    }
                // The fill used up exactly its draws, also where every offset is 0.
                EXPECT_EQ(RandomState(), reference.state) << "span " << n << (mono ? " mono" : " colour");
                EXPECT_TRUE(picture.PaddingIntact());
            }
        }
    }
}

TEST_F(Noise, LargeFillsEqualOneSequenceInRowOrder) {
    // Large enough to be shared between the cores: every part must continue the one sequence.
    for (bool mono : {false, true}) {
        SetRandomState(12345u);
        ReferenceGenerator reference{12345u};
        TestPicture picture(700, 400);
        if (mono)
            FillMonoNoise(picture.Rows(), 300);
        else
            FillColorNoise(picture.Rows(), 300);
        for (int y = 0; y < 400; ++y)
            for (int x = 0; x < 700; ++x)
                for (int c = mono ? 0 : 2; c >= 0; --c) {
                    const int v = Offset(reference.Below(300), 300);
                    if (mono) {
                        ASSERT_TRUE(picture.at(x, y, 0) == v && picture.at(x, y, 1) == v &&
                                    picture.at(x, y, 2) == v)
                            << x << ", " << y;
                    } else {
                        ASSERT_EQ(picture.at(x, y, c), v) << x << ", " << y << " channel " << c;
                    }
                }
        EXPECT_EQ(RandomState(), reference.state);
    }
}

TEST_F(Noise, SpansOfOneAndTwoGiveZerosAndLargeSpansReach255) {
    TestPicture small(40, 30);
    small.Fill(9, 9, 9);
    FillColorNoise(small.Rows(), 2);
    TestPicture zeros(40, 30);
    zeros.Fill(0, 0, 0);
    EXPECT_EQ(small.DifferenceFrom(zeros), "");
    EXPECT_NE(RandomState(), 0u);

    TestPicture large(40, 30);
    FillColorNoise(large.Rows(), 1000);
    int highest = 0;
    for (std::uint8_t b : large.bytes)
        highest = std::max(highest, int(b));
    EXPECT_EQ(highest, 255);
}

TEST_F(Noise, SpanThreeGivesOneAboutOnceInThree) {
    TestPicture picture(300, 100);
    FillMonoNoise(picture.Rows(), 3);
    int ones = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 300; ++x) {
            ASSERT_LE(picture.at(x, y, 0), 1);
            ones += picture.at(x, y, 0);
        }
    EXPECT_NEAR(ones, 10000, 500);
}

TEST_F(Noise, NoSpanOrNoPixelsDrawsNothing) {
    TestPicture picture(4, 4);
    const TestPicture before = picture;
    FillColorNoise(picture.Rows(), 0);
    FillMonoNoise(picture.Rows(), -7);
    TestPicture empty(0, 0);
    FillColorNoise(empty.Rows(), 50);
    EXPECT_EQ(RandomState(), 0u);
    EXPECT_EQ(picture.DifferenceFrom(before), "");
}
