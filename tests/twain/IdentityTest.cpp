// The identity record behind the properties, the source list's storage, and the transfer arithmetic.
#include "TwainManager.h"
#include "TwainUtils.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A copy of a packed record's member: gtest compares through references, which must not point at
// members sitting at odd offsets.
template <class T> T Field(T value) {
    return value;
}

} // namespace

TEST(TwainIdentity, StartsWithTheProgramsIdentity) {
    TTwainIdentity identity(nullptr);
    const TW_IDENTITY& r = identity.Record();
    EXPECT_EQ(Field(r.Id), 0u);
    EXPECT_EQ(Field(r.Version.MajorNum), 1);
    EXPECT_EQ(Field(r.Version.MinorNum), 0);
    EXPECT_EQ(Field(r.Version.Language), TW_UINT16(TWLG_USERLOCALE));
    EXPECT_EQ(identity.Language(), tlUserLocale);
    EXPECT_EQ(Field(r.Version.Country), TWCY_USA);
    EXPECT_EQ(Field(r.SupportedGroups), DG_CONTROL | DG_IMAGE);
    EXPECT_EQ(Field(r.ProtocolMajor), 1);
    EXPECT_EQ(Field(r.ProtocolMinor), 9);
    EXPECT_STREQ(r.Version.Info, "Application name");
    EXPECT_STREQ(r.Manufacturer, "Application manufacturer");
    EXPECT_STREQ(r.ProductFamily, "App product family");
    EXPECT_STREQ(r.ProductName, "App product name");
}

TEST(TwainIdentity, LanguageIsStoredOneBelowItsOrdinal) {
    TTwainIdentity identity(nullptr);
    identity.SetLanguage(tlDanish);
    EXPECT_EQ(Field(identity.Record().Version.Language), TWLG_DANISH);
    identity.SetLanguage(tlRussian);
    EXPECT_EQ(Field(identity.Record().Version.Language), TWLG_RUSSIAN);
    EXPECT_EQ(identity.Language(), tlRussian);
    identity.SetLanguage(tlVietnamese);
    EXPECT_EQ(Field(identity.Record().Version.Language), TWLG_VIETNAMESE);
    EXPECT_EQ(int(tlVietnamese), 114);
}

TEST(TwainIdentity, GroupsAlwaysIncludeControl) {
    TTwainIdentity identity(nullptr);
    identity.SetGroups({tgImage});
    EXPECT_EQ(Field(identity.Record().SupportedGroups), DG_CONTROL | DG_IMAGE);
    EXPECT_EQ(identity.Groups(), (TTwainGroups{tgControl, tgImage}));
    identity.SetGroups({});
    EXPECT_EQ(Field(identity.Record().SupportedGroups), DG_CONTROL);
    identity.SetGroups({tgAudio});
    EXPECT_EQ(identity.Groups(), (TTwainGroups{tgControl, tgAudio}));
}

TEST(TwainIdentity, LongTextFillsTheFieldWithoutTerminator) {
    TTwainIdentity identity(nullptr);
    const QString forty = QString(40, QLatin1Char('x'));
    identity.SetVersionInfo(forty);
    EXPECT_EQ(identity.VersionInfo(), forty.left(34));
    // The next field follows unharmed.
    EXPECT_EQ(Field(identity.Record().ProtocolMajor), 1);
    identity.SetProductName(QStringLiteral("ab"));
    const char expected[34] = "ab";
    EXPECT_EQ(std::memcmp(identity.Record().ProductName, expected, 34), 0) << "the rest is zero-filled";
}

TEST(TwainIdentity, AssignCopiesTheRecordOnly) {
    TObject ownerB;
    TTwainIdentity a(nullptr);
    TTwainIdentity b(&ownerB);
    a.SetProductName(QStringLiteral("Other"));
    a.Record().Id = 77;
    b.Assign(a);
    EXPECT_EQ(std::memcmp(&a.Record(), &b.Record(), sizeof(TW_IDENTITY)), 0);
    EXPECT_EQ(b.GetOwner(), &ownerB);
}

TEST(PointerList, GrowsInBlocksOfTenAndShrinksOnClear) {
    TPointerList list;
    EXPECT_EQ(list.Capacity(), 10);
    for (int i = 0; i < 23; ++i)
        list.Add(reinterpret_cast<TTwainSource*>(std::uintptr_t(0x1000 + 16 * i)));
    EXPECT_EQ(list.Count(), 23);
    EXPECT_EQ(list.Capacity(), 30);
    EXPECT_EQ(list.Get(22), reinterpret_cast<TTwainSource*>(std::uintptr_t(0x1000 + 16 * 22)));
    EXPECT_EQ(list.Get(23), nullptr);
    EXPECT_EQ(list.Get(-1), nullptr);
    list.Put(23, nullptr); // outside: nothing happens
    list.SetCount(-4);
    EXPECT_EQ(list.Count(), 23);
    list.SetCapacity(5); // below Count: refused
    EXPECT_EQ(list.Capacity(), 30);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Capacity(), 10);
}

