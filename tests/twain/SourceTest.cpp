// One source: opening, enabling, disabling, closing, the condition code and the capability readers.
#include "TwainFixture.h"

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
