// Image transfers: the transfer loop, memory transfers row by row into a bitmap, native and file
// transfers, and sources that misbehave.
#include "TwainFixture.h"
#include <algorithm>

#include "Bitmap.h"
#include "Gdi.h"
#include "GlobalMemory.h"

#include <cstring>

namespace {

struct TAcquired {
    int Index = -1;
    int Width = 0;
    int Height = 0;
    TPixelFormat Format = TPixelFormat::pf24bit;
    TColorTable Colors;
    std::vector<std::vector<std::uint8_t>> Rows;
};

// What the bitmap must hold: the rows as sent, red and blue swapped for RGB pixels.
std::vector<std::uint8_t> ExpectedRow(const TFakeImage& image, int row) {
    const std::size_t rowBytes = RowBytesOf(image.Info.ImageWidth, image.Info.BitsPerPixel);
    std::vector<std::uint8_t> expected(image.Data.begin() + std::ptrdiff_t(row * rowBytes),
                                       image.Data.begin() + std::ptrdiff_t((row + 1) * rowBytes));
    if (image.Info.PixelType == TWPT_RGB)
        for (int x = 0; x < image.Info.ImageWidth; ++x)
            std::swap(expected[std::size_t(3 * x)], expected[std::size_t(3 * x + 2)]);
    return expected;
}

TColorTable GreyRamp() {
    TColorTable ramp;
    for (int i = 0; i < 256; ++i)
        ramp.push_back(TRGBQuad{std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0});
    return ramp;
}

} // namespace

class TransferTest : public TwainTest {
protected:
    // Collects every image handed out, and every error and cancel raised.
    void Collect(bool cancelOnFirst = false) {
        manager_->OnTwainAcquire = [this, cancelOnFirst](TObject* sender, int index, TBitmap* image,
                                                         bool& cancel) {
            EXPECT_EQ(sender, manager_.get());
            TAcquired a;
            a.Index = index;
            a.Width = image->Width();
            a.Height = image->Height();
            a.Format = image->PixelFormat();
            a.Colors = image->ColorTable();
            const std::size_t rowBytes = RowBytesOf(a.Width, BitsPerPixel(a.Format));
            for (int y = 0; y < a.Height; ++y) {
                const std::uint8_t* row = image->ScanLine(y);
                a.Rows.emplace_back(row, row + rowBytes);
            }
            acquired_.push_back(std::move(a));
            if (cancelOnFirst)
                cancel = true;
        };
        manager_->OnAcquireError = [this](TObject* sender, int, int code, int additional) {
            EXPECT_EQ(sender, manager_.get());
            errors_.push_back({code, additional});
        };
        manager_->OnAcquireCancel = [this](TObject*, int) { ++cancels_; };
        manager_->OnSourceDisable = [this](TObject*, int) { ++disables_; };
    }

    // The source reports an image ready and the posted message is handled.
    void Scan() {
        scanner_.Post(MSG_XFERREADY);
        DeliverPosted();
    }

    void ExpectSame(const TFakeImage& sent, const TAcquired& got) {
        ASSERT_EQ(got.Width, sent.Info.ImageWidth);
        ASSERT_EQ(got.Height, sent.Info.ImageLength);
        ASSERT_EQ(BitsPerPixel(got.Format), sent.Info.BitsPerPixel);
        for (int y = 0; y < got.Height; ++y)
            ASSERT_EQ(got.Rows[std::size_t(y)], ExpectedRow(sent, y)) << "row " << y;
    }

    std::vector<TAcquired> acquired_;
    std::vector<std::pair<int, int>> errors_;
    int cancels_ = 0;
    int disables_ = 0;
};

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

