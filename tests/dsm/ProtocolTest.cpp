// The source manager's answers and states: listing, opening and closing, events, pending
// images of a feeder, the errors a device reports, and what happens when the application disables and
// closes a source in the middle of a transfer.
#include "DsmFixture.h"

#include "GlobalMemory.h"
#include "Window.h"

#include <cstring>

namespace {

std::string Text(const char (&field)[34]) {
    return std::string(field, strnlen(field, sizeof field));
}

} // namespace

TEST_F(DsmTest, ListsOneSourcePerDeviceWithVendorAndModel) {
    const std::vector<TW_IDENTITY> sources = List();
    ASSERT_EQ(sources.size(), 2u);
    EXPECT_NE(+sources[0].Id, +sources[1].Id);
    for (const TW_IDENTITY& source : sources) {
        EXPECT_EQ(Text(source.Manufacturer), "Noname");
        EXPECT_EQ(Text(source.ProductName).rfind("frontend-tester", 0), 0u) << Text(source.ProductName);
        EXPECT_EQ(source.SupportedGroups & (DG_CONTROL | DG_IMAGE), DG_CONTROL | DG_IMAGE);
    }
    EXPECT_NE(Text(sources[0].ProductName), Text(sources[1].ProductName))
        << "two devices of one make told apart";

    TW_IDENTITY identity{};
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &identity), TWRC_ENDOFLIST);
    // The same records every time they are listed, and the default is the first until one is chosen.
    const std::vector<TW_IDENTITY> again = List();
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(std::memcmp(&again[1], &sources[1], sizeof(TW_IDENTITY)), 0);
    ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &identity), TWRC_SUCCESS);
    EXPECT_EQ(std::memcmp(&identity, &sources[0], sizeof identity), 0);

    // Opening a source makes it the default.
    TW_IDENTITY second = sources[1];
    ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &second), TWRC_SUCCESS);
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &second), TWRC_SUCCESS);
    ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &identity), TWRC_SUCCESS);
    EXPECT_EQ(std::memcmp(&identity, &sources[1], sizeof identity), 0);
}

TEST_F(DsmTest, ManagerStates) {
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &window_), TWRC_FAILURE) << "already open";
    EXPECT_EQ(Condition(nullptr), TWCC_SEQERROR);
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &window_), TWRC_SUCCESS);
    managerOpen_ = false;
    TW_IDENTITY identity{};
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &identity), TWRC_FAILURE);
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &window_), TWRC_FAILURE);
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr), TWRC_FAILURE) << "no window";
    ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &window_), TWRC_SUCCESS);
    managerOpen_ = true;
    EXPECT_EQ(List().size(), 2u) << "SANE works again after the manager was closed";
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, nullptr), TWRC_FAILURE);
    EXPECT_EQ(Condition(nullptr), TWCC_BADVALUE);
}

TEST_F(DsmTest, SourceStates) {
    TW_IDENTITY source = OpenFirst();
    TW_IDENTITY unknown{};
    unknown.Id = 999;
    EXPECT_EQ(Call(&unknown, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, nullptr), TWRC_FAILURE);
    EXPECT_EQ(Condition(nullptr), TWCC_BADDEST);
    EXPECT_EQ(Disable(source), TWRC_FAILURE) << "not enabled";
    EXPECT_EQ(Condition(&source), TWCC_SEQERROR);
    EXPECT_EQ(Condition(&source), TWCC_SUCCESS) << "the condition is reported once";

    TW_IMAGEINFO info{};
    EXPECT_EQ(Call(&source, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_FAILURE) << "no image yet";
    TW_PENDINGXFERS pending{};
    EXPECT_EQ(Call(&source, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_FAILURE);
    EXPECT_EQ(Call(&source, DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS);
    EXPECT_EQ(+pending.Count, 0);

    // An enabled source cannot be closed before it is disabled.
    ASSERT_EQ(setOptionsFor(source, SmallGreyScan()), 1);
    ASSERT_EQ(Enable(source, false), TWRC_SUCCESS);
    EXPECT_EQ(Enable(source, false), TWRC_FAILURE);
    ASSERT_EQ(WaitForEvent(source), MSG_XFERREADY);
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source), TWRC_FAILURE);
    ASSERT_EQ(Call(&source, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_SUCCESS);
    EXPECT_EQ(+pending.Count, 0);
    EXPECT_EQ(Disable(source), TWRC_SUCCESS);
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source), TWRC_SUCCESS);
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source), TWRC_FAILURE)
        << "closed already";

    // Unknown requests are refused soundly.
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &unknown), TWRC_FAILURE);
    EXPECT_EQ(Condition(nullptr), TWCC_NODS);
}

