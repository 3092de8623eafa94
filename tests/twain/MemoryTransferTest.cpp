// Memory transfers: the rows arrive in buffers and land byte for byte in the bitmap handed out;
// sources that answer with nonsense sizes, too much data or nothing at all are given up on.
#include "TransferFixture.h"

TEST_F(TransferTest, OddWidthsOfEveryDepthArriveByteForByteAcrossSplitRows) {
    struct Case {
        int width, height, bits;
        TW_INT16 type;
    };
    const Case cases[] = {{13, 9, 1, TWPT_BW},
                          {7, 11, 8, TWPT_GRAY},
                          {5, 6, 24, TWPT_RGB},
                          {3, 4, 24, TWPT_RGB},
                          {33, 5, 1, TWPT_BW}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << c.bits);
        acquired_.clear();
        scanner_.Images = {PatternImage(c.width, c.height, c.bits, c.type, unsigned(c.width))};
        const TFakeImage sent = scanner_.Images.front();
        scanner_.Preferred = 64;
        scanner_.Chunk = 5; // buffers end in the middle of rows
        TTwainSource* source = manager_->SourceManagerLoaded() ? manager_->SourceAt(0) : EnableFirstSource();
        ASSERT_NE(source, nullptr);
        source->SetEnabled(true);
        Collect();
        Scan();
        ASSERT_EQ(acquired_.size(), 1u);
        ExpectSame(sent, acquired_[0]);
        EXPECT_FALSE(source->Enabled()) << "the run ends with the source disabled";
    }
    EXPECT_TRUE(errors_.empty());
}

TEST_F(TransferTest, ColourTablesFollowPixelTypeAndFlavor) {
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    Collect();
    auto scanOne = [&](TFakeImage image) {
        acquired_.clear();
        scanner_.Images = {image};
        source->SetEnabled(true);
        Scan();
        EXPECT_EQ(acquired_.size(), 1u);
        return acquired_.empty() ? TColorTable{} : acquired_[0].Colors;
    };
    const TRGBQuad black{0, 0, 0, 0}, white{255, 255, 255, 0};

    // No flavor capability: chocolate, black first.
    EXPECT_EQ(scanOne(PatternImage(8, 2, 1, TWPT_BW)), (TColorTable{black, white}));
    scanner_.Capabilities[ICAP_PIXELFLAVOR] = [] {
        return MakeEnumeration(TWTY_UINT16, {TWPF_VANILLA}, 0, 0);
    };
    EXPECT_EQ(scanOne(PatternImage(8, 2, 1, TWPT_BW)), (TColorTable{white, black}));
    // Flavor not as an enumeration: chocolate again.
    scanner_.CapabilityContainerType = TWON_ONEVALUE;
    scanner_.Capabilities[ICAP_PIXELFLAVOR] = [] { return MakeOneValue(TWTY_UINT16, TWPF_VANILLA); };
    EXPECT_EQ(scanOne(PatternImage(8, 2, 1, TWPT_BW)), (TColorTable{black, white}));

    EXPECT_EQ(scanOne(PatternImage(4, 2, 8, TWPT_GRAY)), GreyRamp());
    // A palette image whose source has no palette gets the grey ramp too.
    EXPECT_EQ(scanOne(PatternImage(4, 2, 8, TWPT_PALETTE)), GreyRamp());
    TW_PALETTE8 palette{};
    palette.NumColors = 3;
    palette.Colors[1] = TW_ELEMENT8{1, 10, 20, 30}; // red, green, blue
    scanner_.Palette = palette;
    const TColorTable colors = scanOne(PatternImage(4, 2, 8, TWPT_PALETTE));
    ASSERT_EQ(colors.size(), 3u);
    EXPECT_EQ(colors[1], (TRGBQuad{30, 20, 10, 0}));
}

TEST_F(TransferTest, ProgressReportsEveryRow) {
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    scanner_.Images = {PatternImage(10, 1000, 8, TWPT_GRAY)};
    scanner_.Preferred = 4096;
    std::vector<int> current;
    manager_->OnAcquireProgress = [&](TObject* sender, int index, HBITMAP image, int now, int total) {
        EXPECT_EQ(sender, source);
        EXPECT_EQ(index, 0);
        EXPECT_EQ(total, 999);
        BITMAP info{};
        EXPECT_EQ(GetObjectA(image, sizeof info, &info), int(sizeof info));
        current.push_back(now);
    };
    Scan();
    ASSERT_EQ(current.size(), 1000u);
    EXPECT_EQ(current.front(), 1);
    EXPECT_EQ(current.back(), 1000);
}