TEST_F(TransferTest, CancelAndCloseFromInsideTheHandlerInThisOrder) {
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    scanner_.Images = {PatternImage(16, 3, 1, TWPT_BW)};
    scanner_.Preferred = 16;
    scanner_.Capabilities[ICAP_UNITS] = [] { return MakeEnumeration(TWTY_UINT16, {TWUN_INCHES}, 0, 0); };
    std::size_t atHandler = 0, afterHandler = 0;
    manager_->OnTwainAcquire = [&](TObject*, int, TBitmap*, bool& cancel) {
        atHandler = CallCount();
        cancel = true;
        source->SetEnabled(false);
        source->SetLoaded(false);
        afterHandler = CallCount();
    };
    const std::size_t before = CallCount();
    Scan();
    // Three rows of 4 bytes arrive in buffers of up to 16 bytes.
    const std::size_t buffers = (RowBytesOf(16, 1) * 3 + 15) / 16;
    std::vector<std::string> want = {
        "CONTROL/EVENT/PROCESSEVENT", "IMAGE/IMAGEINFO/GET", "CONTROL/SETUPMEMXFER/GET",
        "CONTROL/CAPABILITY/GET", // ICAP_UNITS
        "CONTROL/CAPABILITY/GET", // ICAP_PIXELFLAVOR, which this source does not support...
        "CONTROL/STATUS/GET",     // ...so the condition code is asked for
        "CONTROL/SETUPMEMXFER/GET",
    };
    want.insert(want.end(), buffers, "IMAGE/IMAGEMEMXFER/GET");
    want.insert(want.end(),
                {
                    "CONTROL/USERINTERFACE/DISABLEDS", // Enabled := False, refused while transferring
                    "CONTROL/USERINTERFACE/DISABLEDS", // Loaded := False disables first...
                    "CONTROL/IDENTITY/CLOSEDS",        // ...and the close is refused too
                    "CONTROL/PENDINGXFERS/ENDXFER",    // fails: the run ends, nothing more is sent
                });
    EXPECT_EQ(CallNames(before), want);
    EXPECT_EQ(Calls()[before + 3].Cap, ICAP_UNITS);
    EXPECT_EQ(Calls()[before + 4].Cap, ICAP_PIXELFLAVOR);
    EXPECT_EQ(atHandler - before, 7 + buffers);
    EXPECT_EQ(afterHandler - atHandler, 3u);
    EXPECT_FALSE(source->Loaded());
    // MSG_ENDXFER went to the same source and was answered in the state the source was left in.
    EXPECT_EQ(Calls().back().DestinationName, "Scanner A");
}

TEST_F(TransferTest, ASourceClosedFromItsOwnTransferShowsItsWindowWhenOpenedAgain) {
    // The handler's disable and close are refused while the source transfers; opening it again
    // still gives a source that is not enabled, so enabling it sends MSG_ENABLEDS and its window shows.
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    scanner_.Images = {PatternImage(8, 2, 8, TWPT_GRAY)};
    scanner_.Preferred = 64;
    manager_->OnTwainAcquire = [&](TObject*, int, TBitmap*, bool& cancel) {
        cancel = true;
        source->SetEnabled(false);
        source->SetLoaded(false);
    };
    Scan();
    ASSERT_FALSE(source->Loaded());
    const std::size_t before = CallCount();
    source->SetLoaded(true);
    source->SetEnabled(true);
    EXPECT_TRUE(source->Loaded());
    EXPECT_TRUE(source->Enabled());
    const std::vector<std::string> calls = CallNames(before);
    EXPECT_NE(std::find(calls.begin(), calls.end(), "CONTROL/USERINTERFACE/ENABLEDS"), calls.end());
}

TEST_F(TransferTest, ThreePendingAndCancelOnTheFirst) {
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    scanner_.Images = {PatternImage(4, 2, 8, TWPT_GRAY, 1), PatternImage(4, 2, 8, TWPT_GRAY, 2),
                       PatternImage(4, 2, 8, TWPT_GRAY, 3)};
    Collect(true);
    const std::size_t before = CallCount();
    Scan();
    EXPECT_EQ(acquired_.size(), 1u);
    std::vector<std::string> tail = CallNames(before);
    tail.erase(tail.begin(), tail.end() - 3);
    EXPECT_EQ(tail, (std::vector<std::string>{"CONTROL/PENDINGXFERS/ENDXFER", "CONTROL/PENDINGXFERS/RESET",
                                              "CONTROL/USERINTERFACE/DISABLEDS"}));
    EXPECT_EQ(Calls()[CallCount() - 3].PendingCount, 2);
    EXPECT_FALSE(source->Enabled());
    EXPECT_EQ(disables_, 1);
}

