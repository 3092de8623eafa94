// TJPEGImage: a JPEG picture. It holds the compressed stream (read from a file or made by Compress) and,
// once needed, the bitmap decoded from it or assigned to it.
#pragma once

#include "Graphic.h"

#include <QByteArray>
#include <memory>

class QIODevice;
class TBitmap;

class TJPEGImage : public TGraphic {
public:
    TJPEGImage();
    TJPEGImage(const TJPEGImage& other);
    ~TJPEGImage() override;

    // 1 .. 100; values outside are clamped. Used by the next Compress.
    int CompressionQuality() const { return quality_; }
    void SetCompressionQuality(int quality);

    // nullptr or an empty graphic empties the image; a JPEG image is copied; a bitmap is copied as a
    // 24-bit bitmap and replaces any compressed stream (Compress makes a new one); any other graphic is
    // drawn onto a 24-bit bitmap of its size.
    void Assign(const TGraphic* source);

    // Compresses the bitmap into a new stream. Raises EJPEG on a library error.
    void Compress();

    int Width() const override;
    int Height() const override;
    bool Empty() const override;
    std::unique_ptr<TGraphic> Clone() const override;
    // Decodes the stream if that has not been done and draws the picture stretched into r.
    void Draw(TCanvas& canvas, const TRect& r) const override;

    // Reads the whole file and its JPEG header: EFOpenError when the file cannot be read, EJPEG when its
    // header is not a JPEG header. The image data is decoded only when the picture is first drawn.
    void LoadFromFile(const QString& fileName) override;
    // Writes exactly the compressed stream (compressing first when there is only a bitmap).
    void SaveToFile(const QString& fileName) const override;
    void LoadFromStream(QIODevice& stream);
    void SaveToStream(QIODevice& stream) const;

    // The compressed stream; empty until loaded or compressed.
    const QByteArray& Data() const { return data_; }
    // Whether the stream holds a one-component (grayscale) picture.
    bool Grayscale() const { return grayscale_; }
    bool ProgressiveEncoding() const { return progressive_; }

    // The picture as a bitmap: 24 bits for colour streams and assigned bitmaps, 8 bits with a colour table
    // for grayscale streams. Decodes the stream when needed; raises EJPEG when it cannot be decoded.
    const TBitmap& Bitmap() const;

private:
    void SetStream(QByteArray data);
    // The bitmap as the encoder takes it: 24 bits.
    std::shared_ptr<const TBitmap> BitmapToCompress() const;

    QByteArray data_;
    int width_ = 0;
    int height_ = 0;
    bool grayscale_ = false;
    bool progressive_ = false;
    int quality_ = 90;
    mutable std::shared_ptr<TBitmap> bitmap_;
};
