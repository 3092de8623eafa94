// One source: opening, enabling, disabling, closing, the condition code, and the transfer loop (the
// pending count, cancels and closes from inside the handlers, file transfers).
#include "TransferFixture.h"

#include "GlobalMemory.h"
#include "Window.h"

#include <cstring>
#include <stdexcept>

TEST_F(TwainTest, EnableNeedsAnOpenSource) {
    OpenManager();
    TTwainSource* source = manager_->SourceAt(0);
    const std::size_t before = CallCount();
    source->SetEnabled(true);
    EXPECT_FALSE(source->Enabled());
    EXPECT_EQ(CallCount(), before);
    EXPECT_FALSE(source->EnableDS(true, true));
}

TEST_F(TwainTest, OpenEnableDisableClose) {
    OpenManager();
    TTwainSource* source = manager_->SourceAt(0);
    std::vector<int> disabled;
    manager_->OnSourceDisable = [&](TObject* sender, int index) {
        EXPECT_EQ(sender, manager_.get());
        disabled.push_back(index);
    };
    const std::size_t before = CallCount();
    source->SetLoaded(true);
    EXPECT_TRUE(source->Loaded());
    EXPECT_EQ(manager_->OpenedSourceCount(), 1);
    source->SetModal(false);
    source->SetEnabled(true);
    EXPECT_TRUE(source->Enabled());
    source->SetLoaded(false);
    EXPECT_FALSE(source->Loaded());
    EXPECT_FALSE(source->Enabled());
    EXPECT_EQ(manager_->OpenedSourceCount(), 0);
    EXPECT_EQ(disabled, std::vector<int>{0});
    ASSERT_EQ(CallNames(before),
              (std::vector<std::string>{"CONTROL/IDENTITY/OPENDS", "CONTROL/USERINTERFACE/ENABLEDS",
                                        "CONTROL/USERINTERFACE/DISABLEDS", "CONTROL/IDENTITY/CLOSEDS"}));
    const TFakeCall& enable = Calls()[before + 1];
    EXPECT_EQ(enable.ShowUI, TW_BOOL(-1));
    EXPECT_EQ(enable.ModalUI, 0);
    EXPECT_EQ(enable.Parent, manager_->VirtualWindow());
    EXPECT_EQ(enable.DestinationName, "Scanner A");
    EXPECT_FALSE(Calls()[before].HasDestination) << "MSG_OPENDS goes to the manager";
    const TFakeCall& disable = Calls()[before + 2];
    EXPECT_EQ(disable.ShowUI, enable.ShowUI) << "disabled with the record it was enabled with";
    EXPECT_EQ(disable.ModalUI, enable.ModalUI);
    EXPECT_EQ(disable.Parent, enable.Parent);
}

TEST_F(TwainTest, CheckStatusCountsAsEnabled) {
    scanner_.EnableResult = TWRC_CHECKSTATUS;
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    EXPECT_TRUE(source->Enabled());
}

TEST_F(TwainTest, FailedEnableForgetsTheMarkSoTheNextEnableAsksAgain) {
    scanner_.EnableResult = TWRC_FAILURE;
    OpenManager();
    TTwainSource* source = manager_->SourceAt(0);
    source->SetLoaded(true);
    EXPECT_FALSE(source->EnableDS(true, true));
    EXPECT_FALSE(source->Enabled());
    scanner_.EnableResult = TWRC_SUCCESS;
    source->SetEnabled(true);
    EXPECT_TRUE(source->Enabled());
    EXPECT_EQ(CountOf("CONTROL/USERINTERFACE/ENABLEDS"), 2u);
    // And closing after a failed enable does not disable a source that never was enabled.
    source->SetEnabled(false);
    scanner_.EnableResult = TWRC_FAILURE;
    const std::size_t before = CallCount();
    source->SetEnabled(true);
    source->SetLoaded(false);
    EXPECT_EQ(CallNames(before),
              (std::vector<std::string>{"CONTROL/USERINTERFACE/ENABLEDS", "CONTROL/IDENTITY/CLOSEDS"}));
}

TEST_F(TwainTest, RefusedCloseStillMarksTheSourceClosed) {
    scanner_.Sources = {"One", "Two"};
    OpenManager();
    TTwainSource* first = manager_->SourceAt(0);
    TTwainSource* second = manager_->SourceAt(1);
    first->SetLoaded(true);
    second->SetLoaded(true);
    second->SetEnabled(true);
    scanner_.CloseDsResult = TWRC_FAILURE;
    EXPECT_FALSE(first->CloseDS());
    EXPECT_FALSE(first->Loaded());
    EXPECT_EQ(manager_->OpenedSourceCount(), 2) << "the count is not lowered";
    // Messages still reach the other, enabled source.
    const std::size_t before = CallCount();
    PostMessageA(manager_->VirtualWindow(), 0x0400 + 1, 0, 0);
    DeliverPosted();
    ASSERT_EQ(CountOf("CONTROL/EVENT/PROCESSEVENT", before), 1u);
    EXPECT_EQ(Calls()[before].DestinationName, "Two");
}

TEST_F(TwainTest, RefusedDisableKeepsTheMark) {
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    scanner_.State = 6;
    bool raised = false;
    manager_->OnSourceDisable = [&](TObject*, int) { raised = true; };
    EXPECT_FALSE(source->DisableDS());
    EXPECT_TRUE(source->Enabled());
    EXPECT_FALSE(raised);
}

TEST_F(TwainTest, ConditionCodeNeedsAnOpenSource) {
    OpenManager();
    TTwainSource* source = manager_->SourceAt(0);
    scanner_.ConditionCode = TWCC_BUMMER;
    const std::size_t before = CallCount();
    EXPECT_EQ(source->GetConditionCode(), 0);
    EXPECT_EQ(CallCount(), before);
    source->SetLoaded(true);
    EXPECT_EQ(source->GetConditionCode(), TWCC_BUMMER);
    EXPECT_EQ(Calls().back().Name(), "CONTROL/STATUS/GET");
    EXPECT_TRUE(Calls().back().HasDestination);
}

TEST_F(TwainTest, NothingThrownBehindTheEntryPointComesThrough) {
    Control()->Script = [](const TFakeCall&, TW_IDENTITY*, TW_IDENTITY*, TW_MEMREF) -> TW_UINT16 {
        throw std::runtime_error("broken source manager");
    };
    manager_->SetLibraryLoaded(true);
    ASSERT_TRUE(manager_->LibraryLoaded());
    EXPECT_NO_THROW(manager_->SetSourceManagerLoaded(true));
    EXPECT_FALSE(manager_->SourceManagerLoaded());
    Control()->Script = scanner_.Script();
}

TEST_F(TwainTest, DisableSendsTheRecordOfTheEnable) {
    OpenManager();
    TTwainSource* source = manager_->SourceAt(0);
    source->SetLoaded(true);
    ASSERT_TRUE(source->EnableDS(false, true)); // not the source's own ShowUI
    ASSERT_TRUE(source->DisableDS());
    const TFakeCall& disable = Calls().back();
    EXPECT_EQ(disable.Name(), "CONTROL/USERINTERFACE/DISABLEDS");
    EXPECT_EQ(disable.ShowUI, 0);
    EXPECT_EQ(disable.ModalUI, TW_BOOL(-1));
    EXPECT_EQ(disable.Parent, manager_->VirtualWindow());
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
