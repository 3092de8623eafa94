// A picture made smaller for showing: every pixel of the smaller picture is the average of the
// pixels of the larger one that it covers, so that fine detail (stripes, strokes of text) turns into
// the grey it makes from a distance instead of into whatever every n-th pixel happens to be.
#pragma once

#include <QImage>

class TBitmap;

// Shrinks the bitmap (1, 8 or 24 bits) into width × height pixels (Format_BGR888), no larger than the
// bitmap either way. Pixel (x, y) averages the source columns x·W/w up to (x+1)·W/w and the rows
// likewise, rounded to the nearest level. An empty bitmap or size gives a null image.
QImage ShrinkByAveraging(const TBitmap& bitmap, int width, int height);
