// Message-only windows: a window class with a window procedure, windows with a user-data slot and a
// creation parameter, and the message calls. Messages posted from any thread are delivered on the thread
// that created the window, through that thread's Qt event loop.
#pragma once

#include "WinTypes.h"

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_USER = 0x0400;

constexpr int GWLP_USERDATA = -21;
constexpr int COLOR_WINDOW = 5;

struct WNDCLASSA {
    UINT style = 0;
    WNDPROC lpfnWndProc = nullptr;
    int cbClsExtra = 0;
    int cbWndExtra = 0;
    HINSTANCE hInstance = nullptr;
    HICON hIcon = nullptr;
    HCURSOR hCursor = nullptr;
    HBRUSH hbrBackground = nullptr;
    LPCSTR lpszMenuName = nullptr;
    LPCSTR lpszClassName = nullptr;
};

// What WM_CREATE carries in its lParam.
struct CREATESTRUCTA {
    LPVOID lpCreateParams = nullptr;
    HINSTANCE hInstance = nullptr;
    HMENU hMenu = nullptr;
    HWND hwndParent = nullptr;
    int cy = 0;
    int cx = 0;
    int y = 0;
    int x = 0;
    LONG style = 0;
    LPCSTR lpszName = nullptr;
    LPCSTR lpszClass = nullptr;
    DWORD dwExStyle = 0;
};

// The instance of the running program (the only module that registers window classes).
HINSTANCE GetModuleHandleA(LPCSTR moduleName);

// Registers a class by name; 0 when the name is taken or the class has no procedure.
ATOM RegisterClassA(const WNDCLASSA* windowClass);
BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance);

// Creates a window of a registered class and sends it WM_CREATE with a CREATESTRUCTA whose
// lpCreateParams is `param`. A window procedure answering WM_CREATE with -1 refuses the window.
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
// Sends WM_DESTROY and forgets the window; messages still queued for it are dropped.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);

LONG_PTR GetWindowLongPtrA(HWND window, int index);
// Returns the previous value.
LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value);

// Queues a message for the window; safe from any thread. FALSE for a window that does not exist.
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Calls the window procedure and returns its answer; from another thread it waits for the window's
// thread to handle the call.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The mouse position on the screen; (0, 0) without a graphical session.
BOOL GetCursorPos(POINT* point);
