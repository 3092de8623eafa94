#include "Library.h"

#include "HandleTable.h"

#include <dlfcn.h>

namespace {

struct TLibrary {
    void* handle = nullptr;
};

platform::THandleTable<TLibrary>& Libraries() {
    static platform::THandleTable<TLibrary> table;
    return table;
}

// Entry points known by ordinal.
const char* NameOfOrdinal(std::uintptr_t ordinal) {
    return ordinal == 1 ? "DSM_Entry" : nullptr;
}

} // namespace

HMODULE LoadLibraryA(LPCSTR path) {
    if (!path || !*path)
        return nullptr;
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return nullptr;
    auto library = std::make_unique<TLibrary>();
    library->handle = handle;
    return Libraries().Add<HMODULE>(std::move(library));
}

FARPROC GetProcAddress(HMODULE module, LPCSTR nameOrOrdinal) {
    const auto value = reinterpret_cast<std::uintptr_t>(nameOrOrdinal);
    const char* name = value <= 0xFFFF ? NameOfOrdinal(value) : nameOrOrdinal;
    if (!name)
        return nullptr;
    void* symbol = nullptr;
    Libraries().WithLocked(module, [&](TLibrary& library) { symbol = dlsym(library.handle, name); });
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module) {
    std::unique_ptr<TLibrary> library = Libraries().Remove(module);
    if (!library)
        return FALSE;
    return dlclose(library->handle) == 0 ? TRUE : FALSE;
}