TEST(TwainArithmetic, A4GreyPageAtPreferred65536TakesOneHundredThirtyThreeBlocks) {
    EXPECT_EQ(BitmapRowBytes(2480, 8), 2480u);
    EXPECT_EQ(MemoryTransferDataSize(2480, 3508, 8, 65536), 133u * 65536u);
    // Image bytes that divide evenly still get one more block.
    EXPECT_EQ(MemoryTransferDataSize(16, 16, 8, 256), 2u * 256u);
    EXPECT_EQ(MemoryTransferDataSize(16, 16, 8, 0), 0u);
    EXPECT_EQ(BitmapRowBytes(3, 24), 12u);
    EXPECT_EQ(BitmapRowBytes(33, 1), 8u);
}

TEST(TwainArithmetic, ResolutionInPixelsPerMetre) {
    EXPECT_EQ(PelsPerMeter(TW_FIX32{300, 0}, TWUN_INCHES), 11811);
    EXPECT_EQ(PelsPerMeter(TW_FIX32{100, 0}, TWUN_CENTIMETERS), 10000);
    EXPECT_EQ(PelsPerMeter(TW_FIX32{72, 32768}, TWUN_INCHES), 2854); // 72.5 dpi, cut toward zero
    EXPECT_EQ(PelsPerMeter(TW_FIX32{300, 0}, TWUN_PIXELS), 0);
}

TEST(TwainArithmetic, FoldersAreCutAndSlashed) {
    EXPECT_EQ(FolderOfPath("/usr/bin/zrk201"), "/usr/bin/");
    EXPECT_EQ(FolderOfPath("zrk201"), "zrk201");
    EXPECT_EQ(WithTrailingSlash("/tmp"), "/tmp/");
    EXPECT_EQ(WithTrailingSlash("/tmp/"), "/tmp/");
}

TEST(TwainItems, SizesOfTheStandardsTypes) {
    EXPECT_EQ(TTwainSource::ItemSize(TWTY_INT8), 1);
    EXPECT_EQ(TTwainSource::ItemSize(TWTY_BOOL), 2);
    EXPECT_EQ(TTwainSource::ItemSize(TWTY_FIX32), 4);
    EXPECT_EQ(TTwainSource::ItemSize(TWTY_FRAME), 16);
    EXPECT_EQ(TTwainSource::ItemSize(TWTY_STR32), 34);
    EXPECT_EQ(TTwainSource::ItemSize(TWTY_STR255), 256);
    EXPECT_EQ(TTwainSource::ItemSize(TWTY_STR1024), 1026);
    EXPECT_EQ(TTwainSource::ItemSize(TWTY_UNI512), 1024);
    EXPECT_EQ(TTwainSource::ItemSize(0x77), 0);
}

TEST(TwainItems, TextsOfItems) {
    const std::uint32_t big = 3000000000u;
    EXPECT_EQ(TTwainSource::ItemText(TWTY_UINT32, &big), QStringLiteral("3000000000"));
    EXPECT_EQ(TTwainSource::ItemText(TWTY_INT32, &big), QString::number(int(big)));
    const std::int16_t negative = -5;
    EXPECT_EQ(TTwainSource::ItemText(TWTY_INT16, &negative), QStringLiteral("-5"));
    const char minusOne = char(0xFF);
    EXPECT_EQ(TTwainSource::ItemText(TWTY_INT8, &minusOne), QStringLiteral("-1"));
    EXPECT_EQ(TTwainSource::ItemText(TWTY_UINT8, &minusOne), QStringLiteral("255"));
    const TW_FIX32 oneAndAHalf{1, 32768};
    EXPECT_EQ(TTwainSource::ItemText(TWTY_FIX32, &oneAndAHalf),
              QStringLiteral("1") + QLocale::system().decimalPoint() + QStringLiteral("32768"));
    // A full field without a terminating zero is read to its end and no further.
    char field[40];
    std::memset(field, 'z', sizeof field);
    EXPECT_EQ(TTwainSource::ItemText(TWTY_STR32, field), QString(34, QLatin1Char('z')));
    EXPECT_EQ(TTwainSource::ItemText(TWTY_FRAME, field), QString());
}
