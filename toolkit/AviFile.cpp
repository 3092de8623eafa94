#include "AviFile.h"

#include "BmpCodec.h"
#include "Exceptions.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Decoded frames are kept as 32-bit images; more than this many bytes of them is refused, and more than
// FrameBytesPerFileByte times the file's own size once they pass FrameBytesFloor: RLE delta frames of a
// few bytes each could otherwise make a small file cost hundreds of megabytes and seconds to open.
constexpr std::uint64_t MaxFrameBytes = 256u * 1024u * 1024u;
constexpr std::uint64_t FrameBytesFloor = 16u * 1024u * 1024u;
constexpr std::uint64_t FrameBytesPerFileByte = 1024;
constexpr int MaxListDepth = 8;

[[noreturn]] void CannotOpen() {
    throw EInvalidOperation(QString::fromLatin1(msg::CannotOpenAvi));
}

std::uint32_t U32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

bool Is(const std::uint8_t* p, const char* fourcc) {
    return std::memcmp(p, fourcc, 4) == 0;
}

struct Chunk {
    const std::uint8_t* Id;
    const std::uint8_t* Data;
    std::size_t Size;
};

// The chunks directly inside [p, p + size). A chunk whose stated size runs past the end is refused.
std::vector<Chunk> Children(const std::uint8_t* p, std::size_t size) {
    std::vector<Chunk> out;
    std::size_t i = 0;
    while (size - i >= 8) {
        const std::size_t length = U32(p + i + 4);
        if (length > size - i - 8)
            CannotOpen();
        out.push_back(Chunk{p + i, p + i + 8, length});
        i += 8 + length + (length & 1);
        if (i > size)
            break; // the pad byte of the last chunk may be missing
    }
    return out;
}

bool IsList(const Chunk& c, const char* type) {
    return Is(c.Id, "LIST") && c.Size >= 4 && Is(c.Data, type);
}

std::vector<Chunk> ListChildren(const Chunk& c) {
    return Children(c.Data + 4, c.Size - 4);
}

struct Stream {
    bool Found = false;
    int Number = 0;
    std::uint32_t Scale = 0;
    std::uint32_t Rate = 0;
    bmp::Format Format;
};

// Finds the first video stream among the stream lists of the header list.
Stream FindVideo(const std::vector<Chunk>& header) {
    Stream video;
    int number = 0;
    for (const Chunk& c : header) {
        if (!IsList(c, "strl"))
            continue;
        const std::vector<Chunk> parts = ListChildren(c);
        const Chunk* strh = nullptr;
        const Chunk* strf = nullptr;
        for (const Chunk& s : parts) {
            if (Is(s.Id, "strh") && !strh)
                strh = &s;
            else if (Is(s.Id, "strf") && !strf)
                strf = &s;
        }
        if (strh && strh->Size >= 32 && Is(strh->Data, "vids") && strf) {
            video.Found = true;
            video.Number = number;
            video.Scale = U32(strh->Data + 20);
            video.Rate = U32(strh->Data + 24);
            bool os2Palette = false;
            std::uint32_t colorsUsed = 0;
            const std::size_t used =
                bmp::ReadInfoHeader(strf->Data, strf->Size, video.Format, os2Palette, colorsUsed);
            if (video.Format.Bits <= 8) {
                const std::size_t entry = os2Palette ? 3 : 4;
                const std::size_t max = std::size_t(1) << video.Format.Bits;
                std::size_t count = colorsUsed == 0 ? max : std::min<std::size_t>(colorsUsed, max);
                count = std::min(count, (strf->Size - used) / entry);
                for (std::size_t i = 0; i < count; ++i) {
                    const std::uint8_t* q = strf->Data + used + i * entry;
                    video.Format.Palette.push_back(TRGBQuad{q[0], q[1], q[2], 0});
                }
            }
            return video;
        }
        ++number;
    }
    return video;
}

// Video chunks of a stream are named by its two-digit number and a kind: "db" and "dc" hold frames,
// "pc" a palette change.
bool ChunkOf(const Chunk& c, int stream, const char* kind) {
    return c.Id[0] == '0' + stream / 10 && c.Id[1] == '0' + stream % 10 && c.Id[2] == kind[0] &&
           c.Id[3] == kind[1];
}

void CollectMovie(const std::vector<Chunk>& chunks, int stream, std::vector<Chunk>& out, int depth) {
    if (depth > MaxListDepth)
        CannotOpen();
    for (const Chunk& c : chunks) {
        if (IsList(c, "rec "))
            CollectMovie(ListChildren(c), stream, out, depth + 1);
        else if (ChunkOf(c, stream, "db") || ChunkOf(c, stream, "dc") || ChunkOf(c, stream, "pc"))
            out.push_back(c);
    }
}

