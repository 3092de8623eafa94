#include "JpegImage.h"

#include "Bitmap.h"
#include "Canvas.h"
#include "Exceptions.h"
#include "JpegCodec.h"
#include "PageMemory.h"
#include "SafeFile.h"

#include <QFile>
#include <QFileDevice>
#include <QIODevice>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

// Compresses a 24-bit bitmap, handing the stream to `out` as it is made. Raises EJPEG on a library
// error; returns jpegcodec::SinkRefused, for the caller to report in its own words, when the sink took
// no more, and 0 when the stream is complete.
int EncodeBitmap(const TBitmap& bitmap, int quality, jpegcodec::Sink out, void* context) {
    std::vector<const std::uint8_t*> rows(std::size_t(bitmap.Height()));
    for (int y = 0; y < bitmap.Height(); ++y)
        rows[std::size_t(y)] = bitmap.ConstScanLine(y);
    const int code = jpegcodec::Encode(bitmap.Width(), bitmap.Height(), rows.data(), quality, out, context);
    if (code != 0 && code != jpegcodec::SinkRefused)
        throw EJPEG(code);
    return code;
}

// Compresses a 24-bit bitmap into a stream in memory.
QByteArray CompressBitmap(const TBitmap& bitmap, int quality) {
    QByteArray data;
    const auto append = [](void* context, const std::uint8_t* bytes, std::size_t size) noexcept {
        try {
            static_cast<QByteArray*>(context)->append(reinterpret_cast<const char*>(bytes), qsizetype(size));
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        }
    };
    if (EncodeBitmap(bitmap, quality, append, &data) != 0)
        throw EOutOfResources(QString::fromLatin1(msg::OutOfResources));
    return data;
}

// Compresses a 24-bit bitmap into a stream; a file is written while the stream is being made, by
// another thread. Raises EWriteError when the device takes no more.
void CompressInto(QIODevice& stream, const TBitmap& bitmap, int quality) {
    if (auto* file = qobject_cast<QFileDevice*>(&stream); file && file->handle() >= 0) {
        if (!file->flush())
            throw EWriteError();
        TWriteBehind writer(file->handle());
        const auto write = [](void* context, const std::uint8_t* bytes, std::size_t size) noexcept {
            return static_cast<TWriteBehind*>(context)->Write(bytes, size);
        };
        const int code = EncodeBitmap(bitmap, quality, write, &writer);
        if (!writer.Finish() || code != 0)
            throw EWriteError();
        return;
    }
    const auto write = [](void* context, const std::uint8_t* bytes, std::size_t size) noexcept {
        try {
            WriteBytes(*static_cast<QIODevice*>(context), bytes, qint64(size));
            return true;
        } catch (const EWriteError&) {
            return false;
        }
    };
    if (EncodeBitmap(bitmap, quality, write, &stream) != 0)
        throw EWriteError();
}

// Decodes a stream into a bitmap (24 bits, or 8 bits with the quantiser's colours for grayscale), which
// takes over the decoded rows where they are.
std::shared_ptr<TBitmap> DecodeStream(const QByteArray& data) {
    jpegcodec::Decoded decoded;
    const int code = jpegcodec::Decode(reinterpret_cast<const std::uint8_t*>(data.constData()),
                                       std::size_t(data.size()), decoded);
    if (code != 0)
        throw EJPEG(code);
    // The rows are freed with the bitmap's pixels, or here should the bitmap not come to be.
    struct Rows {
        jpegcodec::Decoded decoded;
        ~Rows() { jpegcodec::FreeDecoded(decoded); }
    };
    auto owner = std::make_shared<Rows>();
    owner->decoded = decoded;
    // Row padding is made zero, as in every bitmap's own memory.
    const std::size_t used = std::size_t(decoded.Width) * std::size_t(decoded.Bits / 8);
    if (used < decoded.Stride)
        for (int y = 0; y < decoded.Height; ++y)
            std::memset(decoded.Pixels + std::size_t(y) * decoded.Stride + used, 0, decoded.Stride - used);
    TExternalPixels pixels;
    pixels.Width = decoded.Width;
    pixels.Height = decoded.Height;
    pixels.Format = decoded.Bits == 8 ? TPixelFormat::pf8bit : TPixelFormat::pf24bit;
    pixels.FirstRow = decoded.Pixels;
    pixels.Stride = std::ptrdiff_t(decoded.Stride);
    if (decoded.Bits == 8)
        for (int i = 0; i < std::clamp(decoded.Colors, 1, 256); ++i)
            pixels.Colors.push_back(TRGBQuad{decoded.Map[i][2], decoded.Map[i][1], decoded.Map[i][0], 0});
    pixels.Release = [owner] { jpegcodec::FreeDecoded(owner->decoded); };
    auto bitmap = std::make_shared<TBitmap>();
    bitmap->AdoptPixels(std::move(pixels));
    return bitmap;
}

} // namespace

TJPEGImage::TJPEGImage() = default;

