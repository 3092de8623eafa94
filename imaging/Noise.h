// The process-wide pseudo-random generator and the noise fills built on it.
#pragma once

#include "PixelRows.h"

#include <cstdint>

class TBitmap;

// Limits a channel value to 0 .. 255.
constexpr int ClampByte(int v) {
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

// An integer in 0 .. n - 1 for n >= 1, from the one generator of the process (a 32-bit linear
// congruential generator whose state is 0 when the program starts). n below 1 still advances the
// generator and gives 0.
int RandomBelow(int n);

// The generator's state, for tests that need a known starting point.
std::uint32_t RandomState();
void SetRandomState(std::uint32_t state);

// Fill a noise picture with offsets ClampByte(RandomBelow(n) - n div 2). Colour noise draws red, green
// and blue of each pixel in that order; mono noise draws once per pixel and repeats the value in all
// three channels. Rows are filled top to bottom, pixels left to right. n below 1 fills nothing and
// draws nothing.
void FillColorNoise(PixelRows rows, int n);
void FillMonoNoise(PixelRows rows, int n);
// The same on a 24-bit bitmap.
void FillColorNoise(TBitmap& bitmap, int n);
void FillMonoNoise(TBitmap& bitmap, int n);
