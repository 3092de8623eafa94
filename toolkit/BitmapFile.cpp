// TBitmap's BMP files: reading every common variant, writing the plain uncompressed form.
#include "Bitmap.h"

#include "BmpCodec.h"
#include "Exceptions.h"
#include "SafeFile.h"

#include <QFile>
#include <QIODevice>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

// Resolution written into new files: 96 dots per inch, in pixels per metre.
constexpr std::uint32_t PixelsPerMetre = 3780;

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// The colour table written for a bitmap of 1 or 8 bits: its own, or, should it have none, black and
// white for 1 bit and a grey ramp for 8 bits.
TColorTable TableToWrite(const TBitmap& bitmap, int bits) {
    const std::size_t max = std::size_t(1) << bits;
    TColorTable colors = bitmap.ColorTable();
    if (colors.size() > max)
        colors.resize(max);
    if (colors.empty()) {
        for (std::size_t i = 0; i < max; ++i) {
            const auto v = std::uint8_t(i * 255 / (max - 1));
            colors.push_back(TRGBQuad{v, v, v, 0});
        }
    }
    return colors;
}

TPixelFormat FormatOf(const bmp::Image& image) {
    switch (image.Bits) {
    case 1:
        return TPixelFormat::pf1bit;
    case 8:
        return TPixelFormat::pf8bit;
    default:
        return TPixelFormat::pf24bit;
    }
}

} // namespace

void TBitmap::LoadFromStream(QIODevice& stream) {
    const QByteArray data = stream.readAll();
    bmp::Image image;
    try {
        image = bmp::DecodeFile(reinterpret_cast<const std::uint8_t*>(data.constData()),
                                std::size_t(data.size()));
    } catch (const std::bad_alloc&) {
        throw EOutOfResources(QString::fromLatin1(msg::OutOfResources));
    }

    // Build the new content aside, so that a failure leaves this bitmap as it was.
    TBitmap loaded;
    loaded.SetPixelFormat(FormatOf(image));
    loaded.SetSize(image.Width, image.Height);
    if (!image.Colors.empty())
        loaded.SetColorTable(image.Colors);
    const std::size_t bytes = bmp::RowBytes(image.Width, image.Bits);
    for (int y = 0; y < image.Height; ++y)
        std::memcpy(loaded.ScanLine(y), image.Row(y), bytes);
    Assign(&loaded);
}

void TBitmap::SaveToStream(QIODevice& stream) const {
    if (Empty())
        return;
    const int w = Width();
    const int h = Height();
    const int bits = BitsPerPixel(PixelFormat());
    const TColorTable colors = bits <= 8 ? TableToWrite(*this, bits) : TColorTable{};
    const std::size_t stride = bmp::RowBytes(w, bits);
    const std::uint32_t imageSize = std::uint32_t(stride * std::size_t(h));
    const std::uint32_t offBits = 14 + 40 + std::uint32_t(colors.size()) * 4;

    std::vector<std::uint8_t> head;
    head.reserve(offBits);
    head.push_back('B');
    head.push_back('M');
    Put32(head, offBits + imageSize); // bfSize
    Put32(head, 0);                   // bfReserved1, bfReserved2
    Put32(head, offBits);
    Put32(head, 40); // biSize
    Put32(head, std::uint32_t(w));
    Put32(head, std::uint32_t(h)); // positive: rows stored bottom-up
    Put16(head, 1);                // biPlanes
    Put16(head, std::uint32_t(bits));
    Put32(head, bmp::BI_RGB);
    Put32(head, imageSize);
    Put32(head, PixelsPerMetre);
    Put32(head, PixelsPerMetre);
    Put32(head, std::uint32_t(colors.size())); // biClrUsed
    Put32(head, 0);                            // biClrImportant: all
    for (const TRGBQuad& c : colors) {
        head.push_back(c.Blue);
        head.push_back(c.Green);
        head.push_back(c.Red);
        head.push_back(0);
    }
    WriteBytes(stream, head.data(), qint64(head.size()));

    const std::size_t used = (std::size_t(w) * std::size_t(bits) + 7) / 8;
    std::vector<std::uint8_t> row(stride, 0);
    for (int y = h - 1; y >= 0; --y) {
        std::memcpy(row.data(), ConstScanLine(y), used);
        WriteBytes(stream, row.data(), qint64(stride));
    }
}

void TBitmap::LoadFromFile(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EFOpenError(fileName);
    LoadFromStream(file);
}

void TBitmap::SaveToFile(const QString& fileName) const {
    SaveFileSafely(fileName, [this](QIODevice& device) { SaveToStream(device); });
}
