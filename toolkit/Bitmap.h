// TBitmap: a device-independent bitmap of 1, 8, 24 or 32 bits per pixel.
//
// Rows are addressed by index, row 0 being the top row; a 24-bit row holds three bytes per pixel in the
// order blue, green, red. Copies share their pixels until one side writes (ScanLine on a non-const
// bitmap, a size or format change); a write never shows through a copy.
#pragma once

#include "Graphic.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QImage;
class QIODevice;

enum class TPixelFormat { pf1bit, pf8bit, pf24bit, pf32bit };

int BitsPerPixel(TPixelFormat format);

using TColorTable = std::vector<TRGBQuad>;

// Pixel memory that belongs to someone else (a platform DIB section, a device-dependent bitmap) and is
// taken over by a TBitmap. FirstRow points at row 0 (the top row); Stride is the distance in bytes from
// one row to the next and is negative for memory stored bottom-up. Release runs once, when the last
// bitmap sharing the memory lets go of it.
struct TExternalPixels {
    int Width = 0;
    int Height = 0;
    TPixelFormat Format = TPixelFormat::pf24bit;
    std::uint8_t* FirstRow = nullptr;
    std::ptrdiff_t Stride = 0;
    TColorTable Colors;
    std::function<void()> Release;
};

class TBitmap : public TGraphic {
public:
    TBitmap();
    TBitmap(const TBitmap& other);
    ~TBitmap() override;
    TBitmap& operator=(const TBitmap& other);

    // nullptr or an empty graphic empties the bitmap; another bitmap is shared; any other graphic is
    // drawn onto a new 24-bit bitmap of its size.
    void Assign(const TGraphic* source);

    int Width() const override;
    int Height() const override;
    bool Empty() const override;
    std::unique_ptr<TGraphic> Clone() const override;
    void Draw(TCanvas& canvas, const TRect& r) const override;
    void LoadFromFile(const QString& fileName) override;
    void SaveToFile(const QString& fileName) const override;

    // Reads a BMP stream; refuses anything that is not a readable BMP with EInvalidGraphic.
    void LoadFromStream(QIODevice& stream);
    // Writes the bitmap as an uncompressed BMP in its own pixel format.
    void SaveToStream(QIODevice& stream) const;

    // Changing the size keeps the pixels that still fit; new area is white.
    void SetWidth(int width);
    void SetHeight(int height);
    void SetSize(int width, int height);

    TPixelFormat PixelFormat() const;
    // Converts the pixels to the new format (to 1 and 8 bits through the nearest colour of a fixed
    // black-and-white or 256-colour halftone table).
    void SetPixelFormat(TPixelFormat format);

    // The colour table of a 1- or 8-bit bitmap; empty for 24 and 32 bits.
    const TColorTable& ColorTable() const;
    void SetColorTable(const TColorTable& colors);

    // Row access. The non-const form is a write: it first gives this bitmap pixels of its own.
    // An index outside 0 .. Height - 1 raises EInvalidGraphicOperation "Scan line index out of range".
    std::uint8_t* ScanLine(int row);
    const std::uint8_t* ScanLine(int row) const;
    const std::uint8_t* ConstScanLine(int row) const { return ScanLine(row); }
    // Bytes from one row to the next: a multiple of 4 in the bitmap's own memory, negative for adopted
    // platform memory stored bottom-up.
    std::ptrdiff_t RowStride() const;

    // Takes over pixel memory owned by the platform; the previous content is released.
    void AdoptPixels(TExternalPixels pixels);
    // Whether two bitmaps share the same pixel memory (tests and diagnostics).
    bool SharesPixelsWith(const TBitmap& other) const;
    // Whether no other bitmap shares this one's pixels, so that a write needs no copy.
    bool OwnsPixelsAlone() const;
    // For a caller about to write every pixel: pixels shared with other bitmaps are let go instead of
    // being copied, and this bitmap gets new ones of the same size, format and colours, whose content
    // is undefined until written (row padding is 0). Pixels it holds alone are kept as they are.
    void UnsharePixelsForOverwrite();
    // Exchanges the pixels (memory, size, format and colours) of two bitmaps without a change
    // notification: a page buffer passed on for another use.
    void SwapPixels(TBitmap& other);

    // The drawing surface of this bitmap.
    TCanvas& Canvas();

    // The colour of a pixel as RGB, for drawing and tests. (x, y) must lie inside the bitmap.
    TColor Pixel(int x, int y) const;
    // The colour left out when the bitmap is drawn transparently: its bottom-left pixel.
    TColor TransparentColor() const;

    // A QImage over the bitmap's pixels (valid until the bitmap is written or freed).
    QImage AsQImage() const;

private:
    struct Store;
    void MakeUnique();
    void SetTransparentQuietly(bool value);
    void Reset(std::shared_ptr<Store> store);

    std::shared_ptr<Store> store_;
    std::unique_ptr<TCanvas> canvas_;
};
