// The basic types and handles of the Win32-shaped services the TWAIN side of the program talks to.
//
// Handles are opaque, pointer-sized values. They are never addresses: each one is a key into a table
// kept by the platform library, so a stale or made-up handle is refused instead of dereferenced.
#pragma once

#include <cstdint>

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using ATOM = WORD;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using LONG_PTR = std::intptr_t;
using LPSTR = char*;
using LPCSTR = const char*;
using LPVOID = void*;

// Some C headers (libjpeg's among them) define these as macros with the same values.
#ifndef FALSE
constexpr BOOL FALSE = 0;
#endif
#ifndef TRUE
constexpr BOOL TRUE = 1;
#endif

// Each kind of handle is its own pointer type, so one kind cannot be passed where another is expected.
#define ZRK_DECLARE_HANDLE(name)                                                                             \
    struct name##__;                                                                                         \
    using name = name##__*

ZRK_DECLARE_HANDLE(HWND);
ZRK_DECLARE_HANDLE(HINSTANCE);
ZRK_DECLARE_HANDLE(HICON);
ZRK_DECLARE_HANDLE(HCURSOR);
ZRK_DECLARE_HANDLE(HBRUSH);
ZRK_DECLARE_HANDLE(HMENU);
ZRK_DECLARE_HANDLE(HDC);
ZRK_DECLARE_HANDLE(HBITMAP);
ZRK_DECLARE_HANDLE(HGLOBAL);

#undef ZRK_DECLARE_HANDLE

using HANDLE = void*;
using HGDIOBJ = void*;
using HMODULE = HINSTANCE;

struct POINT {
    LONG x = 0;
    LONG y = 0;
};

// A window message as the message queue hands it out.
struct MSG {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    DWORD time = 0;
    POINT pt;
};
