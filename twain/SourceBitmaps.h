// The bitmaps a source hands over, turned into what a TBitmap holds.
#pragma once

#include "WinTypes.h"

#include <cstddef>
#include <cstdint>

class TBitmap;

// True for the depths a TBitmap can hold (1, 8, 24 and 32 bits per pixel).
bool BitmapFormatKnown(int bitsPerPixel);

// Hands a platform bitmap (section or device-dependent bitmap) over to a TBitmap, which deletes it when
// it lets go of the pixels. False, with the handle untouched, for a bitmap TBitmap cannot hold.
bool AdoptBitmap(TBitmap& image, HBITMAP bitmap, bool bottomUp);

// A device-dependent bitmap made from a DIB packed in memory, as a source hands it over in a native
// transfer; nullptr when the DIB does not fit in its block or cannot be converted.
HBITMAP BitmapFromPackedDib(const std::uint8_t* data, std::size_t size);
