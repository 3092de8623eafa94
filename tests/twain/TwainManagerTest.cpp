// The component: finding and loading the library, opening the manager, listing and choosing sources,
// and the virtual window.
#include "TwainFixture.h"

#include "Window.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <dlfcn.h>

namespace {

// Whether the library file at this path is the one loaded into the process.
bool IsLoaded(const QString& path) {
    void* handle = dlopen(path.toLocal8Bit().constData(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return false;
    dlclose(handle);
    return true;
}

QString CopyLibraryInto(const QString& folder) {
    QDir().mkpath(folder);
    const QString target = folder + QStringLiteral("/TWAIN_32.DLL");
    EXPECT_TRUE(QFile::copy(QStringLiteral(ZRK_FAKEDSM_PATH), target));
    return target;
}

} // namespace

TEST_F(TwainTest, NoLibraryInAnyFolderLeavesEverythingClosed) {
    QTemporaryDir empty;
    folders_.Paths = {empty.path().toStdString(), "", empty.path().toStdString(), "", "/nonexistent"};
    manager_->SetLibraryLoaded(true);
    EXPECT_FALSE(manager_->LibraryLoaded());
    manager_->SetSourceManagerLoaded(true);
    EXPECT_FALSE(manager_->SourceManagerLoaded());
    EXPECT_EQ(manager_->ChooseSource(), -1);
    EXPECT_EQ(manager_->SourceCount(), 0);
    EXPECT_EQ(manager_->SourceAt(0), nullptr);
    EXPECT_EQ(CallCount(), 0u);
}

TEST_F(TwainTest, FirstFolderInSearchOrderWins) {
    // For each position, copies in that folder and every later one: the copy at that position is loaded.
    for (int first = 0; first < 5; ++first) {
        SCOPED_TRACE(first);
        QTemporaryDir root;
        std::vector<QString> copies(5);
        for (int i = 0; i < 5; ++i) {
            const QString folder = root.path() + QStringLiteral("/f%1").arg(i);
            QDir().mkpath(folder);
            if (i >= first)
                copies[std::size_t(i)] = CopyLibraryInto(folder);
            // The executable's folder is given as the executable file's path.
            folders_.Paths[std::size_t(i)] =
                (i == 3 ? folder + QStringLiteral("/zrk201") : folder).toStdString();
        }
        manager_->SetLibraryLoaded(true);
        ASSERT_TRUE(manager_->LibraryLoaded());
        for (int i = first; i < 5; ++i)
            EXPECT_EQ(IsLoaded(copies[std::size_t(i)]), i == first) << i;
        manager_->SetLibraryLoaded(false);
        EXPECT_FALSE(manager_->LibraryLoaded());
        EXPECT_FALSE(IsLoaded(copies[std::size_t(first)])) << "unloading frees the library";
    }
}

TEST_F(TwainTest, UnknownFoldersArePassedOver) {
    QTemporaryDir root;
    const QString temp = CopyLibraryInto(root.path() + QStringLiteral("/temp"));
    folders_.Paths = {"", "", "", "", (root.path() + QStringLiteral("/temp")).toStdString()};
    manager_->SetLibraryLoaded(true);
    EXPECT_TRUE(manager_->LibraryLoaded());
    EXPECT_TRUE(IsLoaded(temp));
}

TEST_F(TwainTest, ExecutablesFolderIsCutFromItsPath) {
    QTemporaryDir root;
    const QString library = CopyLibraryInto(root.path() + QStringLiteral("/bin"));
    folders_.Paths = {"", "", "", (root.path() + QStringLiteral("/bin/zrk201")).toStdString(), ""};
    manager_->SetLibraryLoaded(true);
    EXPECT_TRUE(manager_->LibraryLoaded());
    EXPECT_TRUE(IsLoaded(library));
}

TEST_F(TwainTest, FolderLongerThanMaxPathIsFetchedWhole) {
    QTemporaryDir root;
    const QString deep = root.path() + QLatin1Char('/') + QString(200, QLatin1Char('a')) + QLatin1Char('/') +
                         QString(120, QLatin1Char('b'));
    ASSERT_GT(deep.size(), 260);
    const QString library = CopyLibraryInto(deep);
    folders_.Paths = {deep.toStdString(), "", "", "", ""};
    manager_->SetLibraryLoaded(true);
    EXPECT_TRUE(manager_->LibraryLoaded());
    EXPECT_TRUE(IsLoaded(library));
}

TEST_F(TwainTest, LibraryWithoutEntryPointIsNotLoaded) {
    QTemporaryDir root;
    // Any shared library without DSM_Entry will do: the platform library itself.
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&PostMessageA), &info), 0);
    ASSERT_TRUE(
        QFile::copy(QString::fromLocal8Bit(info.dli_fname), root.path() + QStringLiteral("/TWAIN_32.DLL")));
    folders_.Paths = {root.path().toStdString(), "", "", "", ""};
    manager_->SetLibraryLoaded(true);
    EXPECT_FALSE(manager_->LibraryLoaded());
    EXPECT_FALSE(IsLoaded(root.path() + QStringLiteral("/TWAIN_32.DLL")));
}

