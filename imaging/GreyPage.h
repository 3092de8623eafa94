// A page whose pixels are all grey, kept in a third of the memory: as an 8-bit bitmap whose colour
// table is the 256 greys in order, so that every pixel reads, draws and saves as the same colour.
#pragma once

#include "PixelRows.h"

#include <memory>

class TBitmap;

// Packs the grey levels of a 24-bit picture (one byte per pixel, rows of `out`) while checking that
// every pixel is grey; false as soon as one is not (out is then partly written).
bool PackGreyRows(ConstPixelRows in, std::uint8_t* out, std::ptrdiff_t outStride);

// The page as an 8-bit grey bitmap, or nullptr when it is not a 24-bit bitmap whose pixels are all grey.
std::unique_ptr<TBitmap> GreyPageOf(const TBitmap& page);