QImage ToQImage(const bmp::Image& image) {
    QImage out(image.Width, image.Height, QImage::Format_RGB32);
    if (out.isNull())
        CannotOpen();
    for (int y = 0; y < image.Height; ++y) {
        const std::uint8_t* in = image.Row(y);
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < image.Width; ++x) {
            if (image.Bits == 24) {
                line[x] = qRgb(in[3 * x + 2], in[3 * x + 1], in[3 * x]);
            } else {
                const int index = image.Bits == 8 ? in[x] : (in[x >> 3] >> (7 - (x & 7))) & 1;
                const TRGBQuad& c = image.Colors[std::size_t(index)];
                line[x] = qRgb(c.Red, c.Green, c.Blue);
            }
        }
    }
    return out;
}

// Applies a palette change: first entry, entry count (0 means 256), flags, then red-green-blue-flags
// entries.
void ChangePalette(const Chunk& c, bmp::Image& image) {
    if (image.Bits > 8 || c.Size < 4)
        CannotOpen();
    const std::size_t first = c.Data[0];
    const std::size_t count = c.Data[1] == 0 ? 256 : c.Data[1];
    if (c.Size < 4 + 4 * count || first + count > image.Colors.size())
        CannotOpen();
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = c.Data + 4 + 4 * i;
        image.Colors[first + i] = TRGBQuad{e[2], e[1], e[0], 0};
    }
}

} // namespace

TAviFile TAviFile::FromFile(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        CannotOpen();
    return FromData(file.readAll());
}

TAviFile TAviFile::FromData(const QByteArray& bytes) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    const std::size_t size = std::size_t(bytes.size());
    if (size < 12 || !Is(p, "RIFF") || !Is(p + 8, "AVI "))
        CannotOpen();
    const std::size_t riffSize = std::min<std::size_t>(U32(p + 4), size - 8);
    if (riffSize < 4)
        CannotOpen();
    const std::vector<Chunk> top = Children(p + 12, riffSize - 4);

    TAviFile avi;
    std::vector<Chunk> header;
    const Chunk* movie = nullptr;
    for (const Chunk& c : top) {
        if (IsList(c, "hdrl") && header.empty())
            header = ListChildren(c);
        else if (IsList(c, "movi") && !movie)
            movie = &c;
    }
    if (header.empty() || !movie)
        CannotOpen();

    std::uint32_t microSeconds = 0;
    for (const Chunk& c : header)
        if (Is(c.Id, "avih") && c.Size >= 40)
            microSeconds = U32(c.Data);
    Stream video;
    try {
        video = FindVideo(header);
    } catch (const EInvalidGraphic&) {
        CannotOpen();
    }
    if (!video.Found)
        CannotOpen();
    const bmp::Format& format = video.Format;
    if (format.Compression != bmp::BI_RGB && format.Compression != bmp::BI_RLE8 &&
        format.Compression != bmp::BI_RLE4)
        CannotOpen();
    if (format.Bits <= 8 && format.Palette.empty())
        CannotOpen();
    if (microSeconds == 0 && video.Rate != 0)
        microSeconds = std::uint32_t(
            std::min<std::uint64_t>(std::uint64_t(video.Scale) * 1000000u / video.Rate, 10u * 1000000u));
    avi.interval_ = microSeconds == 0 ? 100000 : int(std::min<std::uint32_t>(microSeconds, 10u * 1000000u));
    avi.width_ = format.Width;
    avi.height_ = format.Height;

    std::vector<Chunk> chunks;
    CollectMovie(ListChildren(*movie), video.Number, chunks, 0);
    const std::uint64_t frameBytes = std::uint64_t(format.Width) * std::uint64_t(format.Height) * 4;
    const std::uint64_t allowed =
        std::min(MaxFrameBytes, std::max(FrameBytesFloor, std::uint64_t(size) * FrameBytesPerFileByte));
    if (frameBytes > allowed)
        CannotOpen(); // before the frame's memory is taken
    try {
        bmp::Image image;
        bmp::PrepareImage(format, image);
        std::uint64_t decoded = 0;
        bool paletteChanged = false;
        for (const Chunk& c : chunks) {
            if (ChunkOf(c, video.Number, "pc")) {
                ChangePalette(c, image);
                paletteChanged = true;
                continue;
            }
            // An empty chunk repeats the frame before it, which is then shared rather than made again.
            if (c.Size == 0 && !paletteChanged && !avi.frames_.empty()) {
                avi.frames_.push_back(avi.frames_.back());
                continue;
            }
            // The first frame is drawn on nothing: its data must be able to fill it.
            if (avi.frames_.empty() && !bmp::CouldDrawWhole(format, c.Size))
                CannotOpen();
            decoded += frameBytes;
            if (decoded > allowed)
                CannotOpen();
            if (c.Size > 0)
                bmp::DecodePixels(format, c.Data, c.Size, image);
            avi.frames_.push_back(ToQImage(image));
            paletteChanged = false;
        }
    } catch (const EInvalidGraphic&) {
        CannotOpen();
    } catch (const std::bad_alloc&) {
        CannotOpen();
    }
    if (avi.frames_.empty())
        CannotOpen();
    return avi;
}
