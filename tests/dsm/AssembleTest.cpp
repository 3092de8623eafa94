// Turning SANE frames into pages, directly: shapes a real device may send that the test scanner does not,
// and frames that do not fit together.
#include "ScannedPage.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TRawFrame Frame(int format, int depth, int pixels, int bytesPerLine, int lines,
                std::vector<std::uint8_t> data, bool last = true) {
    TRawFrame frame;
    std::memcpy(&frame.parameters.format, &format, sizeof format); // kinds beyond the enumeration too
    frame.parameters.last_frame = last;
    frame.parameters.depth = depth;
    frame.parameters.pixels_per_line = pixels;
    frame.parameters.bytes_per_line = bytesPerLine;
    frame.parameters.lines = lines;
    frame.data = std::move(data);
    return frame;
}

} // namespace

TEST(AssemblePage, LineartBecomesChocolateBitsInPaddedRows) {
    // 10 pixels: black, white, black... in SANE (a set bit is black), two bytes a line, two lines.
    TScannedPage page;
    std::string reason;
    ASSERT_TRUE(
        AssemblePage({Frame(SANE_FRAME_GRAY, 1, 10, 2, 2, {0xaa, 0x80, 0x00, 0x00})}, 300, page, reason));
    EXPECT_EQ(page.kind, TPixelKind::bw);
    EXPECT_EQ(page.RowBytes(), 4u);
    EXPECT_EQ(page.Row(0)[0], 0x55); // a set bit is white in the rows handed out
    EXPECT_EQ(page.Row(0)[1], 0x40); // pixel 8 black, pixel 9 white, the padding bits clear
    EXPECT_EQ(page.Row(0)[2], 0);
    EXPECT_EQ(page.Row(1)[0], 0xff);
    EXPECT_EQ(page.Row(1)[1], 0xc0);
    EXPECT_EQ(page.resolution, 300);
}

TEST(AssemblePage, ThreeFramesInAnyOrderMakeRgb) {
    TScannedPage page;
    std::string reason;
    const std::vector<TRawFrame> frames = {Frame(SANE_FRAME_GREEN, 8, 2, 2, 1, {20, 21}, false),
                                           Frame(SANE_FRAME_BLUE, 8, 2, 2, 1, {30, 31}, false),
                                           Frame(SANE_FRAME_RED, 8, 2, 2, 1, {10, 11})};
    ASSERT_TRUE(AssemblePage(frames, 100, page, reason)) << reason;
    EXPECT_EQ(page.kind, TPixelKind::rgb);
    const std::uint8_t expected[] = {10, 20, 30, 11, 21, 31};
    EXPECT_EQ(std::memcmp(page.Row(0), expected, sizeof expected), 0);
}

TEST(AssemblePage, UsesOnlyWholeLinesAndNeverMoreThanAnnounced) {
    TScannedPage page;
    std::string reason;
    // Three lines announced, two and a half sent: two lines.
    ASSERT_TRUE(AssemblePage({Frame(SANE_FRAME_GRAY, 8, 4, 4, 3, std::vector<std::uint8_t>(10, 7))}, 75, page,
                             reason));
    EXPECT_EQ(page.height, 2);
    // One line announced, three sent: one line.
    ASSERT_TRUE(AssemblePage({Frame(SANE_FRAME_GRAY, 8, 4, 4, 1, std::vector<std::uint8_t>(12, 7))}, 75, page,
                             reason));
    EXPECT_EQ(page.height, 1);
    // Length unknown: what came.
    ASSERT_TRUE(AssemblePage({Frame(SANE_FRAME_GRAY, 8, 4, 4, -1, std::vector<std::uint8_t>(12, 7))}, 75,
                             page, reason));
    EXPECT_EQ(page.height, 3);
    // Three-pass frames of different lengths: the shortest.
    const std::vector<TRawFrame> frames = {Frame(SANE_FRAME_RED, 8, 1, 1, -1, {1, 2, 3}, false),
                                           Frame(SANE_FRAME_GREEN, 8, 1, 1, -1, {1, 2}, false),
                                           Frame(SANE_FRAME_BLUE, 8, 1, 1, -1, {1, 2, 3})};
    ASSERT_TRUE(AssemblePage(frames, 75, page, reason));
    EXPECT_EQ(page.height, 2);
}

