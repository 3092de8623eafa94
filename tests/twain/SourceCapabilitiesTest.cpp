// The capability readers of a source: results after the condition code, enumerations and their items,
// and containers that are not what they claim.
#include "TwainFixture.h"

#include "GlobalMemory.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <cstring>

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

TEST_F(TwainTest, CapabilityResultsFollowTheConditionCode) {
    OpenManager();
    TTwainSource* source = manager_->SourceAt(0);
    HGLOBAL container = nullptr;
    TW_UINT16 type = 0;
    EXPECT_EQ(source->GetCapability(ICAP_UNITS, container, type), cpBadState) << "not open";
    source->SetLoaded(true);
    EXPECT_EQ(source->GetCapability(ICAP_UNITS, container, type), cpUnsupported);
    EXPECT_EQ(Calls()[CallCount() - 2].Cap, ICAP_UNITS);
    EXPECT_EQ(Calls()[CallCount() - 2].ConType, TWON_DONTCARE16);
    EXPECT_EQ(Calls().back().Name(), "CONTROL/STATUS/GET");

    const std::pair<TW_UINT16, TCapResult> mapping[] = {
        {TWCC_CAPSEQERROR, cpDependency}, {TWCC_LOWMEMORY, cpLowMemory},
        {TWCC_SEQERROR, cpBadState},      {TWCC_CAPBADOPERATION, cpBadOperation},
        {TWCC_BUMMER, cpBadOperation},    {TWCC_SUCCESS, cpBadOperation}};
    for (const auto& [condition, result] : mapping) {
        scanner_.Capabilities[ICAP_BRIGHTNESS] = [] { return HGLOBAL(nullptr); };
        scanner_.ConditionCode = condition;
        EXPECT_EQ(source->GetCapability(ICAP_BRIGHTNESS, container, type), result) << condition;
    }

    scanner_.Capabilities[ICAP_UNITS] = [] { return MakeOneValue(TWTY_UINT16, TWUN_INCHES); };
    scanner_.CapabilityContainerType = TWON_ONEVALUE;
    ASSERT_EQ(source->GetCapability(ICAP_UNITS, container, type, cqGetDefault), cpOk);
    EXPECT_EQ(Calls()[CallCount() - 1].MSG, MSG_GETDEFAULT);
    EXPECT_EQ(type, TWON_ONEVALUE);
    EXPECT_EQ(GlobalSize(container), sizeof(TW_ONEVALUE));
    GlobalFree(container);
}

TEST_F(TwainTest, UnitsAsOneValueContainerIsABadContainerAndIsFreed) {
    OpenManager();
    TTwainSource* source = manager_->SourceAt(0);
    source->SetLoaded(true);
    HGLOBAL handed = nullptr;
    scanner_.Capabilities[ICAP_UNITS] = [&] { return handed = MakeOneValue(TWTY_UINT16, TWUN_INCHES); };
    scanner_.CapabilityContainerType = TWON_ONEVALUE;
    TUnitKind unit = ukOther;
    TUnitKinds supported;
    EXPECT_EQ(source->ReadUnits(unit, supported), cpBadContainer);
    EXPECT_EQ(GlobalSize(handed), 0u) << "freed";
    EXPECT_TRUE(supported.Empty());
}

TEST_F(TwainTest, UnitsAndFlavorsFromEnumerations) {
    OpenManager();
    TTwainSource* source = manager_->SourceAt(0);
    source->SetLoaded(true);
    scanner_.Capabilities[ICAP_UNITS] = [] {
        return MakeEnumeration(TWTY_UINT16, {TWUN_INCHES, TWUN_CENTIMETERS, 9}, 1, 0);
    };
    TUnitKind unit = ukOther;
    TUnitKinds supported{ukPixels}; // not cleared first
    ASSERT_EQ(source->ReadUnits(unit, supported), cpOk);
    EXPECT_EQ(unit, ukCentimeters);
    EXPECT_EQ(supported, (TUnitKinds{ukInches, ukCentimeters, ukOther, ukPixels}));
    ASSERT_EQ(source->ReadUnits(unit, supported, cqGetDefault), cpOk);
    EXPECT_EQ(unit, ukInches);

    scanner_.Capabilities[ICAP_PIXELFLAVOR] = [] {
        return MakeEnumeration(TWTY_UINT16, {TWPF_VANILLA, 4}, 0, 1);
    };
    TFlavorKind flavor = fkChocolate;
    TFlavorKinds flavors;
    ASSERT_EQ(source->ReadPixelFlavor(flavor, flavors), cpOk);
    EXPECT_EQ(flavor, fkVanilla);
    EXPECT_EQ(flavors, (TFlavorKinds{fkVanilla, fkOther}));

    scanner_.Capabilities[ICAP_UNITS] = [] { return MakeEnumeration(TWTY_UINT32, {0, 1}, 0, 0); };
    EXPECT_EQ(source->ReadUnits(unit, supported), cpUnsupported) << "items must be TWTY_UINT16";
}

