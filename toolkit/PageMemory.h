// Memory for the pixels of whole pages. Blocks of several megabytes come straight from the system,
// in huge pages where it offers them: a page of a hundred megabytes that is written once then faults
// in 2 MiB at a time instead of 4 KiB, which costs much less than the writing itself. Small blocks come
// from the heap. Large blocks start out zero; small ones hold whatever the heap gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

struct TPageMemoryRelease {
    std::size_t bytes = 0;
    void operator()(std::uint8_t* memory) const noexcept;
};

using TPageMemory = std::unique_ptr<std::uint8_t[], TPageMemoryRelease>;

// Raises std::bad_alloc when the memory cannot be had.
TPageMemory AllocatePageMemory(std::size_t bytes);

// Whether a block of this size starts out zero.
bool PageMemoryStartsZero(std::size_t bytes);
