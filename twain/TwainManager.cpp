#include "TwainManager.h"

#include "Library.h"
#include "TwainUtils.h"
#include "Window.h"

#include <cstring>

namespace {

constexpr const char* kVirtualWindowClass = "TWAINMANAGER_VIRTUALWINDOW";

// The virtual window's class is registered once for the whole program, before any component exists,
// and unregistered when the program ends.
class TVirtualWindowClass {
public:
    explicit TVirtualWindowClass(WNDPROC procedure) {
        if (registrations_++ > 0)
            return;
        WNDCLASSA windowClass;
        windowClass.style = 0;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(std::uintptr_t(COLOR_WINDOW + 1));
        windowClass.lpszMenuName = "";
        windowClass.lpszClassName = kVirtualWindowClass;
        RegisterClassA(&windowClass);
    }
    ~TVirtualWindowClass() {
        if (--registrations_ == 0)
            UnregisterClassA(kVirtualWindowClass, GetModuleHandleA(nullptr));
    }

private:
    static inline int registrations_ = 0;
};

} // namespace

// ===================================================================================================
// TTwainManager

TTwainManager::TTwainManager(TObject* owner) : owner_(owner) {
    static TVirtualWindowClass windowClass(&TTwainManager::VirtualWindowProc);
    virtualWindow_ = CreateWindowExA(0, kVirtualWindowClass, "Twain Manager virtual window", 0, 10, 10, 100,
                                     100, nullptr, nullptr, GetModuleHandleA(nullptr), this);
    info_ = std::make_unique<TTwainIdentity>(this);
    appIdentity_ = &info_->Record();
}

TTwainManager::~TTwainManager() {
    SetLibraryLoaded(false);
    DestroyWindow(virtualWindow_);
    FreeSourceList();
    keepAlive_.ReleaseRetired();
    appIdentity_ = nullptr;
}

TW_UINT16 TTwainManager::CallSourceManager(TW_IDENTITY* destination, TW_UINT32 group, TW_UINT16 dataType,
                                           TW_UINT16 message, TW_MEMREF data) {
    if (!entry_)
        return TWRC_FAILURE;
    const TKeepAlive::TScope busy(keepAlive_);
    try {
        return entry_(appIdentity_, destination, group, dataType, message, data);
    } catch (...) {
        return TWRC_FAILURE;
    }
}

void TTwainManager::SetLibraryLoaded(bool value) {
    if (value == libraryLoaded_)
        return;
    if (value) {
        const std::string folder = FindTwainLibrary();
        if (folder.empty())
            return;
        library_ = LoadLibraryA((folder + kTwainLibraryName).c_str());
        if (!library_)
            return;
        entry_ = reinterpret_cast<DSMENTRYPROC>(GetProcAddress(library_, MAKEINTRESOURCEA(1)));
        if (!entry_) {
            FreeLibrary(library_);
            library_ = nullptr;
            return;
        }
        libraryLoaded_ = true;
        return;
    }
    SetSourceManagerLoaded(false);
    if (keepAlive_.Busy()) {
        keepAlive_.Retire(library_);
    } else if (!FreeLibrary(library_)) {
        return;
    }
    library_ = nullptr;
    entry_ = nullptr;
    libraryLoaded_ = false;
}

void TTwainManager::SetSourceManagerLoaded(bool value) {
    if (!libraryLoaded_ || value == sourceManagerLoaded_)
        return;
    HWND parent = virtualWindow_;
    if (value) {
        sourceManagerLoaded_ =
            CallSourceManager(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent) == TWRC_SUCCESS;
        return;
    }
    FreeSourceList();
    if (CallSourceManager(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent) == TWRC_SUCCESS)
        sourceManagerLoaded_ = false;
}

bool TTwainManager::ListSources() {
    if (!libraryLoaded_ || !sourceManagerLoaded_)
        return false;
    FreeSourceList();
    ListNewSources();
    sourcesListed_ = true;
    return true;
}