TJPEGImage::TJPEGImage(const TJPEGImage& other)
    : TGraphic(other), data_(other.data_), width_(other.width_), height_(other.height_),
      grayscale_(other.grayscale_), progressive_(other.progressive_), quality_(other.quality_),
      bitmap_(other.bitmap_) {}

TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::SetCompressionQuality(int quality) {
    quality_ = std::clamp(quality, 1, 100);
}

void TJPEGImage::Assign(const TGraphic* source) {
    if (source == this)
        return;
    if (source == nullptr || source->Empty()) {
        data_.clear();
        width_ = height_ = 0;
        grayscale_ = progressive_ = false;
        bitmap_.reset();
        Changed();
        return;
    }
    if (auto jpeg = dynamic_cast<const TJPEGImage*>(source)) {
        data_ = jpeg->data_;
        width_ = jpeg->width_;
        height_ = jpeg->height_;
        grayscale_ = jpeg->grayscale_;
        progressive_ = jpeg->progressive_;
        quality_ = jpeg->quality_;
        bitmap_ = jpeg->bitmap_;
        Changed();
        return;
    }
    // A bitmap (or anything else that can be drawn) becomes a 24-bit bitmap of its own.
    auto bitmap = std::make_shared<TBitmap>();
    bitmap->Assign(source);
    bitmap->SetPixelFormat(TPixelFormat::pf24bit);
    data_.clear();
    width_ = bitmap->Width();
    height_ = bitmap->Height();
    grayscale_ = progressive_ = false;
    bitmap_ = std::move(bitmap);
    Changed();
}

void TJPEGImage::Compress() {
    if (!bitmap_ || bitmap_->Empty())
        return;
    data_ = CompressBitmap(*BitmapToCompress(), quality_);
    grayscale_ = progressive_ = false;
    Changed();
}

std::shared_ptr<const TBitmap> TJPEGImage::BitmapToCompress() const {
    if (bitmap_->PixelFormat() == TPixelFormat::pf24bit)
        return bitmap_;
    auto rgb = std::make_shared<TBitmap>(*bitmap_);
    rgb->SetPixelFormat(TPixelFormat::pf24bit);
    return rgb;
}

int TJPEGImage::Width() const {
    return width_;
}

int TJPEGImage::Height() const {
    return height_;
}

bool TJPEGImage::Empty() const {
    return width_ <= 0 || height_ <= 0;
}

std::unique_ptr<TGraphic> TJPEGImage::Clone() const {
    return std::make_unique<TJPEGImage>(*this);
}

const TBitmap& TJPEGImage::Bitmap() const {
    if (!bitmap_) {
        if (data_.isEmpty()) {
            bitmap_ = std::make_shared<TBitmap>();
        } else {
            try {
                bitmap_ = DecodeStream(data_);
            } catch (const std::bad_alloc&) {
                throw EOutOfResources(QString::fromLatin1(msg::OutOfResources));
            }
        }
    }
    return *bitmap_;
}

void TJPEGImage::Draw(TCanvas& canvas, const TRect& r) const {
    if (Empty())
        return;
    Bitmap().Draw(canvas, r);
}

void TJPEGImage::SetStream(QByteArray data) {
    jpegcodec::Header header;
    const int code = jpegcodec::ReadHeader(reinterpret_cast<const std::uint8_t*>(data.constData()),
                                           std::size_t(data.size()), header);
    if (code != 0)
        throw EJPEG(code);
    data_ = std::move(data);
    width_ = header.Width;
    height_ = header.Height;
    grayscale_ = header.Grayscale;
    progressive_ = header.Progressive;
    bitmap_.reset();
    Changed();
}

void TJPEGImage::LoadFromStream(QIODevice& stream) {
    SetStream(stream.readAll());
}

void TJPEGImage::LoadFromFile(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EFOpenError(fileName);
    // The whole file at once, into memory that faults in large pages.
    QByteArray data;
    try {
        data = QByteArray(qsizetype(std::max<qint64>(0, file.size())), Qt::Uninitialized);
    } catch (const std::bad_alloc&) {
        throw EOutOfResources(QString::fromLatin1(msg::OutOfResources));
    }
    AdviseHugePages(data.data(), std::size_t(data.size()));
    qint64 done = 0;
    while (done < data.size()) {
        const qint64 n = file.read(data.data() + done, data.size() - done);
        if (n <= 0)
            break;
        done += n;
    }
    if (file.error() != QFileDevice::NoError)
        throw EFOpenError(fileName);
    data.truncate(qsizetype(done));
    // A file that grew meanwhile is read to its end.
    if (!file.atEnd())
        data += file.readAll();
    SetStream(std::move(data));
}

void TJPEGImage::SaveToStream(QIODevice& stream) const {
    if (data_.isEmpty() && bitmap_ && !bitmap_->Empty()) {
        CompressInto(stream, *BitmapToCompress(), quality_);
        return;
    }
    WriteBytes(stream, data_.constData(), data_.size());
}

void TJPEGImage::SaveToFile(const QString& fileName) const {
    SaveFileSafely(fileName, [this](QIODevice& device) { SaveToStream(device); });
}
