// The identity record behind the properties.
#include "TwainIdentity.h"

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