void TTwainManager::FreeSourceList() {
    // Taken off the list first, so nothing reaches them through the list while they are closed.
    std::vector<TTwainSource*> listed;
    for (int i = 0; i < sources_.Count(); ++i)
        listed.push_back(sources_.Get(i));
    sources_.Clear();
    sourcesListed_ = false;
    for (TTwainSource* source : listed) {
        std::unique_ptr<TTwainSource> owned(source);
        if (keepAlive_.Busy()) {
            owned->CloseDS();
            keepAlive_.Retire(std::move(owned));
        }
    }
}

int TTwainManager::SourceCount() {
    if (!libraryLoaded_ || !sourceManagerLoaded_)
        return 0;
    if (!sourcesListed_)
        ListSources();
    return sources_.Count();
}

TTwainSource* TTwainManager::SourceAt(int index) {
    if (!libraryLoaded_ || !sourceManagerLoaded_)
        return nullptr;
    const int count = SourceCount();
    if (index >= 0 && index < count)
        return sources_.Get(index);
    if (index == -1 && count > 0) {
        const int defaultIndex = DefaultSourceIndex();
        return defaultIndex == -1 ? nullptr : sources_.Get(defaultIndex);
    }
    return nullptr;
}

int TTwainManager::DefaultSourceIndex() {
    if (!sourceManagerLoaded_)
        return 0;
    TW_IDENTITY identity{};
    if (CallSourceManager(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &identity) != TWRC_SUCCESS)
        return 0;
    return IndexOfIdentity(identity);
}

int TTwainManager::IndexOfIdentity(const TW_IDENTITY& identity) {
    const int count = SourceCount();
    for (int i = 0; i < count; ++i) {
        const TTwainSource* source = sources_.Get(i);
        if (source && std::memcmp(&source->Record(), &identity, sizeof identity) == 0)
            return i;
    }
    return -1;
}

int TTwainManager::ChooseSource() {
    if (!libraryLoaded_ || !sourceManagerLoaded_ || selecting_)
        return -1;
    selecting_ = true;
    TW_IDENTITY identity{};
    const TW_UINT16 answer = CallSourceManager(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &identity);
    selecting_ = false;
    if (answer != TWRC_SUCCESS)
        return -1;
    const int index = IndexOfIdentity(identity);
    if (index != -1)
        return index;
    // The selection dialog looks for devices anew, so it may offer one that was not there when the list
    // was made (a network scanner that answered only now): the manager is asked for its list again.
    ListNewSources();
    return IndexOfIdentity(identity);
}

void TTwainManager::ListNewSources() {
    // Sources not listed yet join the end of the list; those listed keep their places and objects.
    auto listed = [this](const TW_IDENTITY& identity) {
        for (int i = 0; i < sources_.Count(); ++i)
            if (std::memcmp(&sources_.Get(i)->Record(), &identity, sizeof identity) == 0)
                return true;
        return false;
    };
    auto source = std::make_unique<TTwainSource>(this);
    TW_UINT16 answer = CallSourceManager(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &source->Record());
    while (answer == TWRC_SUCCESS) {
        if (!listed(source->Record())) {
            source->SetTransferMode(transferMode_);
            source->SetIndex(sources_.Count());
            sources_.Add(source.release());
            source = std::make_unique<TTwainSource>(this);
        }
        answer = CallSourceManager(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &source->Record());
    }
}

LRESULT TTwainManager::VirtualWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return DefWindowProcA(window, message, wParam, lParam);
    }
    auto* manager = reinterpret_cast<TTwainManager*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (manager && manager->openedSourceCount_ > 0) {
        const TKeepAlive::TScope busy(manager->keepAlive_);
        MSG msg;
        msg.hwnd = window;
        msg.message = message;
        msg.wParam = wParam;
        msg.lParam = lParam;
        GetCursorPos(&msg.pt);
        const int count = manager->SourceCount();
        // A handler may change the list while a source works on the message: each source is looked up
        // afresh.
        for (int i = 0; i < count; ++i) {
            TTwainSource* source = manager->sources_.Get(i);
            if (source && source->Loaded() && source->Enabled() && source->ProcessEvent(&msg))
                return 0;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
