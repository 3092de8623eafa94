#include "GlobalMemory.h"

#include "HandleTable.h"

#include <cstdlib>

namespace {

struct TBlock {
    std::size_t size = 0;
    int locks = 0;
    void* data = nullptr;
    ~TBlock() { std::free(data); }
};

platform::THandleTable<TBlock>& Blocks() {
    static platform::THandleTable<TBlock> table;
    return table;
}

} // namespace

HGLOBAL GlobalAlloc(UINT, std::size_t bytes) {
    if (bytes == 0 || bytes > kGlobalMemoryLimit)
        return nullptr;
    auto block = std::make_unique<TBlock>();
    block->data = std::calloc(bytes, 1);
    if (!block->data)
        return nullptr;
    block->size = bytes;
    return Blocks().Add<HGLOBAL>(std::move(block));
}

HGLOBAL GlobalFree(HGLOBAL memory) {
    return Blocks().Remove(memory) ? nullptr : memory;
}

LPVOID GlobalLock(HGLOBAL memory) {
    void* address = nullptr;
    Blocks().WithLocked(memory, [&](TBlock& block) {
        ++block.locks;
        address = block.data;
    });
    return address;
}

BOOL GlobalUnlock(HGLOBAL memory) {
    BOOL stillLocked = FALSE;
    Blocks().WithLocked(memory, [&](TBlock& block) {
        if (block.locks > 0)
            --block.locks;
        stillLocked = block.locks > 0 ? TRUE : FALSE;
    });
    return stillLocked;
}

std::size_t GlobalSize(HGLOBAL memory) {
    std::size_t size = 0;
    Blocks().WithLocked(memory, [&](TBlock& block) { size = block.size; });
    return size;
}
