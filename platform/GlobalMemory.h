// Movable global memory blocks, the currency in which TWAIN hands records between the program, the
// source manager and the sources. A block is reached only through its handle: GlobalLock gives its
// address until the matching GlobalUnlock.
#pragma once

#include "WinTypes.h"

#include <cstddef>

constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

// The largest block handed out; a request above it fails like an allocation the system cannot meet.
constexpr std::size_t kGlobalMemoryLimit = std::size_t(1) << 30;

// A new block, zero-filled whatever the flags say; nullptr when the size is 0 or too large.
HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes);
// nullptr on success, the handle itself when it is not a block.
HGLOBAL GlobalFree(HGLOBAL memory);
// The block's address (and one more lock), or nullptr for a handle that is not a block.
LPVOID GlobalLock(HGLOBAL memory);
// TRUE while the block stays locked, FALSE when this was the last lock or the handle is not a block.
BOOL GlobalUnlock(HGLOBAL memory);
// The block's size in bytes, 0 for a handle that is not a block.
std::size_t GlobalSize(HGLOBAL memory);
