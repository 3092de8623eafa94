#include "TwainFixture.h"

#include <QCoreApplication>

#include <dlfcn.h>

void TwainTest::SetUp() {
    // The fixture holds the library too, so its control block outlives the component's own loading.
    library_ = dlopen(ZRK_FAKEDSM_PATH, RTLD_NOW);
    ASSERT_NE(library_, nullptr) << dlerror();
    auto control = reinterpret_cast<TFakeDsmControl* (*)()>(dlsym(library_, "FakeDsmControl"));
    ASSERT_NE(control, nullptr);
    control_ = control();
    control_->Calls.clear();
    control_->Script = scanner_.Script();
    folders_.Paths = {ZRK_FAKEDSM_DIR, "", "", "", ""};
    SetSystemFolders(&folders_);
    manager_ = std::make_unique<TTwainManager>();
}

void TwainTest::TearDown() {
    manager_.reset();
    DeliverPosted();
    SetSystemFolders(nullptr);
    if (control_) {
        control_->Script = nullptr;
        control_->Calls.clear();
    }
    if (library_)
        dlclose(library_);
}

void TwainTest::OpenManager() {
    manager_->SetLibraryLoaded(true);
    manager_->SetSourceManagerLoaded(true);
    ASSERT_TRUE(manager_->SourceManagerLoaded());
}

TTwainSource* TwainTest::EnableFirstSource() {
    OpenManager();
    TTwainSource* source = manager_->SourceAt(0);
    EXPECT_NE(source, nullptr);
    if (!source)
        return nullptr;
    source->SetLoaded(true);
    source->SetEnabled(true);
    EXPECT_TRUE(source->Enabled());
    return source;
}

void TwainTest::DeliverPosted() {
    QCoreApplication::sendPostedEvents();
}

std::vector<std::string> TwainTest::CallNames(std::size_t from) const {
    std::vector<std::string> names;
    for (std::size_t i = from; i < control_->Calls.size(); ++i)
        names.push_back(control_->Calls[i].Name());
    return names;
}

std::size_t TwainTest::CountOf(const std::string& name, std::size_t from) const {
    std::size_t count = 0;
    for (std::size_t i = from; i < control_->Calls.size(); ++i)
        count += control_->Calls[i].Name() == name ? 1 : 0;
    return count;
}
