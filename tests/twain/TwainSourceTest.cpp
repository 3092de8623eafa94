// One source: opening, enabling, disabling, closing and the condition code.
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