TEST_F(TwainTest, OpeningAndClosingTheManagerSendsTheVirtualWindow) {
    manager_->SetSourceManagerLoaded(true);
    EXPECT_EQ(CallCount(), 0u) << "no library, nothing sent";
    OpenManager();
    ASSERT_EQ(CallNames(), std::vector<std::string>{"CONTROL/PARENT/OPENDSM"});
    EXPECT_EQ(Calls()[0].Parent, manager_->VirtualWindow());
    EXPECT_FALSE(Calls()[0].HasDestination);
    EXPECT_EQ(Calls()[0].OriginName, "App product name");
    manager_->SetSourceManagerLoaded(true);
    EXPECT_EQ(CallCount(), 1u) << "already open";

    scanner_.CloseDsmResult = TWRC_FAILURE;
    manager_->SetSourceManagerLoaded(false);
    EXPECT_TRUE(manager_->SourceManagerLoaded()) << "a refused close leaves it open";
    scanner_.CloseDsmResult = TWRC_SUCCESS;
    manager_->SetSourceManagerLoaded(false);
    EXPECT_FALSE(manager_->SourceManagerLoaded());
    EXPECT_EQ(Calls().back().Name(), "CONTROL/PARENT/CLOSEDSM");
}

TEST_F(TwainTest, RefusedOpenLeavesManagerClosed) {
    scanner_.OpenDsmResult = TWRC_FAILURE;
    manager_->SetLibraryLoaded(true);
    manager_->SetSourceManagerLoaded(true);
    EXPECT_FALSE(manager_->SourceManagerLoaded());
    EXPECT_EQ(manager_->SourceCount(), 0);
}

TEST_F(TwainTest, SourcesAreListedOncePerOpening) {
    manager_->SetLibraryLoaded(true);
    EXPECT_EQ(manager_->SourceCount(), 0);
    EXPECT_EQ(CallCount(), 0u) << "a closed manager is not asked";
    scanner_.Sources = {"One", "Two", "Three"};
    OpenManager();
    const std::size_t before = CallCount();
    EXPECT_EQ(manager_->SourceCount(), 3);
    EXPECT_EQ(CallNames(before),
              (std::vector<std::string>{"CONTROL/IDENTITY/GETFIRST", "CONTROL/IDENTITY/GETNEXT",
                                        "CONTROL/IDENTITY/GETNEXT", "CONTROL/IDENTITY/GETNEXT"}));
    EXPECT_EQ(manager_->SourceAt(1)->ProductName(), QStringLiteral("Two"));
    EXPECT_EQ(manager_->SourceAt(2)->Index(), 2);
    EXPECT_EQ(manager_->SourceAt(0)->TransferMode(), ttmMemory);
    EXPECT_EQ(manager_->SourceAt(0)->Owner(), manager_.get());

    scanner_.Sources.push_back("Four");
    EXPECT_EQ(manager_->SourceCount(), 3) << "the list is built once per opening";
    manager_->SetSourceCount(0);
    EXPECT_EQ(manager_->SourceCount(), 3) << "writing the count changes nothing";
}

TEST_F(TwainTest, TransferModeAppliesToSourcesListedLater) {
    OpenManager();
    EXPECT_EQ(manager_->SourceAt(0)->TransferMode(), ttmMemory);
    manager_->SetTransferMode(ttmFile);
    EXPECT_EQ(manager_->SourceAt(0)->TransferMode(), ttmMemory);
    manager_->SetSourceManagerLoaded(false);
    manager_->SetSourceManagerLoaded(true);
    EXPECT_EQ(manager_->SourceAt(0)->TransferMode(), ttmFile);
}

TEST_F(TwainTest, MoreThanTenSourcesAreAllListed) {
    scanner_.Sources.clear();
    for (int i = 0; i < 25; ++i)
        scanner_.Sources.push_back("Scanner " + std::to_string(i));
    OpenManager();
    EXPECT_EQ(manager_->SourceCount(), 25);
    EXPECT_EQ(manager_->SourceAt(24)->ProductName(), QStringLiteral("Scanner 24"));
}

TEST_F(TwainTest, SourceAtMinusOneFollowsTheDefault) {
    scanner_.Sources = {"One", "Two"};
    OpenManager();
    scanner_.DefaultSource = -1;
    EXPECT_EQ(manager_->SourceAt(-1), manager_->SourceAt(0)) << "no default known: the first";
    scanner_.DefaultSource = 1;
    EXPECT_EQ(manager_->SourceAt(-1), manager_->SourceAt(1));
    EXPECT_EQ(manager_->DefaultSourceIndex(), 1);
    scanner_.DefaultSource = 5; // a default the list does not hold
    EXPECT_EQ(manager_->SourceAt(-1), nullptr);
    EXPECT_EQ(manager_->SourceAt(2), nullptr);
    EXPECT_EQ(manager_->SourceAt(-2), nullptr);
}

