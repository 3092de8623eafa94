// The bitmap forms of the pixel routines: each takes the rows of a 24-bit bitmap and hands them on.
#include "Effects.h"
#include "Noise.h"
#include "PixelRows.h"

#include "Bitmap.h"
#include "Exceptions.h"

namespace {

template <class View, class Bitmap> View RowsOfImpl(Bitmap& bitmap) {
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    if (width <= 0 || height <= 0 || bitmap.PixelFormat() != TPixelFormat::pf24bit)
        return View{};
    auto* first = bitmap.ScanLine(0);
    // The distance between the first two rows rather than the bitmap's own stride, so that pixels
    // stored bottom-up are walked the right way.
    const std::ptrdiff_t stride = height > 1 ? bitmap.ScanLine(1) - first : 0;
    return View{first, stride, width, height};
}

PixelRows Writable24(TBitmap& bitmap) {
    if (bitmap.PixelFormat() != TPixelFormat::pf24bit)
        bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    return RowsOf(bitmap);
}

[[noreturn]] void ThrowScanLine() {
    throw EInvalidGraphicOperation(QString::fromLatin1(msg::ScanLine));
}

} // namespace

PixelRows RowsOf(TBitmap& bitmap) {
    return RowsOfImpl<PixelRows>(bitmap);
}

ConstPixelRows RowsOf(const TBitmap& bitmap) {
    return RowsOfImpl<ConstPixelRows>(bitmap);
}

void EmbossBitmap(TBitmap& bitmap) {
    if (!EmbossBitmap(Writable24(bitmap)))
        ThrowScanLine();
}

void MosaicBitmap(TBitmap& bitmap, int blockSize) {
    MosaicBitmap(Writable24(bitmap), blockSize);
}

void SplitBlurBitmap(TBitmap& bitmap, int distance) {
    if (!SplitBlurBitmap(Writable24(bitmap), distance))
        ThrowScanLine();
}

void GaussianBlurBitmap(TBitmap& bitmap, int strength) {
    if (!GaussianBlurBitmap(Writable24(bitmap), strength))
        ThrowScanLine();
}

void AverageInnerRect(TBitmap& bitmap, int left, int top, int right, int bottom) {
    AverageInnerRect(Writable24(bitmap), left, top, right, bottom);
}

void AntiAliasBitmap(TBitmap& bitmap, int passes) {
    if (passes > 0)
        AntiAliasBitmap(Writable24(bitmap), passes);
}

void TraceBitmap(TBitmap& bitmap, int level) {
    if (level < 1 || bitmap.Width() < 2 || bitmap.Height() < 1)
        return;
    TraceBitmap(Writable24(bitmap), level);
}

void ResampleBitmap(const TBitmap& source, TBitmap& target) {
    const ConstPixelRows from = RowsOf(source);
    if (!from.HasPixels())
        return;
    ResampleBitmap(from, Writable24(target));
}

void TileBitmap(const TBitmap& source, TBitmap& target, int tileWidth, int tileHeight) {
    const ConstPixelRows from = RowsOf(source);
    if (!from.HasPixels())
        return;
    TileBitmap(from, Writable24(target), tileWidth, tileHeight);
}

void FillColorNoise(TBitmap& bitmap, int n) {
    FillColorNoise(RowsOf(bitmap), n);
}

void FillMonoNoise(TBitmap& bitmap, int n) {
    FillMonoNoise(RowsOf(bitmap), n);
}