TEST_F(DsmTest, ProcessEventClaimsOnlyItsOwnMessages) {
    TW_IDENTITY source = OpenFirst();
    ASSERT_EQ(setOptionsFor(source, SmallGreyScan()), 1);
    ASSERT_EQ(Enable(source, false), TWRC_SUCCESS);
    MSG foreign;
    foreign.hwnd = window_;
    foreign.message = WM_USER + 1;
    TW_EVENT event{&foreign, 0xffff};
    EXPECT_EQ(Call(&source, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT);
    EXPECT_EQ(+event.TWMessage, MSG_NULL);
    event.pEvent = nullptr;
    EXPECT_EQ(Call(&source, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT);
    ASSERT_EQ(WaitForEvent(source), MSG_XFERREADY);

    TW_IMAGEINFO info{};
    ASSERT_EQ(Call(&source, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    EXPECT_EQ(+info.ImageWidth, 70); // 25 mm at 72 dpi
    EXPECT_EQ(+info.ImageLength, 56);
    EXPECT_EQ(+info.SamplesPerPixel, 1);
    EXPECT_EQ(+info.BitsPerSample[0], 8);
    TW_PALETTE8 palette{};
    ASSERT_EQ(Call(&source, DG_IMAGE, DAT_PALETTE8, MSG_GET, &palette), TWRC_SUCCESS);
    EXPECT_EQ(+palette.NumColors, 256);
    EXPECT_EQ(+palette.Colors[200].Channel2, 200);
}

TEST_F(DsmTest, ResetDropsThePendingSheets) {
    TW_IDENTITY source{};
    ASSERT_EQ(ScanHeadless(source, SmallGreyScan({{"source", "Automatic Document Feeder"}})), MSG_XFERREADY);
    Transfer(source, TMechanism::memory);
    TW_UINT16 count = 0;
    ASSERT_EQ(EndTransfer(source, count), TWRC_SUCCESS);
    EXPECT_GT(count, 0);
    TW_PENDINGXFERS pending{};
    ASSERT_EQ(Call(&source, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_SUCCESS);
    EXPECT_EQ(+pending.Count, 0);
    TW_IMAGEINFO info{};
    EXPECT_EQ(Call(&source, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_FAILURE);
    // The source scans again when enabled again.
    ASSERT_EQ(Disable(source), TWRC_SUCCESS);
    ASSERT_EQ(setOptionsFor(source, SmallGreyScan()), 1);
    ASSERT_EQ(Enable(source, false), TWRC_SUCCESS);
    EXPECT_EQ(WaitForEvent(source), MSG_XFERREADY);
}

namespace {

struct TErrorCase {
    const char* status;
    TW_UINT16 condition;
    const char* words; // part of the sentence the user reads
};

void PrintTo(const TErrorCase& error, std::ostream* out) {
    *out << error.status;
}

class DeviceErrorTest : public DsmTest, public ::testing::WithParamInterface<TErrorCase> {};

} // namespace

TEST_P(DeviceErrorTest, EndsTheScanWithoutATransferAndSaysWhy) {
    const TErrorCase& error = GetParam();
    TW_IDENTITY source{};
    EXPECT_EQ(ScanHeadless(source, SmallGreyScan({{"read-return-value", error.status}})), MSG_CLOSEDSREQ)
        << "without its window the source asks to be closed";
    EXPECT_EQ(Condition(&source), error.condition);
    EXPECT_NE(LastMessage(source).find(error.words), std::string::npos) << LastMessage(source);
    TW_IMAGEINFO info{};
    EXPECT_EQ(Call(&source, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_FAILURE);
    EXPECT_EQ(Disable(source), TWRC_SUCCESS);

    // The next scan works (the device keeps its options, so the error is switched off again).
    ASSERT_EQ(setOptionsFor(source, SmallGreyScan({{"read-return-value", "Default"}})), 1);
    ASSERT_EQ(Enable(source, false), TWRC_SUCCESS);
    EXPECT_EQ(WaitForEvent(source), MSG_XFERREADY);
    EXPECT_TRUE(LastMessage(source).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, DeviceErrorTest,
    ::testing::Values(TErrorCase{"SANE_STATUS_JAMMED", TWCC_PAPERJAM, "застряла бумага"},
                      TErrorCase{"SANE_STATUS_NO_DOCS", TWCC_OPERATIONERROR, "нет листов"},
                      TErrorCase{"SANE_STATUS_COVER_OPEN", TWCC_CHECKDEVICEONLINE, "Крышка"},
                      TErrorCase{"SANE_STATUS_DEVICE_BUSY", TWCC_CHECKDEVICEONLINE, "занят"},
                      TErrorCase{"SANE_STATUS_IO_ERROR", TWCC_OPERATIONERROR, "Ошибка связи"},
                      TErrorCase{"SANE_STATUS_NO_MEM", TWCC_LOWMEMORY, "памяти"},
                      TErrorCase{"SANE_STATUS_ACCESS_DENIED", TWCC_DENIED, "доступа"},
                      TErrorCase{"SANE_STATUS_INVAL", TWCC_OPERATIONERROR, "не принял"},
                      TErrorCase{"SANE_STATUS_EOF", TWCC_OPERATIONERROR, "не передал"}),
    [](const ::testing::TestParamInfo<TErrorCase>& info) { return std::string(info.param.status + 12); });

// The program disables and closes the source from inside its image handler, while the source is still
// transferring: both are refused then, and done once the transfers end.
TEST_F(DsmTest, DisableAndCloseDuringATransferAreDoneWhenItEnds) {
    TW_IDENTITY source{};
    ASSERT_EQ(ScanHeadless(source, SmallGreyScan()), MSG_XFERREADY);
    Transfer(source, TMechanism::memory);
    EXPECT_EQ(Disable(source), TWRC_FAILURE);
    EXPECT_EQ(Condition(&source), TWCC_SEQERROR);
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source), TWRC_FAILURE);
    TW_UINT16 count = 0xffff;
    EXPECT_EQ(EndTransfer(source, count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0);
    // The source is gone now; opening it again gives a fresh source that scans.
    EXPECT_EQ(Disable(source), TWRC_FAILURE);
    EXPECT_EQ(Condition(nullptr), TWCC_BADDEST);
    ASSERT_EQ(ScanHeadless(source, SmallGreyScan()), MSG_XFERREADY);
}

// A program that lost track of an open source opens it again and gets a fresh one.
TEST_F(DsmTest, OpeningAnOpenSourceAgainStartsAfresh) {
    TW_IDENTITY source{};
    ASSERT_EQ(ScanHeadless(source, SmallGreyScan({{"source", "Automatic Document Feeder"}})), MSG_XFERREADY);
    TW_IDENTITY again = source;
    ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &again), TWRC_SUCCESS);
    EXPECT_EQ(std::memcmp(&again, &source, sizeof again), 0);
    TW_PENDINGXFERS pending{};
    ASSERT_EQ(Call(&source, DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS);
    EXPECT_EQ(+pending.Count, 0);
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source), TWRC_SUCCESS);
}

// Closing the manager closes what the program left open, a running scan included.
TEST_F(DsmTest, ClosingTheManagerClosesOpenSources) {
    TW_IDENTITY source = OpenFirst();
    ASSERT_EQ(setOptionsFor(source, SmallGreyScan({{"read-delay", "yes"}, {"read-delay-duration", "20000"}})),
              1);
    ASSERT_EQ(Enable(source, false), TWRC_SUCCESS);
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &window_), TWRC_SUCCESS);
    managerOpen_ = false;
    Pump(50); // a late event of the closed source would reach nobody
    ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &window_), TWRC_SUCCESS);
    managerOpen_ = true;
    EXPECT_EQ(Call(&source, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, nullptr), TWRC_FAILURE);
}