TEST_F(TransferTest, FailedImageInfoIsReportedAndTheTransferEnded) {
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    scanner_.ImageInfoResult = TWRC_FAILURE;
    scanner_.ConditionCode = TWCC_OPERATIONERROR;
    scanner_.Images = {PatternImage(4, 2, 8, TWPT_GRAY)};
    Collect();
    const std::size_t before = CallCount();
    Scan();
    EXPECT_EQ(errors_, (std::vector<std::pair<int, int>>{{TWRC_FAILURE, TWCC_OPERATIONERROR}}));
    EXPECT_EQ(CountOf("CONTROL/SETUPMEMXFER/GET", before), 0u);
    EXPECT_EQ(CountOf("CONTROL/PENDINGXFERS/ENDXFER", before), 1u);
}

TEST_F(TransferTest, NoBufferSizeFailsBeforeAnythingIsMade) {
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    Collect();
    for (int variant = 0; variant < 2; ++variant) {
        scanner_.Preferred = variant == 0 ? 0 : 4096;
        scanner_.SetupResult = variant == 0 ? TWRC_SUCCESS : TWRC_FAILURE;
        scanner_.Images = {PatternImage(4, 2, 8, TWPT_GRAY)};
        errors_.clear();
        source->SetEnabled(true);
        const std::size_t before = CallCount();
        Scan();
        EXPECT_EQ(errors_.size(), 1u);
        EXPECT_EQ(errors_.empty() ? 0 : errors_[0].first, TWRC_FAILURE);
        EXPECT_EQ(CountOf("IMAGE/IMAGEMEMXFER/GET", before), 0u);
        EXPECT_EQ(CountOf("CONTROL/CAPABILITY/GET", before), 0u) << "nothing prepared";
        EXPECT_EQ(CountOf("CONTROL/PENDINGXFERS/ENDXFER", before), 1u);
    }
    EXPECT_TRUE(acquired_.empty());
}

TEST_F(TransferTest, FailedSecondSetupRequestsNoData) {
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    scanner_.SecondSetupResult = TWRC_FAILURE;
    scanner_.Images = {PatternImage(4, 2, 8, TWPT_GRAY)};
    Collect();
    const std::size_t before = CallCount();
    Scan();
    EXPECT_EQ(CountOf("IMAGE/IMAGEMEMXFER/GET", before), 0u);
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0].first, TWRC_FAILURE);

    // A zero buffer size on the second request cannot be used either.
    scanner_.SecondSetupResult.reset();
    scanner_.SecondPreferred = 0;
    scanner_.Images = {PatternImage(4, 2, 8, TWPT_GRAY)};
    source->SetEnabled(true);
    Scan();
    EXPECT_EQ(CountOf("IMAGE/IMAGEMEMXFER/GET", before), 0u);
    EXPECT_EQ(errors_.size(), 2u);
}

TEST_F(TransferTest, RowsBeyondTheLastAreDropped) {
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    TFakeImage image = PatternImage(7, 10, 24, TWPT_RGB);
    const TFakeImage announced = image;
    image.Info.ImageLength = 4; // announces 4 rows, sends 10
    scanner_.Images = {image};
    scanner_.Chunk = 9;
    Collect();
    Scan();
    ASSERT_EQ(acquired_.size(), 1u);
    ASSERT_EQ(acquired_[0].Height, 4);
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(acquired_[0].Rows[std::size_t(y)], ExpectedRow(announced, y));
    EXPECT_TRUE(errors_.empty());
}

TEST_F(TransferTest, OpenLengthAndNonsenseSizesFailCleanly) {
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    Collect();
    auto failing = [&](TW_INT32 width, TW_INT32 length, TW_INT16 bits) {
        TFakeImage image = PatternImage(4, 4, 8, TWPT_GRAY);
        image.Info.ImageWidth = width;
        image.Info.ImageLength = length;
        image.Info.BitsPerPixel = bits;
        scanner_.Images = {image};
        errors_.clear();
        source->SetEnabled(true);
        const std::size_t before = CallCount();
        Scan();
        EXPECT_EQ(errors_.size(), 1u);
        EXPECT_EQ(CountOf("IMAGE/IMAGEMEMXFER/GET", before), 0u);
    };
    failing(4, -1, 8);                // length not known in advance
    failing(0, 4, 8);                 // no width
    failing(4, 4, 16);                // a depth no bitmap of ours holds
    failing(4, 4, 0);                 // no depth
    failing(2000000000, 2000000, 24); // far too large
    EXPECT_TRUE(acquired_.empty());
}

