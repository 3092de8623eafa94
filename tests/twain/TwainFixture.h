// The common ground of the TWAIN tests: the test source manager loaded through the real library search,
// a scripted scanner answering it, and a component to drive.
#pragma once

#include "FakeScanner.h"
#include "Folders.h"
#include "TwainManager.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

// Five folders chosen by the test, in the order of the library search.
class TTestFolders : public TSystemFolders {
public:
    std::array<std::string, 5> Paths;
    std::string Path(TSystemFolder folder) const override { return Paths[std::size_t(folder)]; }
};

class TwainTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Library loaded and manager open.
    void OpenManager();
    // The first source opened and enabled.
    TTwainSource* EnableFirstSource();
    // Delivers the messages posted to windows of this thread.
    static void DeliverPosted();
    // Names of the calls recorded from position `from` on.
    std::vector<std::string> CallNames(std::size_t from = 0) const;
    std::size_t CallCount() const { return control_->Calls.size(); }
    const std::vector<TFakeCall>& Calls() const { return control_->Calls; }
    std::size_t CountOf(const std::string& name, std::size_t from = 0) const;
    TFakeDsmControl* Control() const { return control_; }

    TTestFolders folders_;
    TFakeScanner scanner_;
    std::unique_ptr<TTwainManager> manager_;

private:
    void* library_ = nullptr;
    TFakeDsmControl* control_ = nullptr;
};
