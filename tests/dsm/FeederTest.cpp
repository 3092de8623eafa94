// A document feeder holds sheets: the source scans one, announces it, and scans the next only when the
// application asks for the next image. Sheets the application does not ask for stay in the feeder.
// SANE's test scanner has ten sheets in its feeder; it fills it again when it is opened again or its
// source is switched, so the tests keep the source open and leave the source option alone.
#include "ComponentFixture.h"

#include <QElapsedTimer>

#include <memory>

namespace {

constexpr const char* kFeeder = "source=Automatic Document Feeder";

TScanRequest FromFeeder() {
    TScanRequest request;
    request.mode = "Gray";
    request.extra = {{"source", "Automatic Document Feeder"}};
    return request;
}

// The options of a further run of the same feeder: the sheets left stay where they are.
std::string SameFeeder() {
    return std::string("mode=Gray;resolution=72;tl-x=0;tl-y=0;br-x=25;br-y=20;") + kFeeder;
}

} // namespace

class FeederTest : public DsmTest {
protected:
    // Takes every sheet left in the feeder through the source manager, as an application that wants
    // them all does; the number of sheets.
    int TakeAllSheets(TW_IDENTITY& source) {
        int sheets = 0;
        for (;;) {
            TPicture picture = Transfer(source, sheets % 2 ? TMechanism::native : TMechanism::memory);
            EXPECT_EQ(picture.width, 70);
            ++sheets;
            TW_UINT16 count = 0;
            EXPECT_EQ(EndTransfer(source, count), TWRC_SUCCESS);
            EXPECT_EQ(count, 0xffff) << "a feeder cannot tell how many sheets it holds";
            // The next sheet is scanned now that it is asked for; the source says when it is there.
            TW_IMAGEINFO info{};
            EXPECT_EQ(Call(&source, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_DATANOTAVAILABLE);
            const TW_UINT16 event = WaitForEvent(source);
            if (event != MSG_XFERREADY) {
                EXPECT_EQ(event, MSG_CLOSEDSREQ) << "an empty feeder ends the transfers";
                return sheets;
            }
            if (sheets > 20)
                return sheets;
        }
    }
};

TEST_F(FeederTest, EverySheetIsScannedWhenItsImageIsAskedFor) {
    TW_IDENTITY source{};
    ASSERT_EQ(ScanHeadless(source, FromFeeder()), MSG_XFERREADY);
    TW_PENDINGXFERS pending{};
    ASSERT_EQ(Call(&source, DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS);
    EXPECT_EQ(+pending.Count, 0xffff);
    EXPECT_EQ(TakeAllSheets(source), 10);
    EXPECT_EQ(Disable(source), TWRC_SUCCESS) << "back in state 5 after the last sheet";
}

TEST_F(FeederTest, OneSheetTakenLeavesNineInTheFeeder) {
    TW_IDENTITY source{};
    ASSERT_EQ(ScanHeadless(source, FromFeeder()), MSG_XFERREADY);
    Transfer(source, TMechanism::memory);
    TW_UINT16 count = 0;
    ASSERT_EQ(EndTransfer(source, count), TWRC_SUCCESS);
    TW_PENDINGXFERS pending{};
    ASSERT_EQ(Call(&source, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_SUCCESS);
    EXPECT_EQ(+pending.Count, 0);
    ASSERT_EQ(Disable(source), TWRC_SUCCESS);

    ASSERT_EQ(setOptionsText(source, SameFeeder()), 1);
    ASSERT_EQ(Enable(source, false), TWRC_SUCCESS);
    ASSERT_EQ(WaitForEvent(source), MSG_XFERREADY);
    EXPECT_EQ(TakeAllSheets(source), 9);
    EXPECT_EQ(Disable(source), TWRC_SUCCESS);
}

// The program's component as the main window drives it: it takes one page, cancels the rest and
// disables the source. The other nine sheets are still in the feeder for the next pages.
TEST_F(FeederTest, TheProgramsComponentTakesOnePageAndLeavesTheRest) {
    ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &window_), TWRC_SUCCESS);
    managerOpen_ = false;
    TBuildFolders folders;
    SetSystemFolders(&folders);
    auto manager = std::make_unique<TTwainManager>();
    TTwainSource* source = nullptr;
    int pages = 0;
    bool takeOne = true;
    manager->OnTwainAcquire = [&](TObject*, int, TBitmap* image, bool& cancel) {
        ++pages;
        EXPECT_EQ(image->Width(), 70);
        if (takeOne) {
            cancel = true;
            source->SetEnabled(false);
        }
    };
    int closeRequests = 0;
    manager->OnAcquireCancel = [&](TObject*, int) { ++closeRequests; };
    manager->SetLibraryLoaded(true);
    manager->SetSourceManagerLoaded(true);
    ASSERT_GT(manager->SourceCount(), 0);
    source = manager->SourceAt(0);
    source->SetShowUI(false);
    source->SetLoaded(true);
    ASSERT_TRUE(source->Loaded());
    ASSERT_EQ(setOptionsFor(source->Record(), FromFeeder()), 1);

    auto scan = [&](int expected) {
        source->SetEnabled(true);
        ASSERT_TRUE(source->Enabled());
        QElapsedTimer timer;
        timer.start();
        while (source->Enabled() && timer.elapsed() < 20000)
            Pump(10);
        EXPECT_FALSE(source->Enabled());
        EXPECT_EQ(pages, expected);
    };
    scan(1);
    Pump(100);
    EXPECT_EQ(pages, 1) << "no further sheet was scanned";

    // The rest, all of them, in one run.
    takeOne = false;
    ASSERT_EQ(setOptionsText(source->Record(), SameFeeder()), 1);
    scan(10);
    EXPECT_EQ(closeRequests, 1) << "the empty feeder ended the run";
    manager.reset();
    SetSystemFolders(nullptr);
}

// The main window's road with the feeder chosen: each page opens the source, scans one sheet, and
// disables and closes the source from within the image's handler. The sheets left stay in the feeder
// through the closes, and the one after the tenth finds it empty.
TEST_F(FeederTest, EachPageOfTheProgramTakesTheNextSheetThroughClosingTheSource) {
    ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &window_), TWRC_SUCCESS);
    managerOpen_ = false;
    TBuildFolders folders;
    SetSystemFolders(&folders);
    auto manager = std::make_unique<TTwainManager>();
    TTwainSource* source = nullptr;
    int pages = 0;
    manager->OnTwainAcquire = [&](TObject*, int, TBitmap*, bool& cancel) {
        ++pages;
        cancel = true;
        source->SetEnabled(false);
        source->SetLoaded(false);
    };
    int closeRequests = 0;
    manager->OnAcquireCancel = [&](TObject*, int) { ++closeRequests; };
    manager->SetLibraryLoaded(true);
    manager->SetSourceManagerLoaded(true);
    ASSERT_GT(manager->SourceCount(), 0);
    source = manager->SourceAt(0);
    source->SetShowUI(false);
    for (int page = 1; page <= 11; ++page) {
        source->SetLoaded(true);
        ASSERT_TRUE(source->Loaded());
        ASSERT_EQ(setOptionsText(source->Record(),
                                 page == 1
                                     ? std::string("mode=Gray;resolution=72;tl-x=0;tl-y=0;br-x=25;br-y=20;") +
                                           kFeeder
                                     : SameFeeder()),
                  1);
        source->SetEnabled(true);
        QElapsedTimer timer;
        timer.start();
        while (source->Enabled() && pages < page && closeRequests == 0 && timer.elapsed() < 20000)
            Pump(10);
        if (page <= 10) {
            EXPECT_EQ(pages, page);
        } else {
            EXPECT_EQ(pages, 10) << "the feeder is empty";
            EXPECT_EQ(closeRequests, 1);
        }
    }
    manager.reset();
    SetSystemFolders(nullptr);
}
