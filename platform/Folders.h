// The standard folders and file finding.
//
// A Windows program looks for shared libraries in the Windows folder, the system folder, the current
// folder, its own executable's folder and the temporary folder. On Linux these are the program's
// installed library folder, the system library folder, the current folder, the executable's folder and
// the temporary folder. Where they are comes from a TSystemFolders object that tests may replace.
#pragma once

#include "WinTypes.h"

#include <string>

constexpr DWORD MAX_PATH = 260;

enum class TSystemFolder { sfWindows, sfSystem, sfCurrent, sfExecutableFile, sfTemp };

class TSystemFolders {
public:
    virtual ~TSystemFolders() = default;
    // The folder's path, or the executable file's full path for sfExecutableFile; empty when unknown.
    virtual std::string Path(TSystemFolder folder) const = 0;
};

// The folders of this machine and program.
const TSystemFolders& DefaultSystemFolders();
// Replaces the folders the calls below report; nullptr goes back to the default. The caller keeps
// ownership and keeps the object alive while it is installed.
void SetSystemFolders(const TSystemFolders* folders);

// Each call copies the path with its terminating zero into the buffer and returns its length without
// the zero. When the buffer is too small nothing is copied and the size needed, zero included, is
// returned. 0 means the folder is not known.
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
// The running executable's file (the module must be nullptr, the program itself).
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
DWORD GetTempPathA(DWORD size, LPSTR buffer);

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes = 0;
    DWORD nFileSizeHigh = 0;
    DWORD nFileSizeLow = 0;
    char cFileName[MAX_PATH] = {};
};

constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t(0));

// The first file matching a path (shell wildcards * and ? allowed in its last part), or
// INVALID_HANDLE_VALUE when nothing matches. The search handle must be closed with FindClose.
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* found);
BOOL FindClose(HANDLE search);