TEST_F(TransferTest, SourceClaimingMoreThanTheBufferHolds) {
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    scanner_.Images = {PatternImage(6, 5, 8, TWPT_GRAY)};
    const TFakeImage sent = scanner_.Images.front();
    scanner_.Preferred = 16;
    scanner_.Chunk = 16;
    scanner_.ClaimedExtra = 1u << 20;
    Collect();
    Scan();
    // Whatever lands in the bitmap comes from our own buffer; nothing is read or written beyond it.
    ASSERT_EQ(acquired_.size(), 1u);
    EXPECT_EQ(acquired_[0].Rows[0], ExpectedRow(sent, 0));
}

TEST_F(TransferTest, SourceThatNeverFinishesIsGivenUpOn) {
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    TFakeImage image = PatternImage(4, 1, 8, TWPT_GRAY);
    image.Info.ImageLength = 1;
    image.Data.resize(1u << 16); // far more than one row, in 1-byte buffers
    scanner_.Images = {image};
    scanner_.Chunk = 1;
    Collect();
    Scan();
    EXPECT_TRUE(acquired_.empty());
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0].first, TWRC_FAILURE);
}

TEST_F(TransferTest, SourceAnsweringWithEmptyBuffersIsGivenUpOn) {
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    scanner_.Images = {PatternImage(40, 10, 8, TWPT_GRAY)};
    scanner_.StallAfter = 100;
    Collect();
    const std::size_t before = CallCount();
    Scan();
    EXPECT_TRUE(acquired_.empty());
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0].first, TWRC_FAILURE);
    EXPECT_EQ(CountOf("CONTROL/PENDINGXFERS/ENDXFER", before), 1u);
}

TEST_F(TransferTest, A4GreyPageInBuffersOf64K) {
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    scanner_.Images = {PatternImage(2480, 3508, 8, TWPT_GRAY)};
    const TFakeImage sent = scanner_.Images.front();
    scanner_.Preferred = 65536;
    Collect();
    const std::size_t before = CallCount();
    Scan();
    ASSERT_EQ(acquired_.size(), 1u);
    ExpectSame(sent, acquired_[0]);
    const std::size_t buffers = CountOf("IMAGE/IMAGEMEMXFER/GET", before);
    EXPECT_EQ(buffers, 133u); // 2480 x 3508 bytes in whole blocks of 65536, plus a part
    for (std::size_t i = before; i < CallCount(); ++i)
        if (Calls()[i].DAT == DAT_IMAGEMEMXFER) {
            EXPECT_EQ(Calls()[i].MemoryLength, 65536u);
            EXPECT_EQ(Calls()[i].MemoryFlags, TWMF_APPOWNS | TWMF_POINTER);
            EXPECT_EQ(Calls()[i].BytesWrittenIn, 0u);
        }
}

TEST_F(TransferTest, TheSourceWritesStraightIntoThePictureHandedOut) {
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    scanner_.Images = {PatternImage(1001, 300, 24, TWPT_RGB)};
    const TFakeImage sent = scanner_.Images.front();
    scanner_.Preferred = 3004 * 7; // seven rows of 3003 bytes padded to 3004
    Collect();
    const std::uint8_t* first = nullptr;
    std::ptrdiff_t stride = 0;
    auto collect = manager_->OnTwainAcquire;
    manager_->OnTwainAcquire = [&](TObject* sender, int index, TBitmap* image, bool& cancel) {
        first = image->ConstScanLine(0);
        stride = image->RowStride();
        collect(sender, index, image, cancel);
    };
    const std::size_t before = CallCount();
    Scan();
    ASSERT_EQ(acquired_.size(), 1u);
    ExpectSame(sent, acquired_[0]);
    EXPECT_EQ(stride, 3004) << "rows top-down, in the order they arrive";
    // 300 rows are 42 whole buffers straight into the picture, then 6 rows through one of our own.
    std::vector<const void*> buffers;
    for (std::size_t i = before; i < CallCount(); ++i)
        if (Calls()[i].DAT == DAT_IMAGEMEMXFER)
            buffers.push_back(Calls()[i].Memory);
    ASSERT_EQ(buffers.size(), 43u);
    for (std::size_t k = 0; k < 42; ++k)
        EXPECT_EQ(buffers[k], first + std::ptrdiff_t(k) * scanner_.Preferred) << "buffer " << k;
    const auto* last = static_cast<const std::uint8_t*>(buffers[42]);
    EXPECT_TRUE(last < first || last >= first + 300 * stride);
}
