// The size of one row of a device-independent bitmap, kept in a folder of its own so that the toolkit,
// the platform layer, the TWAIN component and the source manager, which may not reach one another, all
// lay out rows the same way.
#pragma once

#include <cstdint>
#include <limits>

// Bytes in one row of a bitmap of `width` pixels at `bitsPerPixel`, padded to whole 32-bit words.
// 0 when the width or the depth is not positive, or when the row would not fit in 64 bits.
constexpr std::uint64_t DibRowSize(std::int64_t width, int bitsPerPixel) {
    if (width <= 0 || bitsPerPixel <= 0)
        return 0;
    const auto pixels = std::uint64_t(width);
    const auto bits = std::uint64_t(bitsPerPixel);
    // Every whole group of 32 pixels fills exactly `bits` words; the pixels left over are rounded up.
    const std::uint64_t groupBytes = 4 * bits;
    const std::uint64_t tailBytes = (pixels % 32 * bits + 31) / 32 * 4;
    const std::uint64_t groups = pixels / 32;
    if (groups > (std::numeric_limits<std::uint64_t>::max() - tailBytes) / groupBytes)
        return 0;
    return groups * groupBytes + tailBytes;
}