TEST(AssemblePage, RefusesFramesThatDoNotMakeAPicture) {
    TScannedPage page;
    std::string reason;
    auto refused = [&](const std::vector<TRawFrame>& frames) {
        reason.clear();
        const bool made = AssemblePage(frames, 75, page, reason);
        return !made && !reason.empty() && page.rows.empty();
    };
    EXPECT_TRUE(refused({}));
    EXPECT_TRUE(refused({Frame(SANE_FRAME_GRAY, 8, 4, 4, 1, {})})) << "no lines";
    EXPECT_TRUE(refused({Frame(SANE_FRAME_GRAY, 8, 8, 4, 1, std::vector<std::uint8_t>(8))}))
        << "lines too short";
    EXPECT_TRUE(refused({Frame(SANE_FRAME_RGB, 16, 2, 11, 1, std::vector<std::uint8_t>(12))}))
        << "lines too short";
    EXPECT_TRUE(refused({Frame(SANE_FRAME_GRAY, 4, 2, 1, 1, {0})})) << "depth 4";
    EXPECT_TRUE(refused({Frame(SANE_FRAME_GRAY, 8, 0, 1, 1, {0})})) << "no width";
    EXPECT_TRUE(refused({Frame(SANE_FRAME_GRAY, 8, 2, 0, 1, {0})})) << "no line length";
    EXPECT_TRUE(refused({Frame(SANE_FRAME_RED, 8, 1, 1, 1, {0})})) << "one colour alone";
    EXPECT_TRUE(
        refused({Frame(SANE_FRAME_RED, 8, 1, 1, 1, {0}, false), Frame(SANE_FRAME_RED, 8, 1, 1, 1, {0}, false),
                 Frame(SANE_FRAME_BLUE, 8, 1, 1, 1, {0})}))
        << "red twice";
    EXPECT_TRUE(refused({Frame(SANE_FRAME_RED, 8, 1, 1, 1, {0}, false),
                         Frame(SANE_FRAME_GREEN, 8, 2, 2, 1, {0, 0}, false),
                         Frame(SANE_FRAME_BLUE, 8, 1, 1, 1, {0})}))
        << "widths differ";
    EXPECT_TRUE(refused({Frame(0x0b, 8, 1, 1, 1, {0})})) << "JPEG frames";
}

TEST(AssemblePage, DibAndBmpAreBottomUpBlueGreenRed) {
    TScannedPage page;
    std::string reason;
    ASSERT_TRUE(AssemblePage({Frame(SANE_FRAME_RGB, 8, 1, 3, 2, {1, 2, 3, 4, 5, 6})}, 254, page, reason));
    const std::vector<std::uint8_t> dib = PackedDib(page);
    ASSERT_EQ(dib.size(), 40u + 2 * 4);
    std::int32_t height = 0, pelsPerMeter = 0;
    std::memcpy(&height, dib.data() + 8, 4);
    std::memcpy(&pelsPerMeter, dib.data() + 24, 4);
    EXPECT_EQ(height, 2);
    EXPECT_EQ(pelsPerMeter, 10000);
    const std::uint8_t rows[] = {6, 5, 4, 0, 3, 2, 1, 0}; // the bottom row first, padded to four bytes
    EXPECT_EQ(std::memcmp(dib.data() + 40, rows, sizeof rows), 0);
    const std::vector<std::uint8_t> bmp = BmpFile(page);
    ASSERT_EQ(bmp.size(), 14 + dib.size());
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[10], 54); // pixels right after the header: no colour table
    EXPECT_EQ(std::memcmp(bmp.data() + 14, dib.data(), dib.size()), 0);
}
