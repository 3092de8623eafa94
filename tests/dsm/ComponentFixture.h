// The program's TWAIN component over this source manager, as the main window drives it: the component
// loads the library from the build, opens the manager and a source, and every event it raises is
// recorded. A scan enables the source and delivers messages until the source is disabled again.
#pragma once

#include "DsmFixture.h"

#include "Bitmap.h"
#include "Folders.h"
#include "TwainManager.h"

#include <QElapsedTimer>

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
    }

    void TearDown() override {
        source_ = nullptr;
        manager_.reset();
        SetSystemFolders(nullptr);
        DsmTest::TearDown();
    }

    // The listed source at `index`, opened, without its window.
    TTwainSource* OpenSource(int index = 0) {
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

    // Called inside OnTwainAcquire with its Cancel flag.
    std::function<void(bool&)> onAcquire;

    TBuildFolders folders_;
    std::unique_ptr<TTwainManager> manager_;
    TTwainSource* source_ = nullptr;
    TScanOutcome outcome_;
};
