// The pixel pass of the rebuild: every pixel of the source (plus the noise offsets, when there are any)
// through posterize or solarize, contrast, lightness, darkness and brightness, split light, grey or
// saturation, and invert, into the result. Plain rows of 24-bit pixels (blue, green, red); no Qt here.
#pragma once

#include "PixelRows.h"

#include <cstddef>
#include <cstdint>

struct ToneSettings {
    int Posterize = 0;
    int Solarize = 0;
    int Contrast = 0;
    int Lightness = 0;
    int Darkness = 0;
    int Brightness = 0;
    int Splitlight = 0;
    bool GrayScale = false;
    int Saturation = 0;
    bool Invert = false;
};

// Which instructions the pass may use: those of the pixel path in force (PixelPath.h), or plain
// scalar code (which gives the same bytes; tests compare the two).
enum class TPassUnits { Best, Scalar };

// Runs the pass over width × height pixels. noise.First may be null (no noise). The result must not
// overlap the source or the noise. The work is shared between the processor's cores (ForRowParts);
// the result is the same as a pass in row order.
void RunTonePass(const ToneSettings& settings, ConstPixelRows source, ConstPixelRows noise, PixelRows result,
                 int width, int height, TPassUnits units = TPassUnits::Best);
