// TBitmap's BMP files: reading every common variant, writing the plain uncompressed form.
#include "Bitmap.h"

#include "BmpCodec.h"
#include "Exceptions.h"
#include "PageMemory.h"
#include "SafeFile.h"

#include <QFile>
#include <QFileDevice>
#include <QIODevice>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include <sys/uio.h>
#include <unistd.h>

namespace {

// Resolution written into new files: 96 dots per inch, in pixels per metre.
constexpr std::uint32_t PixelsPerMetre = 3780;

// A file is read this many bytes into its block. The pixels of a plain 24-bit file, 54 bytes in, then
// start on a cache line; and the kernel's copy of the file, which on the AMD processors we measured is
// slowest into memory that starts on a line of its page, takes a fifth less time (a 26 MB page read
// from the page cache: 1.3 ms instead of 1.6–1.7).
constexpr std::size_t ReadLead = 10;

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

// Writes the header, then the rows bottom-up, each padded with zeros to the stride, with as few calls
// as the system allows. Raises EWriteError when the file takes no more.
void WriteRows(int fd, const std::vector<std::uint8_t>& head, const TBitmap& bitmap, std::size_t used,
               std::size_t stride) {
    static const std::uint8_t zeros[4] = {0, 0, 0, 0};
    const std::size_t padding = stride - used;
    std::vector<iovec> pieces;
    pieces.reserve(1 + std::size_t(bitmap.Height()) * (padding ? 2 : 1));
    pieces.push_back(iovec{const_cast<std::uint8_t*>(head.data()), head.size()});
    for (int y = bitmap.Height() - 1; y >= 0; --y) {
        pieces.push_back(iovec{const_cast<std::uint8_t*>(bitmap.ConstScanLine(y)), used});
        if (padding)
            pieces.push_back(iovec{const_cast<std::uint8_t*>(zeros), padding});
    }
    const std::size_t most = std::size_t(std::max(1L, sysconf(_SC_IOV_MAX)));
    for (std::size_t first = 0; first < pieces.size();) {
        const int count = int(std::min(most, pieces.size() - first));
        const ssize_t written = ::writev(fd, pieces.data() + first, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throw EWriteError();
        // Past the pieces written whole, and into the one written in part.
        std::size_t left = std::size_t(written);
        while (left > 0 && left >= pieces[first].iov_len)
            left -= pieces[first++].iov_len;
        if (left > 0) {
            pieces[first].iov_base = static_cast<std::uint8_t*>(pieces[first].iov_base) + left;
            pieces[first].iov_len -= left;
        }
    }
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
    // The whole file, in page memory of its own.
    std::size_t size = 0;
    TPageMemory data;
    std::uint8_t* contents = nullptr;
    try {
        if (!stream.isSequential()) {
            size = std::size_t(std::max<qint64>(0, stream.size() - stream.pos()));
            data = AllocateReadMemory(ReadLead + size);
            contents = data.get() + ReadLead;
            std::size_t done = 0;
            while (done < size) {
                const qint64 n = stream.read(reinterpret_cast<char*>(contents + done), qint64(size - done));
                if (n <= 0)
                    break;
                done += std::size_t(n);
            }
            size = done;
        } else {
            const QByteArray all = stream.readAll();
            size = std::size_t(all.size());
            data = AllocateReadMemory(ReadLead + size);
            contents = data.get() + ReadLead;
            std::memcpy(contents, all.constData(), size);
        }
    } catch (const std::bad_alloc&) {
        throw EOutOfResources(QString::fromLatin1(msg::OutOfResources));
    }

    // A file that holds its pixels as a 24-bit picture is kept in memory gives its rows as they lie.
    bmp::PlainRows plain;
    if (bmp::LocatePlainRows(contents, size, plain)) {
        std::uint8_t* first = contents + plain.Offset;
        const std::size_t used = 3 * std::size_t(plain.Width);
        for (int y = 0; y < plain.Height && used < plain.Stride; ++y)
            std::memset(first + std::size_t(y) * plain.Stride + used, 0, plain.Stride - used);
        TExternalPixels pixels;
        pixels.Width = plain.Width;
        pixels.Height = plain.Height;
        pixels.Format = TPixelFormat::pf24bit;
        pixels.FirstRow = plain.TopDown ? first : first + std::size_t(plain.Height - 1) * plain.Stride;
        pixels.Stride = plain.TopDown ? std::ptrdiff_t(plain.Stride) : -std::ptrdiff_t(plain.Stride);
        pixels.Release = [file = std::make_shared<TPageMemory>(std::move(data))] { file->reset(); };
        TBitmap loaded;
        loaded.AdoptPixels(std::move(pixels));
        Assign(&loaded);
        return;
    }

    bmp::Image image;
    try {
        image = bmp::DecodeFile(contents, size);
    } catch (const std::bad_alloc&) {
        throw EOutOfResources(QString::fromLatin1(msg::OutOfResources));
    }
    data.reset();

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
    const std::size_t used = (std::size_t(w) * std::size_t(bits) + 7) / 8;
    if (auto* file = qobject_cast<QFileDevice*>(&stream); file && file->handle() >= 0) {
        // A file is written straight from the rows, a thousand at a time, without copying them.
        if (!file->flush())
            throw EWriteError();
        WriteRows(file->handle(), head, *this, used, stride);
        return;
    }
    WriteBytes(stream, head.data(), qint64(head.size()));
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