TEST_F(TwainTest, ChooseSourceMatchesTheWholeIdentity) {
    scanner_.Sources = {"One", "Two"};
    OpenManager();
    scanner_.UserSelect = 1;
    EXPECT_EQ(manager_->ChooseSource(), 1);
    scanner_.UserSelect = -1;
    EXPECT_EQ(manager_->ChooseSource(), -1) << "cancelled";
    scanner_.UserSelect = 0;
    scanner_.SelectIdDelta = 100;
    EXPECT_EQ(manager_->ChooseSource(), -1) << "the Id differs";
    EXPECT_FALSE(manager_->Selecting());
}

TEST_F(TwainTest, ASourceTheSelectionFoundLaterJoinsTheEndOfTheList) {
    scanner_.Sources = {"One", "Two"};
    OpenManager();
    ASSERT_EQ(manager_->SourceCount(), 2);
    TTwainSource* first = manager_->SourceAt(0);
    TTwainSource* second = manager_->SourceAt(1);
    // The dialog's own search finds a network scanner that did not answer when the list was made.
    scanner_.Sources = {"One", "Two", "Network"};
    scanner_.UserSelect = 2;
    EXPECT_EQ(manager_->ChooseSource(), 2);
    ASSERT_EQ(manager_->SourceCount(), 3);
    EXPECT_EQ(manager_->SourceAt(0), first) << "the listed sources keep their places";
    EXPECT_EQ(manager_->SourceAt(1), second);
    EXPECT_STREQ(manager_->SourceAt(2)->Record().ProductName, "Network");
    EXPECT_EQ(manager_->SourceAt(2)->Index(), 2);
    scanner_.UserSelect = 1;
    EXPECT_EQ(manager_->ChooseSource(), 1) << "an identity listed already";
    scanner_.UserSelect = 2;
    scanner_.SelectIdDelta = 100;
    EXPECT_EQ(manager_->ChooseSource(), -1) << "an identity the manager does not list";
    EXPECT_EQ(manager_->SourceCount(), 3);
}

TEST_F(TwainTest, ChooseSourceWhileSelectingAsksNothing) {
    OpenManager();
    // The selection dialog pumps messages; a handler run meanwhile tries to open a second dialog.
    int nested = 0;
    const TFakeScript script = scanner_.Script();
    Control()->Script = [&](const TFakeCall& call, TW_IDENTITY* o, TW_IDENTITY* d, TW_MEMREF data) {
        if (call.MSG == MSG_USERSELECT && nested == 0) {
            EXPECT_TRUE(manager_->Selecting());
            const std::size_t before = CallCount();
            nested = manager_->ChooseSource();
            EXPECT_EQ(CallCount(), before) << "no call to the manager";
        }
        return script(call, o, d, data);
    };
    EXPECT_EQ(manager_->ChooseSource(), 0);
    EXPECT_EQ(nested, -1);
    Control()->Script = script;
}

TEST_F(TwainTest, VirtualWindowForwardsOnlyWhileASourceIsOpen) {
    OpenManager();
    TTwainSource* source = manager_->SourceAt(0);
    PostMessageA(manager_->VirtualWindow(), 0x0400 + 42, MSG_CLOSEDSREQ, 0);
    DeliverPosted();
    EXPECT_EQ(CountOf("CONTROL/EVENT/PROCESSEVENT"), 0u) << "no source open";

    source->SetLoaded(true);
    EXPECT_EQ(manager_->OpenedSourceCount(), 1);
    PostMessageA(manager_->VirtualWindow(), 0x0400 + 1, 0, 0);
    DeliverPosted();
    EXPECT_EQ(CountOf("CONTROL/EVENT/PROCESSEVENT"), 0u) << "open but not enabled";

    source->SetEnabled(true);
    const std::size_t before = CallCount();
    PostMessageA(manager_->VirtualWindow(), 0x0400 + 1, 7, 9);
    DeliverPosted();
    ASSERT_EQ(CallNames(before), std::vector<std::string>{"CONTROL/EVENT/PROCESSEVENT"});
    EXPECT_EQ(Calls()[before].WindowMessage, 0x0400u + 1);
    EXPECT_EQ(Calls()[before].DestinationName, "Scanner A");
}

TEST_F(TwainTest, DestroyingTheComponentClosesEverythingInOrder) {
    TTwainSource* source = EnableFirstSource();
    ASSERT_NE(source, nullptr);
    const std::size_t before = CallCount();
    manager_.reset();
    EXPECT_EQ(CallNames(before),
              (std::vector<std::string>{"CONTROL/USERINTERFACE/DISABLEDS", "CONTROL/IDENTITY/CLOSEDS",
                                        "CONTROL/PARENT/CLOSEDSM"}));
}
