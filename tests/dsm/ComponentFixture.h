// The program's TWAIN component over this source manager, as the main window drives it: the component
// loads the library from the build, opens the manager and a source, and every event it raises is
// recorded. A scan enables the source and delivers messages until the source is disabled again.
#pragma once

#include "DsmFixture.h"

#include "Bitmap.h"
#include "Folders.h"
#include "TwainManager.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TBuildFolders : public TSystemFolders {
public:
    std::string Path(TSystemFolder folder) const override {
        return folder == TSystemFolder(0) ? std::string(ZRK_DSM_DIR) : std::string();
    }
};

// What the component reported during one scan.
struct TScanOutcome {
    struct TPage {
        int width = 0, height = 0;
        TPixelFormat format = TPixelFormat::pf32bit;
    };
    std::vector<TPage> pages;
    std::vector<std::string> files;
    std::vector<std::pair<int, int>> errors; // return code, condition code
    int cancels = 0;
    TW_UINT16 conditionAtCancel = 0xffff;
    std::string message; // what the source says about the failed scan
    bool ended = false;  // the run is over: the source is no longer enabled
};

class ComponentTest : public DsmTest {
protected:
    void SetUp() override {
        DsmTest::SetUp();
        ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &window_), TWRC_SUCCESS);
        managerOpen_ = false;
        SetSystemFolders(&folders_);
        manager_ = std::make_unique<TTwainManager>();
        manager_->OnTwainAcquire = [this](TObject*, int, TBitmap* image, bool& cancel) {
            outcome_.pages.push_back({image->Width(), image->Height(), image->PixelFormat()});
            if (onAcquire)
                onAcquire(cancel);
        };
        manager_->OnSourceFileTransfer = [this](TObject*, int, TW_STR255& name, TTwainFormat, bool&) {
            outcome_.files.emplace_back(name);
        };
        manager_->OnAcquireError = [this](TObject*, int, int code, int additional) {
            outcome_.errors.push_back({code, additional});
        };
        manager_->OnAcquireCancel = [this](TObject*, int) {
            ++outcome_.cancels;
            if (source_)
                outcome_.conditionAtCancel = source_->GetConditionCode();
        };
        manager_->SetLibraryLoaded(true);
        manager_->SetSourceManagerLoaded(true);
        ASSERT_TRUE(manager_->SourceManagerLoaded());
        stuckSeen_ = StuckWorkers();
    }

    void TearDown() override {
        source_ = nullptr;
        manager_.reset();
        SetSystemFolders(nullptr);
        DsmTest::TearDown();
    }

    // The listed source at `index`, opened, without its window; by default the first device that the
    // test backend has not lost earlier in this process (see MoveOnFromALostDevice).
    TTwainSource* OpenSource(int index = -1) {
        if (index < 0)
            index = deviceIndex_ = std::min(LostInThisProcess(), std::max(manager_->SourceCount() - 1, 0));
        source_ = manager_->SourceAt(index);
        EXPECT_NE(source_, nullptr);
        if (!source_)
            return nullptr;
        source_->SetShowUI(false);
        source_->SetLoaded(true);
        EXPECT_TRUE(source_->Loaded());
        return source_;
    }

    // Enables the source (it scans at once with the options set for it) and delivers messages until the
    // source is disabled or the time is up.
    TScanOutcome Scan(int milliseconds = 20000) {
        outcome_ = TScanOutcome{};
        source_->SetEnabled(true);
        QElapsedTimer timer;
        timer.start();
        while (source_->Enabled() && timer.elapsed() < milliseconds)
            Pump(5);
        outcome_.ended = !source_->Enabled();
        outcome_.message = LastMessage(source_->Record());
        return outcome_;
    }

    // SANE's test backend stops the reader thread of a scan at once when the scan is cancelled; now and
    // then that thread is stopped while it holds the allocator's lock and never ends, and the cancel
    // waits for it for ever. The source manager then gives up on its worker, as on any device that stops
    // answering, and the failure reaches the program; but the test backend keeps that device busy for
    // the rest of the process. When that happened during the last scan, the test goes on with the next
    // device. True when it did.
    bool MoveOnFromALostDevice() {
        if (StuckWorkers() <= stuckSeen_)
            return false;
        stuckSeen_ = StuckWorkers();
        ++lostDevices_;
        ++LostInThisProcess();
        std::printf("note: the test backend lost device %d; going on with the next\n", deviceIndex_);
        source_->SetLoaded(false);
        ++deviceIndex_;
        const TTwainTransferMode mode = source_->TransferMode();
        if (deviceIndex_ >= manager_->SourceCount())
            return false;
        OpenSource(deviceIndex_);
        source_->SetTransferMode(mode);
        return true;
    }

    // A scan on a device of the test backend that does not end: the person gives up and closes the
    // scanner's window, which must take effect at once. The device is then left for the next one.
    // True when the scan had to be given up.
    bool GiveUpOnAScanThatDoesNotEnd(const TScanOutcome& outcome) {
        if (outcome.ended)
            return false;
        source_->SetEnabled(false);
        EXPECT_FALSE(source_->Enabled());
        ++givenUp_;
        std::printf("note: a scan on device %d did not end and was given up\n", deviceIndex_);
        Pump(400); // longer than the source manager waits for a worker to stop
        MoveOnFromALostDevice();
        return true;
    }

    // Devices lost in this process, by any test: the next test starts past them.
    static int& LostInThisProcess() {
        static int lost = 0;
        return lost;
    }

    int givenUp_ = 0;
    int deviceIndex_ = 0;
    int stuckSeen_ = 0;
    int lostDevices_ = 0;

    // Called inside OnTwainAcquire with its Cancel flag.
    std::function<void(bool&)> onAcquire;

    TBuildFolders folders_;
    std::unique_ptr<TTwainManager> manager_;
    TTwainSource* source_ = nullptr;
    TScanOutcome outcome_;
};
