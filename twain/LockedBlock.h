// A locked global memory block, unlocked when it goes out of scope.
#pragma once

#include "GlobalMemory.h"

#include <cstddef>
#include <cstdint>

class TLockedBlock {
public:
    explicit TLockedBlock(HGLOBAL block)
        : block_(block), data_(static_cast<std::uint8_t*>(GlobalLock(block))) {}
    ~TLockedBlock() {
        if (data_)
            GlobalUnlock(block_);
    }
    TLockedBlock(const TLockedBlock&) = delete;
    TLockedBlock& operator=(const TLockedBlock&) = delete;
    std::uint8_t* Data() const { return data_; }
    std::size_t Size() const { return data_ ? GlobalSize(block_) : 0; }

private:
    HGLOBAL block_;
    std::uint8_t* data_;
};
