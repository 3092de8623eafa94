// The fixed 256-colour halftone palette: a 6 × 6 × 6 colour cube (levels 0, 51, ..., 255) in entries
// 0 to 215, red varying slowest, and 40 greys between the cube's levels in entries 216 to 255.
#pragma once

#include "Types.h"

#include <cstdint>
#include <vector>

const std::vector<TRGBQuad>& HalftonePalette();

// The index of the palette colour nearest to (r, g, b) by squared distance; on a tie the lower index.
std::uint8_t HalftoneIndex(int r, int g, int b);
