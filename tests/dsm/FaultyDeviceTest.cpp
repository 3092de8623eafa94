// A device that stops answering, or jams, through the program's component: the program stays in hand.
// Disabling, closing and ending the program each return within a second while a scan hangs, the hung
// worker is left behind with its device handle, and the next scan gets a handle of its own.
#include "ComponentFixture.h"
#include "ShownWindows.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTimer>

#include <dlfcn.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

struct TBackend {
    void (*release)() = nullptr;
    int (*waiting)() = nullptr;
    void (*rearm)() = nullptr;
};

// The misbehaving backend as libsane loaded it.
TBackend Backend() {
    TBackend backend;
    void* library = dlopen(ZRK_DSM_FAULTY_BACKEND, RTLD_NOW | RTLD_NOLOAD);
    if (!library)
        return backend;
    backend.release = reinterpret_cast<void (*)()>(dlsym(library, "FaultyBackend_Release"));
    backend.waiting = reinterpret_cast<int (*)()>(dlsym(library, "FaultyBackend_Waiting"));
    backend.rearm = reinterpret_cast<void (*)()>(dlsym(library, "FaultyBackend_Rearm"));
    dlclose(library);
    return backend;
}

bool ExitChild() {
    return std::getenv("ZRK_DSM_EXIT_CHILD") != nullptr;
}

} // namespace

class FaultyDeviceTest : public ComponentTest {
protected:
    void SetUp() override {
        if (SaneFolder() != ZRK_DSM_FAULTY_SANE)
            GTEST_SKIP() << "runs with the misbehaving device's configuration only";
        ComponentTest::SetUp();
        ASSERT_EQ(manager_->SourceCount(), 1);
        backend_ = Backend();
        ASSERT_TRUE(backend_.release && backend_.waiting && backend_.rearm);
        backend_.rearm();
    }

    void TearDown() override {
        if (!manager_)
            return;
        ComponentTest::TearDown();
        // What still hangs may end now; its worker closes its own handle.
        if (backend_.release && !ExitChild()) {
            backend_.release();
            Pump(50);
        }
    }

    // Enables the source with these options and waits until a call of the device hangs.
    void ScanUntilItHangs(const std::string& options) {
        const int before = backend_.waiting();
        ASSERT_EQ(setOptionsText(source_->Record(), options), 1);
        source_->SetEnabled(true);
        QElapsedTimer timer;
        timer.start();
        while (backend_.waiting() == before && timer.elapsed() < 60000)
            Pump(5);
        ASSERT_EQ(backend_.waiting(), before + 1) << "the device hangs";
    }

    void NextScanWorks() {
        ASSERT_EQ(setOptionsText(source_->Record(), "hang=none"), 1);
        const TScanOutcome next = Scan();
        ASSERT_TRUE(next.ended);
        ASSERT_EQ(next.pages.size(), 1u) << next.message;
        EXPECT_EQ(next.pages[0].width, 40);
        EXPECT_EQ(next.pages[0].height, 30);
    }

    // Runs `f` while a call of the device hangs. True when `f` came back with the call still hanging,
    // that is without waiting for the device; should it wait, the device is let go after a minute so
    // that the test ends, and fails.
    template <class F> bool ReturnsWhileTheDeviceHangs(F&& f) {
        std::mutex mutex;
        std::condition_variable changed;
        bool returned = false;
        bool letGo = false;
        std::thread watchdog([&] {
            std::unique_lock<std::mutex> lock(mutex);
            if (!changed.wait_for(lock, std::chrono::minutes(1), [&] { return returned; })) {
                letGo = true;
                backend_.release();
            }
        });
        f();
        {
            const std::lock_guard<std::mutex> lock(mutex);
            returned = true;
        }
        changed.notify_all();
        watchdog.join();
        return !letGo;
    }

    TBackend backend_;
};

TEST_F(FaultyDeviceTest, DisableCloseAndTheManagerReturnAtOnceWhileAReadHangs) {
    for (const char* where : {"hang=read", "hang=start"}) {
        SCOPED_TRACE(where);
        ASSERT_NE(OpenSource(), nullptr);
        ScanUntilItHangs(where);
        EXPECT_TRUE(ReturnsWhileTheDeviceHangs([&] { source_->SetEnabled(false); }));
        EXPECT_FALSE(source_->Enabled());
        EXPECT_TRUE(ReturnsWhileTheDeviceHangs([&] { source_->SetLoaded(false); }));
        EXPECT_FALSE(source_->Loaded());

        // Once more, left to the manager's close.
        ASSERT_NE(OpenSource(), nullptr);
        ScanUntilItHangs(where);
        EXPECT_EQ(backend_.waiting(), 2) << "the first worker still hangs";
        EXPECT_TRUE(ReturnsWhileTheDeviceHangs([&] { manager_->SetSourceManagerLoaded(false); }));
        manager_->SetSourceManagerLoaded(true);
        ASSERT_NE(OpenSource(), nullptr);
        NextScanWorks();
        backend_.release();
        Pump(20);
        backend_.rearm();
        source_->SetLoaded(false);
    }
}

TEST_F(FaultyDeviceTest, ASheetWhoseDeviceHangsAfterItIsReadIsStillDelivered) {
    ASSERT_NE(OpenSource(), nullptr);
    ASSERT_EQ(setOptionsText(source_->Record(), "hang=cancel"), 1);
    const TScanOutcome hung = Scan();
    EXPECT_TRUE(hung.ended);
    ASSERT_EQ(hung.pages.size(), 1u) << "the page was read whole before the device stopped answering";
    EXPECT_EQ(backend_.waiting(), 1);
    // The same source, a new device handle.
    NextScanWorks();
}

