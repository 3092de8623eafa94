// Scans from SANE's virtual test scanner through the source manager, compared with what scanimage
// writes for the same options, through each transfer mechanism.
#include "DsmFixture.h"

#include <algorithm>
#include <optional>
#include <tuple>

namespace {

TScanRequest With(const char* mode, int depth, std::vector<std::pair<std::string, std::string>> extra) {
    TScanRequest request;
    request.mode = mode;
    request.depth = depth;
    request.extra = std::move(extra);
    return request;
}

// The first `width` pixels of each row.
TPicture Cropped(const TPicture& picture, int width) {
    TPicture part = picture;
    part.width = width;
    part.rgb.clear();
    for (int y = 0; y < picture.height; ++y) {
        const auto row = picture.rgb.begin() + 3 * std::ptrdiff_t(y) * picture.width;
        part.rgb.insert(part.rgb.end(), row, row + 3 * width);
    }
    return part;
}

struct TModeCase {
    const char* mode;
    int depth;
    int bitsPerPixel;
};

class ModeTest : public DsmTest, public ::testing::WithParamInterface<std::tuple<TModeCase, TMechanism>> {};

void PrintTo(const TModeCase& mode, std::ostream* out) {
    *out << mode.mode << ' ' << mode.depth;
}

std::string ModeName(const ::testing::TestParamInfo<ModeTest::ParamType>& info) {
    const TModeCase& mode = std::get<0>(info.param);
    const char* mechanism[] = {"Memory", "Native", "File"};
    return std::string(mode.mode) + std::to_string(mode.depth) + mechanism[int(std::get<1>(info.param))];
}

} // namespace

