// Dynamic libraries, loaded by path. A library exports its entry points by name; the few that Win32
// programs ask for by ordinal are mapped onto names here ("ordinal 1" is the source manager's DSM_Entry).
#pragma once

#include "WinTypes.h"

using FARPROC = void (*)();

// The Win32 way of passing an ordinal where a name is expected.
inline LPCSTR MAKEINTRESOURCEA(WORD ordinal) {
    return reinterpret_cast<LPCSTR>(std::uintptr_t(ordinal));
}

// nullptr when the file cannot be loaded.
HMODULE LoadLibraryA(LPCSTR path);
// An entry point by name, or by ordinal given through MAKEINTRESOURCEA; nullptr if there is none.
FARPROC GetProcAddress(HMODULE module, LPCSTR nameOrOrdinal);
BOOL FreeLibrary(HMODULE module);
