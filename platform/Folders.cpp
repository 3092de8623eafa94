#include "Folders.h"

#include "HandleTable.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

// The program's library folder, relative to the folder of its executable.
#ifndef ZRK_LIBRARY_DIR_FROM_EXECUTABLE
#define ZRK_LIBRARY_DIR_FROM_EXECUTABLE "../lib/zrk201"
#endif
#ifndef ZRK_SYSTEM_LIBRARY_DIR
#define ZRK_SYSTEM_LIBRARY_DIR "/usr/lib"
#endif

namespace {

std::string ExecutableFile() {
    std::string path(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    path.resize(length > 0 ? std::size_t(length) : 0);
    return path;
}

class TMachineFolders : public TSystemFolders {
public:
    std::string Path(TSystemFolder folder) const override {
        switch (folder) {
        case TSystemFolder::sfWindows: {
            // Wherever the program was installed, its libraries lie at the same place beside it.
            const std::string executable = ExecutableFile();
            if (executable.empty())
                return {};
            const std::filesystem::path library =
                std::filesystem::path(executable).parent_path() / ZRK_LIBRARY_DIR_FROM_EXECUTABLE;
            return library.lexically_normal().string();
        }
        case TSystemFolder::sfSystem:
            return ZRK_SYSTEM_LIBRARY_DIR;
        case TSystemFolder::sfCurrent: {
            char* cwd = getcwd(nullptr, 0);
            std::string path = cwd ? cwd : "";
            std::free(cwd);
            return path;
        }
        case TSystemFolder::sfExecutableFile:
            return ExecutableFile();
        case TSystemFolder::sfTemp: {
            const char* tmp = std::getenv("TMPDIR");
            return tmp && *tmp ? std::string(tmp) : std::string("/tmp/");
        }
        }
        return {};
    }
};

std::atomic<const TSystemFolders*> installedFolders{nullptr};

const TSystemFolders& Folders() {
    const TSystemFolders* folders = installedFolders.load();
    return folders ? *folders : DefaultSystemFolders();
}

DWORD CopyPath(const std::string& path, char* buffer, std::size_t size) {
    if (path.empty())
        return 0;
    if (!buffer || path.size() + 1 > size)
        return DWORD(path.size() + 1);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return DWORD(path.size());
}

struct TSearch {};

platform::THandleTable<TSearch>& Searches() {
    static platform::THandleTable<TSearch> table;
    return table;
}

} // namespace

const TSystemFolders& DefaultSystemFolders() {
    static const TMachineFolders folders;
    return folders;
}

void SetSystemFolders(const TSystemFolders* folders) {
    installedFolders.store(folders);
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    return CopyPath(Folders().Path(TSystemFolder::sfWindows), buffer, size);
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
    return CopyPath(Folders().Path(TSystemFolder::sfSystem), buffer, size);
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    return CopyPath(Folders().Path(TSystemFolder::sfCurrent), buffer, size);
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    if (module)
        return 0;
    return CopyPath(Folders().Path(TSystemFolder::sfExecutableFile), buffer, size);
}

DWORD GetTempPathA(DWORD size, LPSTR buffer) {
    return CopyPath(Folders().Path(TSystemFolder::sfTemp), buffer, size);
}

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* found) {
    if (!pattern || !*pattern)
        return INVALID_HANDLE_VALUE;
    glob_t matches{};
    if (glob(pattern, GLOB_NOSORT, nullptr, &matches) != 0 || matches.gl_pathc == 0) {
        globfree(&matches);
        return INVALID_HANDLE_VALUE;
    }
    const std::string path = matches.gl_pathv[0];
    globfree(&matches);
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return INVALID_HANDLE_VALUE;
    if (found) {
        *found = WIN32_FIND_DATAA{};
        found->dwFileAttributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
        found->nFileSizeHigh = DWORD(std::uint64_t(info.st_size) >> 32);
        found->nFileSizeLow = DWORD(info.st_size);
        const std::string name = path.substr(path.find_last_of('/') + 1);
        std::strncpy(found->cFileName, name.c_str(), MAX_PATH - 1);
    }
    return Searches().Add<HANDLE>(std::make_unique<TSearch>());
}

BOOL FindClose(HANDLE search) {
    return Searches().Remove(search) ? TRUE : FALSE;
}
