// The effect routines of the adjustable image control: neighbourhood effects (emboss, mosaic, split
// blur, Gaussian blur, anti-alias, trace) and the tile with its resampling.
//
// Each routine works in place on the rows of a 24-bit picture. The order in which pixels are visited is
// part of the result: a new value is stored at once, and later reads in the same routine see it. Every
// formula applies to each channel byte on its own.
//
// Each routine comes twice: over a plain row view (for tests and benchmarks) and over a bitmap. The
// bitmap forms first make the bitmap 24-bit, and raise EInvalidGraphicOperation "Scan line index out of
// range" where the routine would have to address a row outside the picture; the picture is then left
// as it was. Pictures too narrow for a routine's columns, and pictures without pixels, are left as they
// are.
#pragma once

#include "PixelRows.h"

class TBitmap;

// Relief: v(x, y) = (v(x, y) + 255 - v(neighbour)) div 2, the neighbour being (x + 3, y + 1), or
// (x, y + 1) in the last three columns; rows top to bottom, and the last row, done last, uses the
// already embossed row above it in place of the row below. Needs at least 2 rows (false otherwise,
// nothing changed) and at least 3 columns (unchanged otherwise).
[[nodiscard]] bool EmbossBitmap(PixelRows rows);
void EmbossBitmap(TBitmap& bitmap);

// Blocks of blockSize x blockSize pixels from the top-left corner, cut short at the right and bottom,
// each taking the colour its top-left pixel had. A block size below 1 changes nothing.
void MosaicBitmap(PixelRows rows, int blockSize);
void MosaicBitmap(TBitmap& bitmap, int blockSize);

// Each pixel, top to bottom and left to right, becomes the mean (div 4) of the four pixels at distance
// d diagonally; near the top and left edges the pixel's own row or column stands in, near the bottom and
// right edges row H - y and column W - x. A distance of 0 or less changes nothing; a distance of at
// least the height addresses a row below the picture (false, nothing changed); otherwise a distance of
// at least the width leaves the picture unchanged.
[[nodiscard]] bool SplitBlurBitmap(PixelRows rows, int distance);
void SplitBlurBitmap(TBitmap& bitmap, int distance);

// Split blur with distance 3, strength + 1 times in succession.
[[nodiscard]] bool GaussianBlurBitmap(PixelRows rows, int strength);
void GaussianBlurBitmap(TBitmap& bitmap, int strength);

// Each pixel of the rectangle (edges included, clipped so that the outermost row and column on each side
// stay untouched) becomes the mean (div 4) of its four direct neighbours, rows top to bottom and pixels
// left to right, in place.
void AverageInnerRect(PixelRows rows, int left, int top, int right, int bottom);
void AverageInnerRect(TBitmap& bitmap, int left, int top, int right, int bottom);

// AverageInnerRect over the whole picture, `passes` times.
void AntiAliasBitmap(PixelRows rows, int passes);
void AntiAliasBitmap(TBitmap& bitmap, int passes);

// Blackens the boundaries between regions of different halftone-palette colours. Level 1 sweeps
// forward only; level 2 and above also sweep backward (and give the same picture for every level from
// 2 on). Needs at least 2 columns; a level below 1 changes nothing.
void TraceBitmap(PixelRows rows, int level);
void TraceBitmap(TBitmap& bitmap, int level);

// Fills the target with the source scaled to the target's size, bilinearly with 15-bit fixed-point
// positions and weights. The source and target may not overlap.
void ResampleBitmap(ConstPixelRows source, PixelRows target);
void ResampleBitmap(const TBitmap& source, TBitmap& target);

// The tile size and the stored tile value for a written value and a picture of the given size. A tile
// is the picture size div the value, at least 10 pixels each way; when both come out as 10, the stored
// value becomes the longer side div 10 (0 for a picture whose longer side is under 10).
struct TileGeometry {
    int value = 0;
    int tileWidth = 10;
    int tileHeight = 10;
};
TileGeometry TileGeometryFor(int value, int pictureWidth, int pictureHeight);

// Reduces the source into one tile of the given size and repeats it over the target from the top-left
// corner, clipped at the right and bottom edges. The source and target may be the same picture.
void TileBitmap(ConstPixelRows source, PixelRows target, int tileWidth, int tileHeight);
void TileBitmap(const TBitmap& source, TBitmap& target, int tileWidth, int tileHeight);
