// Native transfers: the block the source hands over becomes a bitmap, or an error when it cannot.
#include "TransferFixture.h"

TEST_F(TransferTest, NativeTransferHandsOverAScreenBitmap) {
    scanner_.Images = {PatternImage(5, 3, 8, TWPT_GRAY)};
    const TFakeImage sent = scanner_.Images.front();
    TTwainSource* source = EnableForNativeTransfers();
    ASSERT_NE(source, nullptr);
    Scan();
    ASSERT_EQ(acquired_.size(), 1u);
    const TAcquired& got = acquired_[0];
    EXPECT_EQ(got.Format, TPixelFormat::pf32bit);
    ASSERT_EQ(got.Height, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const std::uint8_t level = sent.Data[std::size_t(y) * RowBytesOf(5, 8) + std::size_t(x)];
            EXPECT_EQ(got.Rows[std::size_t(y)][std::size_t(4 * x)], level);
            EXPECT_EQ(got.Rows[std::size_t(y)][std::size_t(4 * x + 2)], level);
        }
}

TEST_F(TransferTest, NativeTransferOfAnUnreadableImageIsAnError) {
    TFakeImage image = PatternImage(5, 3, 8, TWPT_GRAY);
    image.Info.BitsPerPixel = 24; // the block is three times too small for what the header claims
    image.Data.resize(RowBytesOf(5, 8) * 3);
    scanner_.Images = {image};
    TTwainSource* source = EnableForNativeTransfers();
    ASSERT_NE(source, nullptr);
    Scan();
    EXPECT_TRUE(acquired_.empty());
    ASSERT_EQ(errors_.size(), 1u);

    scanner_.NativeResult = TWRC_CANCEL;
    scanner_.Images = {PatternImage(5, 3, 8, TWPT_GRAY)};
    source->SetEnabled(true);
    Scan();
    EXPECT_EQ(cancels_, 1);
}

TEST_F(TransferTest, NativeTransferReadsTheOldCoreHeader) {
    // A 2 x 2 DIB of 8 bits with a 12-byte header and 3-byte colour entries, bottom row first.
    scanner_.NativeBlock = [] {
        const std::size_t size = sizeof(BITMAPCOREHEADER) + 256 * sizeof(RGBTRIPLE) + 2 * 4;
        HGLOBAL block = GlobalAlloc(GHND, size);
        auto* data = static_cast<std::uint8_t*>(GlobalLock(block));
        const BITMAPCOREHEADER header{sizeof(BITMAPCOREHEADER), 2, 2, 1, 8};
        std::memcpy(data, &header, sizeof header);
        const RGBTRIPLE red{0, 0, 200}, blue{150, 0, 0};
        std::memcpy(data + sizeof header + 1 * 3, &red, 3);
        std::memcpy(data + sizeof header + 2 * 3, &blue, 3);
        std::uint8_t* bits = data + sizeof header + 256 * 3;
        const std::uint8_t rows[8] = {1, 1, 0, 0, 2, 2, 0, 0}; // bottom row red, top row blue
        std::memcpy(bits, rows, sizeof rows);
        GlobalUnlock(block);
        return block;
    };
    scanner_.Images = {PatternImage(2, 2, 8, TWPT_GRAY)};
    TTwainSource* source = EnableForNativeTransfers();
    ASSERT_NE(source, nullptr);
    Scan();
    ASSERT_EQ(acquired_.size(), 1u);
    EXPECT_EQ(acquired_[0].Rows[0][0], 150) << "top row blue";
    EXPECT_EQ(acquired_[0].Rows[1][2], 200) << "bottom row red";
}

TEST_F(TransferTest, NativeTransferOfNothingUsable) {
    TTwainSource* source = EnableForNativeTransfers();
    ASSERT_NE(source, nullptr);
    int local = 0;
    const std::function<HGLOBAL()> blocks[] = {
        [] { return HGLOBAL(nullptr); },
        [&] { return reinterpret_cast<HGLOBAL>(&local); }, // not a block at all
        [] { return GlobalAlloc(GHND, 3); },               // too small for a header
        [] {
            HGLOBAL block = GlobalAlloc(GHND, 64);
            BITMAPINFOHEADER header{};
            header.biSize = 40;
            header.biWidth = 4;
            header.biHeight = 4;
            header.biBitCount = 8;
            header.biClrUsed = 1000000; // more colours than the block holds
            std::memcpy(GlobalLock(block), &header, sizeof header);
            GlobalUnlock(block);
            return block;
        },
    };
    for (const auto& block : blocks) {
        scanner_.NativeBlock = block;
        scanner_.Images = {PatternImage(2, 2, 8, TWPT_GRAY)};
        source->SetEnabled(true);
        Scan();
    }
    EXPECT_TRUE(acquired_.empty());
    EXPECT_EQ(errors_.size(), 4u);
}