TEST_P(ModeTest, PixelsMatchScanimage) {
    const auto& [mode, mechanism] = GetParam();
    TScanRequest request;
    request.mode = mode.mode;
    request.depth = mode.depth;
    TW_IDENTITY source{};
    ASSERT_EQ(ScanHeadless(source, request), MSG_XFERREADY);

    TW_IMAGEINFO info{};
    ASSERT_EQ(Call(&source, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    EXPECT_EQ(+info.BitsPerPixel, mode.bitsPerPixel);
    EXPECT_EQ(+info.PixelType, mode.bitsPerPixel == 1   ? TWPT_BW
                               : mode.bitsPerPixel == 8 ? TWPT_GRAY
                                                        : TWPT_RGB);
    EXPECT_EQ(+info.XResolution.Whole, 72);
    EXPECT_EQ(+info.XResolution.Frac, 0);

    const TPicture picture = Transfer(source, mechanism);
    const TPicture expected = Scanimage(request);
    ASSERT_GT(expected.width, 0) << "scanimage gave no picture";
    EXPECT_EQ(picture.width, expected.width);
    EXPECT_EQ(picture.height, expected.height);
    EXPECT_EQ(picture.width, +info.ImageWidth);
    EXPECT_EQ(picture.height, +info.ImageLength);
    EXPECT_TRUE(picture.rgb == expected.rgb) << "the pixels differ from scanimage's";
    TW_UINT16 count = 0xffff;
    EXPECT_EQ(EndTransfer(source, count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(Disable(source), TWRC_SUCCESS);
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source), TWRC_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(
    AllModes, ModeTest,
    ::testing::Combine(::testing::Values(TModeCase{"Gray", 1, 1}, TModeCase{"Gray", 8, 8},
                                         TModeCase{"Gray", 16, 8}, TModeCase{"Color", 8, 24},
                                         TModeCase{"Color", 16, 24}),
                       ::testing::Values(TMechanism::memory, TMechanism::native, TMechanism::file)),
    ModeName);

namespace {

struct TOddCase {
    const char* name;
    TScanRequest request;
    TW_UINT32 bufferBytes = 0; // 0: the source's preferred size
    // What scanimage scans for comparison when it cannot handle the request itself, and the pixels lost
    // at the end of each line (scanimage keeps them).
    std::optional<TScanRequest> reference = std::nullopt;
    int lostPixels = 0;
};

void PrintTo(const TOddCase& odd, std::ostream* out) {
    *out << odd.name;
}

class OddDeviceTest : public DsmTest, public ::testing::WithParamInterface<TOddCase> {};

} // namespace

TEST_P(OddDeviceTest, PixelsMatchScanimage) {
    const TOddCase& odd = GetParam();
    TW_IDENTITY source{};
    ASSERT_EQ(ScanHeadless(source, odd.request), MSG_XFERREADY);
    const TPicture picture = Transfer(source, TMechanism::memory, odd.bufferBytes);
    TPicture expected = Scanimage(odd.reference.value_or(odd.request));
    ASSERT_GT(expected.height, 0) << "scanimage gave no picture";
    if (odd.lostPixels)
        expected = Cropped(expected, expected.width - odd.lostPixels);
    EXPECT_EQ(picture.width, expected.width);
    EXPECT_EQ(picture.height, expected.height);
    EXPECT_TRUE(picture.rgb == expected.rgb) << "the pixels differ from scanimage's";
    TW_UINT16 count = 0xffff;
    EXPECT_EQ(EndTransfer(source, count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, OddDeviceTest,
    ::testing::Values(
        TOddCase{"TinyReads", With("Color", 8, {{"read-limit", "yes"}, {"read-limit-size", "7"}}), 0},
        TOddCase{"TinyReads16", With("Gray", 16, {{"read-limit", "yes"}, {"read-limit-size", "3"}}), 0},
        TOddCase{"PaddedLines", With("Color", 8, {{"ppl-loss", "5"}}), 0, With("Color", 8, {}), 5},
        TOddCase{"PaddedBitLines", With("Gray", 1, {{"ppl-loss", "3"}}), 0},
        TOddCase{"ThreePass", With("Color", 8, {{"three-pass", "yes"}}), 0},
        TOddCase{"ThreePassBlueFirst",
                 With("Color", 16, {{"three-pass", "yes"}, {"three-pass-order", "BGR"}}), 0,
                 With("Color", 16, {})},
        TOddCase{"UnknownLength", With("Gray", 8, {{"hand-scanner", "yes"}}), 0},
        TOddCase{"UnknownLengthColour", With("Color", 8, {{"hand-scanner", "yes"}, {"read-limit", "yes"}}),
                 0},
        TOddCase{"FuzzyParameters", With("Color", 8, {{"fuzzy-parameters", "yes"}}), 0},
        TOddCase{"SwappedBytes", With("Color", 16, {{"invert-endianess", "yes"}}), 0},
        TOddCase{"OneRowBuffers", With("Color", 8, {{"test-picture", "Grid"}}), 76 * 3}),
    [](const ::testing::TestParamInfo<TOddCase>& info) { return std::string(info.param.name); });

// Black stays black and white stays white in every mode and depth, colour at one bit included.
TEST_F(DsmTest, SolidPicturesKeepTheirColourAtEveryDepth) {
    for (const char* mode : {"Gray", "Color"})
        for (int depth : {1, 8, 16})
            for (const char* picture : {"Solid black", "Solid white"}) {
                SCOPED_TRACE(std::string(mode) + " " + std::to_string(depth) + " " + picture);
                TW_IDENTITY source{};
                ASSERT_EQ(ScanHeadless(source, With(mode, depth, {{"test-picture", picture}})),
                          MSG_XFERREADY);
                const TPicture scanned = Transfer(source, TMechanism::memory);
                const std::uint8_t level = std::string(picture) == "Solid black" ? 0 : 255;
                ASSERT_FALSE(scanned.rgb.empty());
                EXPECT_EQ(std::count(scanned.rgb.begin(), scanned.rgb.end(), level),
                          std::ptrdiff_t(scanned.rgb.size()));
                TW_UINT16 count = 0;
                EXPECT_EQ(EndTransfer(source, count), TWRC_SUCCESS);
                EXPECT_EQ(Disable(source), TWRC_SUCCESS);
                EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source), TWRC_SUCCESS);
            }
}
