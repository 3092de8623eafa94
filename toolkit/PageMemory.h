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
    bool keep = false; // a block of AllocateReadMemory, kept for the next one of its size
    void operator()(std::uint8_t* memory) const noexcept;
};

using TPageMemory = std::unique_ptr<std::uint8_t[], TPageMemoryRelease>;

// Raises std::bad_alloc when the memory cannot be had.
TPageMemory AllocatePageMemory(std::size_t bytes);

// Memory for the bytes of a file, or of a picture decoded from one, which the caller writes whole (the
// page pool): a large block let go of by an earlier user of the pool is taken again when it has the
// same size (its content is then whatever it held), which saves the system clearing new memory when
// page after page of one size is opened. At most two such blocks are kept. Reading a file starts the
// keeping.
TPageMemory AllocateReadMemory(std::size_t bytes);

// The same for pixels about to be overwritten whole (a rebuilt result): from the pool, without
// starting the keeping.
TPageMemory AllocateOverwriteMemory(std::size_t bytes);

// Gives the kept blocks back to the system and keeps no more until the next file is read (a scanned
// page follows; the pages before it are no use for its memory).
void ReleaseKeptMemory();

// Whether a block of AllocatePageMemory of this size starts out zero.
bool PageMemoryStartsZero(std::size_t bytes);

// Asks for huge pages for memory from elsewhere (a byte array of several megabytes) that is about to
// be written for the first time. Only a hint: memory too small, or a system without huge pages, is
// left as it is.
void AdviseHugePages(void* memory, std::size_t bytes);
