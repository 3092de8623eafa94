// The per-channel formulas of the tone chain that need more than integer arithmetic: posterize's
// rounded quotient, the split-light sine and the weighted grey level. The sine and the grey weights
// are defined by an evaluation in extended precision (64-bit significand), and these functions give
// exactly that evaluation's results.
#pragma once

#include <cstdint>

namespace tone {

// round(c / n) × n, the quotient rounded to the nearest integer with halves to the even neighbour;
// n must not be 0. The product may exceed 255.
int Posterize(int c, int n);

// One split-light step: round(255 × sin(c / 255 × π / 2)) for c in 0 .. 255.
std::uint8_t SplitLightStep(int c);

// The grey level round(0.3 R + 0.59 G + 0.11 B) as extended precision gives it. Integer arithmetic
// decides every pixel whose exact weighted sum is not a half; halves take the extended evaluation.
std::uint8_t GrayLevel(int r, int g, int b);

// The extended-precision evaluation itself, (R × 0.3 + G × 0.59) + B × 0.11, rounded half to even.
std::uint8_t GrayLevelExtended(int r, int g, int b);

// For a colour whose exact weighted sum 30 R + 59 G + 11 B ends in 50 (a half), whether the extended
// evaluation rounds it up. Answered from a table made once per process (the first call makes it), so
// that pixel passes need not evaluate halves one by one.
bool GrayHalfRoundsUp(int r, int g, int b);

// The same table for vector code: entry (R << 8 | G) holds in bit k the answer for blue B with
// B div 100 = k. Three bytes more follow its 65536 entries, so that four bytes may be read at any entry.
const std::uint8_t* GrayHalfTable();

// Arithmetic on 32-bit signed values that wraps around instead of overflowing.
inline std::int32_t Add32(std::int32_t a, std::int32_t b) {
    return std::int32_t(std::uint32_t(a) + std::uint32_t(b));
}
inline std::int32_t Mul32(std::int32_t a, std::int32_t b) {
    return std::int32_t(std::uint32_t(a) * std::uint32_t(b));
}

} // namespace tone