TEST_F(TransferTest, ThreePendingWithoutCancelAreAllDelivered) {
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    scanner_.Images = {PatternImage(4, 2, 8, TWPT_GRAY, 1), PatternImage(5, 3, 24, TWPT_RGB, 2),
                       PatternImage(9, 1, 1, TWPT_BW, 3)};
    const std::deque<TFakeImage> sent = scanner_.Images;
    Collect();
    const std::size_t before = CallCount();
    Scan();
    ASSERT_EQ(acquired_.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        ExpectSame(sent[i], acquired_[i]);
    EXPECT_EQ(CountOf("CONTROL/PENDINGXFERS/ENDXFER", before), 3u);
    EXPECT_EQ(CountOf("CONTROL/PENDINGXFERS/RESET", before), 0u);
    EXPECT_EQ(Calls()[CallCount() - 2].PendingCount, 0);
    EXPECT_EQ(CountOf("CONTROL/USERINTERFACE/DISABLEDS", before), 1u);
    EXPECT_EQ(disables_, 1);
}

TEST_F(TransferTest, UnknownPendingCountKeepsTheRunGoing) {
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    scanner_.Images = {PatternImage(4, 2, 8, TWPT_GRAY, 1), PatternImage(4, 2, 8, TWPT_GRAY, 2)};
    scanner_.PendingCountOverride = TW_UINT16(-1);
    Collect();
    Scan();
    EXPECT_EQ(acquired_.size(), 2u);
}

TEST_F(TransferTest, WithoutHandlerImagesAreDiscardedAndTheSourceDisabled) {
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    scanner_.Images = {PatternImage(4, 2, 8, TWPT_GRAY, 1), PatternImage(4, 2, 8, TWPT_GRAY, 2)};
    const std::size_t before = CallCount();
    Scan();
    EXPECT_EQ(CountOf("IMAGE/IMAGEINFO/GET", before), 2u);
    EXPECT_TRUE(scanner_.Images.empty());
    EXPECT_FALSE(source->Enabled());
    EXPECT_TRUE(source->Loaded());
}

TEST_F(TransferTest, CloseRequestCancelsAndDisablesButLeavesTheSourceOpen) {
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    Collect();
    scanner_.Post(MSG_CLOSEDSREQ);
    DeliverPosted();
    EXPECT_EQ(cancels_, 1);
    EXPECT_EQ(disables_, 1);
    EXPECT_FALSE(source->Enabled());
    EXPECT_TRUE(source->Loaded());
}

TEST_F(TransferTest, EventsSentWhileEnablingReachTheSource) {
    scanner_.SendReadyOnEnable = true;
    scanner_.Images = {PatternImage(4, 2, 8, TWPT_GRAY)};
    Collect();
    OpenManager();
    TTwainSource* source = manager_->SourceAt(0);
    source->SetLoaded(true);
    source->SetEnabled(true);
    EXPECT_EQ(acquired_.size(), 1u);
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

TEST_F(TransferTest, SourceThatAlwaysHasAnotherFailingImageIsLeft) {
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    scanner_.Images = {PatternImage(4, 2, 8, TWPT_GRAY)};
    scanner_.EndlessImages = true;
    scanner_.ImageInfoResult = TWRC_FAILURE;
    Collect();
    Scan();
    EXPECT_EQ(errors_.size(), 100u) << "the run was given up";
    // What the source still claims to have is dropped, and it is disabled like after any run.
    const std::vector<std::string> names = CallNames();
    const std::vector<std::string> last(names.end() - 3, names.end());
    EXPECT_EQ(last, (std::vector<std::string>{"CONTROL/PENDINGXFERS/ENDXFER", "CONTROL/PENDINGXFERS/RESET",
                                              "CONTROL/USERINTERFACE/DISABLEDS"}));
    EXPECT_FALSE(source->Enabled());
    EXPECT_EQ(scanner_.State, 4);

    // Failures between good images do not add up.
    scanner_.ImageInfoResult.reset();
    scanner_.EndlessImages = false;
    scanner_.Images.clear();
    for (int i = 0; i < 150; ++i) {
        TFakeImage image = PatternImage(4, 2, 8, TWPT_GRAY);
        if (i % 2 == 0)
            image.FinalCode = TWRC_FAILURE;
        scanner_.Images.push_back(image);
    }
    errors_.clear();
    source->SetEnabled(true);
    Scan();
    EXPECT_EQ(errors_.size(), 75u);
    EXPECT_EQ(acquired_.size(), 75u);
}

// A cancelled transfer still leaves the transferring state: MSG_ENDXFER follows it (and MSG_RESET drops
// the images after it), so the source is disabled at the end of the run and scans again when enabled.
TEST_F(TransferTest, CancelledTransferEndsTheRunAndTheNextScanWorks) {
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    TFakeImage cancelled = PatternImage(4, 2, 8, TWPT_GRAY);
    cancelled.FinalCode = TWRC_CANCEL;
    scanner_.Images = {cancelled};
    Collect();
    std::size_t before = CallCount();
    Scan();
    EXPECT_EQ(cancels_, 1);
    EXPECT_TRUE(acquired_.empty());
    EXPECT_TRUE(errors_.empty());
    EXPECT_EQ(CountOf("CONTROL/PENDINGXFERS/ENDXFER", before), 1u);
    EXPECT_EQ(CountOf("CONTROL/PENDINGXFERS/RESET", before), 0u) << "nothing was left pending";
    EXPECT_EQ(Calls().back().Name(), "CONTROL/USERINTERFACE/DISABLEDS");
    EXPECT_EQ(Calls().back().Result, TWRC_SUCCESS);
    EXPECT_FALSE(source->Enabled());

    // Cancelled with two more images pending: they are dropped, none is transferred.
    scanner_.Images = {cancelled, PatternImage(4, 2, 8, TWPT_GRAY), PatternImage(4, 2, 8, TWPT_GRAY)};
    source->SetEnabled(true);
    before = CallCount();
    Scan();
    EXPECT_EQ(cancels_, 2);
    EXPECT_TRUE(acquired_.empty());
    EXPECT_EQ(CallNames(before).back(), "CONTROL/USERINTERFACE/DISABLEDS");
    EXPECT_EQ(CountOf("CONTROL/PENDINGXFERS/RESET", before), 1u);
    EXPECT_EQ(CountOf("IMAGE/IMAGEINFO/GET", before), 1u);
    EXPECT_EQ(scanner_.State, 4);

    // The next scan, as "Следующий" starts it, works.
    const TFakeImage next = PatternImage(5, 3, 8, TWPT_GRAY, 9);
    scanner_.Images = {next};
    source->SetEnabled(true);
    ASSERT_TRUE(source->Enabled());
    Scan();
    ASSERT_EQ(acquired_.size(), 1u);
    ExpectSame(next, acquired_[0]);
    EXPECT_FALSE(source->Enabled());

    // A failed transfer goes on with MSG_ENDXFER as before.
    TFakeImage failing = PatternImage(4, 2, 8, TWPT_GRAY);
    failing.FinalCode = TWRC_FAILURE;
    scanner_.Images = {failing};
    source->SetEnabled(true);
    before = CallCount();
    Scan();
    EXPECT_EQ(errors_.size(), 1u);
    EXPECT_EQ(CountOf("CONTROL/PENDINGXFERS/ENDXFER", before), 1u);
    EXPECT_FALSE(source->Enabled());
}

// A source that is still making the next image (a feeder scanning its next sheet) says so; the run then
// waits for its next MSG_XFERREADY instead of failing the image or disabling the source.
TEST_F(TransferTest, ImageNotReadyYetIsWaitedFor) {
    for (TTwainTransferMode mode : {ttmMemory, ttmNative}) {
        SCOPED_TRACE(int(mode));
        TTwainSource* source = manager_->SourceManagerLoaded() ? manager_->SourceAt(0) : EnableFirstSource();
        ASSERT_NE(source, nullptr);
        source->SetEnabled(true);
        source->SetTransferMode(mode);
        const TFakeImage first = PatternImage(4, 3, 8, TWPT_GRAY, 1);
        const TFakeImage second = PatternImage(4, 3, 8, TWPT_GRAY, 2);
        scanner_.Images = {first, second};
        acquired_.clear();
        Collect();
        auto acquire = manager_->OnTwainAcquire;
        manager_->OnTwainAcquire = [&, acquire](TObject* sender, int index, TBitmap* image, bool& cancel) {
            acquire(sender, index, image, cancel);
            // The next sheet is not scanned yet.
            if (mode == ttmMemory)
                scanner_.ImageInfoResult = TWRC_DATANOTAVAILABLE;
            else
                scanner_.NativeResult = TWRC_DATANOTAVAILABLE;
        };
        std::size_t before = CallCount();
        Scan();
        ASSERT_EQ(acquired_.size(), 1u);
        EXPECT_TRUE(errors_.empty());
        EXPECT_TRUE(source->Enabled());
        EXPECT_EQ(CountOf("CONTROL/USERINTERFACE/DISABLEDS", before), 0u);
        EXPECT_EQ(CountOf("CONTROL/PENDINGXFERS/ENDXFER", before), 1u) << "only the first image's";

        // The sheet is there: the source announces it and the run goes on.
        scanner_.ImageInfoResult.reset();
        scanner_.NativeResult.reset();
        before = CallCount();
        Scan();
        ASSERT_EQ(acquired_.size(), 2u);
        EXPECT_TRUE(errors_.empty());
        EXPECT_EQ(acquired_[1].Width, 4);
        if (mode == ttmMemory)
            ExpectSame(second, acquired_[1]);
        EXPECT_FALSE(source->Enabled());
        EXPECT_EQ(CountOf("CONTROL/USERINTERFACE/DISABLEDS", before), 1u);
    }
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

TEST_F(TransferTest, HandlerClosingTheManagerLeavesNothingDangling) {
    for (int unload = 0; unload < 2; ++unload) {
        SCOPED_TRACE(unload ? "library unloaded" : "manager closed");
        manager_ = std::make_unique<TTwainManager>();
        scanner_.Sources = {"One", "Two"};
        TTwainSource* source = EnableFirstSource();
        ASSERT_NE(source, nullptr);
        scanner_.Images = {PatternImage(4, 2, 8, TWPT_GRAY, 1), PatternImage(4, 2, 8, TWPT_GRAY, 2)};
        int events = 0;
        manager_->OnTwainAcquire = [&](TObject*, int, TBitmap* image, bool&) {
            ++events;
            EXPECT_EQ(image->Height(), 2);
            if (unload)
                manager_->SetLibraryLoaded(false);
            else
                manager_->SetSourceManagerLoaded(false);
        };
        manager_->OnAcquireProgress = [](TObject*, int, HBITMAP, int, int) {};
        Scan();
        EXPECT_EQ(events, 1);
        EXPECT_EQ(manager_->SourceCount(), 0);
        EXPECT_EQ(manager_->LibraryLoaded(), unload == 0);
        DeliverPosted();
    }
}

TEST_F(TransferTest, NativeTransferHandsOverAScreenBitmap) {
    scanner_.Images = {PatternImage(5, 3, 8, TWPT_GRAY)};
    const TFakeImage sent = scanner_.Images.front();
    manager_->SetTransferMode(ttmNative);
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    Collect();
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
    manager_->SetTransferMode(ttmNative);
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    Collect();
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
    manager_->SetTransferMode(ttmNative);
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    Collect();
    Scan();
    ASSERT_EQ(acquired_.size(), 1u);
    EXPECT_EQ(acquired_[0].Rows[0][0], 150) << "top row blue";
    EXPECT_EQ(acquired_[0].Rows[1][2], 200) << "bottom row red";
}

TEST_F(TransferTest, NativeTransferOfNothingUsable) {
    manager_->SetTransferMode(ttmNative);
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    Collect();
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

TEST_F(TransferTest, FileTransferReportsNameAndFormat) {
    scanner_.Images = {PatternImage(5, 3, 8, TWPT_GRAY), PatternImage(5, 3, 8, TWPT_GRAY)};
    scanner_.FileName = "/tmp/page.bmp";
    scanner_.FileFormat = TWFF_BMP;
    manager_->SetTransferMode(ttmFile);
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    std::vector<std::string> events;
    manager_->OnSourceSetupFileXfer = [&](TObject* sender, int) {
        EXPECT_EQ(sender, manager_.get());
        events.push_back("setup");
    };
    manager_->OnSourceFileTransfer = [&](TObject* sender, int, TW_STR255& name, TTwainFormat format,
                                         bool& cancel) {
        EXPECT_EQ(sender, source);
        events.push_back(std::string(name) + " " + std::to_string(int(format)));
        cancel = true;
    };
    const std::size_t before = CallCount();
    Scan();
    EXPECT_EQ(events, (std::vector<std::string>{"setup", "/tmp/page.bmp 2"}));
    EXPECT_EQ(CountOf("IMAGE/IMAGEFILEXFER/GET", before), 1u);
    EXPECT_EQ(CountOf("CONTROL/PENDINGXFERS/RESET", before), 1u);

    scanner_.FileFormat = 77;
    scanner_.Images = {PatternImage(5, 3, 8, TWPT_GRAY)};
    source->SetEnabled(true);
    Scan();
    EXPECT_EQ(events.back(), "/tmp/page.bmp " + std::to_string(int(fmOther)));
}