TEST_F(FaultyDeviceTest, TheScanWindowStaysResponsiveAndClosesWhileTheDeviceHangs) {
    ASSERT_NE(OpenSource(), nullptr);
    source_->SetShowUI(true);
    ASSERT_EQ(setOptionsText(source_->Record(), "hang=read"), 1);
    source_->SetEnabled(true);
    QWidget* dialog = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("scanDialog") && widget->isVisible())
            dialog = widget;
    ASSERT_NE(dialog, nullptr);
    auto* scan = dialog->findChild<QPushButton*>(QStringLiteral("scan"));
    ASSERT_NE(scan, nullptr);
    scan->click();
    QElapsedTimer timer;
    timer.start();
    while (backend_.waiting() == 0 && timer.elapsed() < 60000)
        Pump(5);
    ASSERT_EQ(backend_.waiting(), 1);
    EXPECT_TRUE(ReturnsWhileTheDeviceHangs([&] { Pump(100); })) << "the window answers";
    // Closing the window asks the program to close the source; the program disables it without
    // waiting for the device.
    EXPECT_TRUE(ReturnsWhileTheDeviceHangs([&] {
        dialog->close();
        timer.restart();
        while (source_->Enabled() && timer.elapsed() < 60000)
            Pump(5);
    }));
    EXPECT_FALSE(source_->Enabled());
    EXPECT_EQ(outcome_.cancels, 1);
    source_->SetShowUI(false);
    NextScanWorks();
}

// The second of three sheets jams: the first is delivered, the jam reaches the program as a failed image
// with the reason, and the run ends. The next run of the feeder scans all of its sheets.
TEST_F(FaultyDeviceTest, AJammedSheetOfTheFeederFailsItsImageWithTheReason) {
    ASSERT_NE(OpenSource(), nullptr);
    ASSERT_EQ(setOptionsText(source_->Record(), "source=Automatic Document Feeder;jam-at=2"), 1);
    const TScanOutcome jammed = Scan();
    EXPECT_TRUE(jammed.ended);
    EXPECT_EQ(jammed.pages.size(), 1u);
    ASSERT_EQ(jammed.errors.size(), 1u);
    EXPECT_EQ(jammed.errors[0].first, TWRC_FAILURE);
    EXPECT_EQ(jammed.errors[0].second, TWCC_PAPERJAM);
    EXPECT_NE(jammed.message.find("застряла бумага"), std::string::npos) << jammed.message;

    ASSERT_EQ(setOptionsText(source_->Record(), "source=Automatic Document Feeder;jam-at=0"), 1);
    const TScanOutcome all = Scan();
    EXPECT_TRUE(all.ended);
    EXPECT_EQ(all.pages.size(), 3u);
    EXPECT_TRUE(all.errors.empty());
    EXPECT_EQ(all.cancels, 1) << "the empty feeder asked to close the source";
}

// The program ends while a scan hangs: run in a process of its own, which must end although the device
// never answers.
TEST_F(FaultyDeviceTest, TheProgramEndsWhileAScanHangs) {
    ASSERT_NE(OpenSource(), nullptr);
    if (ExitChild()) {
        ScanUntilItHangs("hang=read");
        std::printf("hanging\n");
        std::fflush(stdout);
        return; // the component, the manager and the program end from here
    }
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ZRK_DSM_EXIT_CHILD"), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=FaultyDeviceTest.TheProgramEndsWhileAScanHangs")});
    ASSERT_TRUE(child.waitForStarted(10000));
    QByteArray output;
    QElapsedTimer timer;
    timer.start();
    while (!output.contains("hanging") && timer.elapsed() < 30000 && child.state() == QProcess::Running) {
        child.waitForReadyRead(100);
        output += child.readAllStandardOutput();
    }
    ASSERT_TRUE(output.contains("hanging")) << output.toStdString();
    // It ends although its device still hangs: a wait for the device would never end (a minute only
    // ends such a case).
    ASSERT_TRUE(child.waitForFinished(60000));
    output += child.readAllStandardOutput();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString() << child.readAllStandardError().toStdString();
}

// A preview whose device stops answering: the window goes on answering, says what it does, and closes;
// the next scan gets a device handle of its own.
TEST_F(FaultyDeviceTest, APreviewWhoseDeviceHangsLeavesTheWindowInHand) {
    ASSERT_NE(OpenSource(), nullptr);
    source_->SetShowUI(true);
    ASSERT_EQ(setOptionsText(source_->Record(), "hang=read"), 1);
    source_->SetEnabled(true);
    QWidget* dialog = ShownWindow("scanDialog");
    ASSERT_NE(dialog, nullptr);
    Child<QPushButton>(dialog, "previewScan")->click();
    QElapsedTimer timer;
    timer.start();
    while (backend_.waiting() == 0 && timer.elapsed() < 10000)
        Pump(5);
    ASSERT_EQ(backend_.waiting(), 1);
    // The window's own events still flow while the device hangs.
    bool answered = false;
    QTimer::singleShot(0, dialog, [&] { answered = true; });
    while (!answered && timer.elapsed() < 20000)
        Pump(5);
    EXPECT_TRUE(answered);
    EXPECT_TRUE(
        dialog->findChild<QLabel*>(QStringLiteral("message"))->text().contains(QStringLiteral("просмотр")));
    dialog->close();
    while (source_->Enabled() && timer.elapsed() < 20000)
        Pump(5);
    EXPECT_FALSE(source_->Enabled());
    source_->SetShowUI(false);
    NextScanWorks();
}
