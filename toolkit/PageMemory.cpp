#include "PageMemory.h"

#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include <sys/mman.h>

namespace {

// From this size on, blocks are mapped on their own (and returned to the system when freed).
constexpr std::size_t kMappedBytes = std::size_t(8) << 20;

// Large blocks of AllocateReadMemory let go of, newest last.
constexpr std::size_t kKeptBlocks = 2;
std::mutex g_keptMutex;
// Whether blocks let go of are kept: from the first file read on, until the kept blocks are given back
// (a scanned page is coming, whose memory is of no use to the next one).
bool g_keeping = false;
std::vector<std::pair<std::uint8_t*, std::size_t>>& Kept() {
    static auto* kept = new std::vector<std::pair<std::uint8_t*, std::size_t>>; // outlives every block
    return *kept;
}

TPageMemory MapPages(std::size_t bytes, bool keep) {
    void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    madvise(memory, bytes, MADV_HUGEPAGE); // a hint: without huge pages the block works all the same
#endif
    return TPageMemory(static_cast<std::uint8_t*>(memory), TPageMemoryRelease{bytes, keep});
}

} // namespace

void TPageMemoryRelease::operator()(std::uint8_t* memory) const noexcept {
    if (!memory)
        return;
    if (bytes < kMappedBytes) {
        delete[] memory;
        return;
    }
    if (keep) {
        std::pair<std::uint8_t*, std::size_t> oldest{nullptr, 0};
        {
            const std::lock_guard lock(g_keptMutex);
            auto& kept = Kept();
            if (!g_keeping) {
                munmap(memory, bytes);
                return;
            }
            try {
                kept.emplace_back(memory, bytes);
            } catch (...) {
                munmap(memory, bytes);
                return;
            }
            if (kept.size() > kKeptBlocks) {
                oldest = kept.front();
                kept.erase(kept.begin());
            }
        }
        if (oldest.first)
            munmap(oldest.first, oldest.second);
        return;
    }
    munmap(memory, bytes);
}

TPageMemory AllocateReadMemory(std::size_t bytes) {
    {
        const std::lock_guard lock(g_keptMutex);
        g_keeping = true;
    }
    return AllocateOverwriteMemory(bytes);
}

TPageMemory AllocateOverwriteMemory(std::size_t bytes) {
    if (bytes >= kMappedBytes) {
        const std::lock_guard lock(g_keptMutex);
        auto& kept = Kept();
        for (auto it = kept.rbegin(); it != kept.rend(); ++it)
            if (it->second == bytes) {
                std::uint8_t* memory = it->first;
                kept.erase(std::next(it).base());
                return TPageMemory(memory, TPageMemoryRelease{bytes, true});
            }
    }
    if (bytes < kMappedBytes)
        return AllocatePageMemory(bytes);
    return MapPages(bytes, true);
}

void ReleaseKeptMemory() {
    std::vector<std::pair<std::uint8_t*, std::size_t>> released;
    {
        const std::lock_guard lock(g_keptMutex);
        g_keeping = false;
        released.swap(Kept());
    }
    for (const auto& [memory, bytes] : released)
        munmap(memory, bytes);
}

bool PageMemoryStartsZero(std::size_t bytes) {
    return bytes >= kMappedBytes;
}

void AdviseHugePages(void* memory, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kHuge = std::uintptr_t(2) << 20;
    const auto begin = (reinterpret_cast<std::uintptr_t>(memory) + kHuge - 1) & ~(kHuge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(memory) + bytes) & ~(kHuge - 1);
    if (bytes >= kMappedBytes && end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)memory;
    (void)bytes;
#endif
}

TPageMemory AllocatePageMemory(std::size_t bytes) {
    if (bytes == 0)
        return TPageMemory(nullptr, TPageMemoryRelease{0});
    if (bytes < kMappedBytes)
        return TPageMemory(new std::uint8_t[bytes], TPageMemoryRelease{bytes});
    return MapPages(bytes, false);
}