TEST_F(TwainTest, IndexOutsideTheEnumerationIsNeverRead) {
    OpenManager();
    TTwainSource* source = manager_->SourceAt(0);
    source->SetLoaded(true);
    scanner_.Capabilities[ICAP_UNITS] = [] { return MakeEnumeration(TWTY_UINT16, {TWUN_INCHES}, 5, 0); };
    TUnitKind unit = ukPicas;
    TUnitKinds supported;
    EXPECT_EQ(source->ReadUnits(unit, supported), cpBadContainer);
    EXPECT_EQ(unit, ukPicas) << "left as it was";
    scanner_.Capabilities[ICAP_UNITS] = [] {
        return MakeEnumeration(TWTY_UINT16, {TWUN_INCHES}, 0, 0xFFFFFFFF);
    };
    EXPECT_EQ(source->ReadUnits(unit, supported, cqGetDefault), cpBadContainer);
    EXPECT_EQ(source->ReadUnits(unit, supported, cqGetCurrent), cpOk);
    EXPECT_EQ(unit, ukInches);
}

TEST_F(TwainTest, EnumerationClaimingMoreItemsThanItHoldsIsRefused) {
    OpenManager();
    TTwainSource* source = manager_->SourceAt(0);
    source->SetLoaded(true);
    scanner_.Capabilities[ICAP_XRESOLUTION] = [] {
        HGLOBAL block = MakeEnumeration(TWTY_UINT32, {100, 200}, 0, 0);
        TW_UINT32 lie = 1000000;
        std::memcpy(static_cast<char*>(GlobalLock(block)) + offsetof(TW_ENUMERATION, NumItems), &lie,
                    sizeof lie);
        GlobalUnlock(block);
        return block;
    };
    TW_UINT16 type = 0;
    TGetCapabilityList list;
    int current = 0, defaultIndex = 0;
    EXPECT_EQ(source->GetEnumerationCap(ICAP_XRESOLUTION, type, list, current, defaultIndex), cpBadContainer);
    EXPECT_TRUE(list.isEmpty());
}

TEST_F(TwainTest, EnumerationTextsOfLargeUnsignedItems) {
    OpenManager();
    TTwainSource* source = manager_->SourceAt(0);
    source->SetLoaded(true);
    scanner_.Capabilities[ICAP_XRESOLUTION] = [] {
        return MakeEnumeration(TWTY_UINT32, {2147483648u, 4294967295u, 7}, 2, 1);
    };
    TW_UINT16 type = 0;
    TGetCapabilityList list;
    int current = -1, defaultIndex = -1;
    ASSERT_EQ(source->GetEnumerationCap(ICAP_XRESOLUTION, type, list, current, defaultIndex), cpOk);
    EXPECT_EQ(type, TWTY_UINT32);
    EXPECT_EQ(list,
              (QStringList{QStringLiteral("2147483648"), QStringLiteral("4294967295"), QStringLiteral("7")}));
    EXPECT_EQ(current, 2);
    EXPECT_EQ(defaultIndex, 1);

    // A container handed in by the caller is read and freed without asking the source.
    HGLOBAL given = MakeEnumeration(TWTY_UINT16, {3}, 0, 0);
    const std::size_t before = CallCount();
    ASSERT_EQ(source->GetEnumerationCap(0, type, list, current, defaultIndex, cqGet, given), cpOk);
    EXPECT_EQ(CallCount(), before);
    EXPECT_EQ(list, QStringList{QStringLiteral("3")});
    EXPECT_EQ(GlobalSize(given), 0u);
}

TEST_F(TwainTest, ContainersThatAreNotWhatTheyClaim) {
    OpenManager();
    TTwainSource* source = manager_->SourceAt(0);
    source->SetLoaded(true);
    int local = 0;
    TW_UINT16 type = 0;
    TGetCapabilityList list;
    int current = 0, defaultIndex = 0;
    scanner_.Capabilities[ICAP_UNITS] = [&] { return reinterpret_cast<HGLOBAL>(&local); };
    EXPECT_EQ(source->GetEnumerationCap(ICAP_UNITS, type, list, current, defaultIndex), cpBadContainer);
    scanner_.Capabilities[ICAP_UNITS] = [] { return GlobalAlloc(GHND, 5); }; // shorter than the header
    EXPECT_EQ(source->GetEnumerationCap(ICAP_UNITS, type, list, current, defaultIndex), cpBadContainer);
    scanner_.Capabilities[ICAP_UNITS] = [] {
        HGLOBAL block = MakeEnumeration(TWTY_UINT16, {1, 2}, 0, 0);
        const TW_UINT16 unknownType = 0x99;
        std::memcpy(GlobalLock(block), &unknownType, sizeof unknownType);
        GlobalUnlock(block);
        return block;
    };
    EXPECT_EQ(source->GetEnumerationCap(ICAP_UNITS, type, list, current, defaultIndex), cpBadContainer);
}
