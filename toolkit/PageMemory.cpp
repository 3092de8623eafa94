#include "PageMemory.h"

#include <new>

#include <sys/mman.h>

namespace {

// From this size on, blocks are mapped on their own (and returned to the system when freed).
constexpr std::size_t kMappedBytes = std::size_t(8) << 20;

} // namespace

void TPageMemoryRelease::operator()(std::uint8_t* memory) const noexcept {
    if (!memory)
        return;
    if (bytes >= kMappedBytes)
        munmap(memory, bytes);
    else
        delete[] memory;
}

bool PageMemoryStartsZero(std::size_t bytes) {
    return bytes >= kMappedBytes;
}

TPageMemory AllocatePageMemory(std::size_t bytes) {
    if (bytes == 0)
        return TPageMemory(nullptr, TPageMemoryRelease{0});
    if (bytes < kMappedBytes)
        return TPageMemory(new std::uint8_t[bytes], TPageMemoryRelease{bytes});
    void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    madvise(memory, bytes, MADV_HUGEPAGE); // a hint: without huge pages the block works all the same
#endif
    return TPageMemory(static_cast<std::uint8_t*>(memory), TPageMemoryRelease{bytes});
}
