// Helpers shared by the codec tests: byte builders, in-memory streams, ImageMagick.
#pragma once

#include "Bitmap.h"

#include <QBuffer>
#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <cstdint>
#include <initializer_list>

namespace testsupport {

inline QByteArray SaveToBytes(const TBitmap& b) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    b.SaveToStream(buffer);
    return buffer.data();
}

// A graphic (a bitmap unless said otherwise) read from the bytes of a file.
template <class Graphic = TBitmap> Graphic LoadFromBytes(const QByteArray& bytes) {
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    Graphic g;
    g.LoadFromStream(buffer);
    return g;
}

// Little-endian byte building.
struct Bytes {
    QByteArray data;
    Bytes& u8(unsigned v) {
        data.append(char(v));
        return *this;
    }
    Bytes& u16(unsigned v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
    Bytes& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Bytes& raw(const QByteArray& b) {
        data.append(b);
        return *this;
    }
    Bytes& raw(std::initializer_list<int> b) {
        for (int v : b)
            u8(unsigned(v));
        return *this;
    }
    Bytes& fourcc(const char* c) {
        data.append(c, 4);
        return *this;
    }
};

inline std::uint32_t U32At(const QByteArray& d, int at) {
    auto b = [&](int i) { return std::uint32_t(std::uint8_t(d[at + i])); };
    return b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24);
}
inline std::uint16_t U16At(const QByteArray& d, int at) {
    return std::uint16_t(std::uint8_t(d[at]) | (std::uint8_t(d[at + 1]) << 8));
}

// A BMP file with a 40-byte header, the given palette (BGRA entries) and pixel bytes.
inline QByteArray BmpFile(int w, int h, int bits, std::uint32_t compression, const QByteArray& palette,
                          const QByteArray& pixels, std::uint32_t colorsUsed = 0) {
    Bytes b;
    const std::uint32_t off = 14 + 40 + std::uint32_t(palette.size());
    b.raw({'B', 'M'}).u32(off + std::uint32_t(pixels.size())).u32(0).u32(off);
    b.u32(40).u32(std::uint32_t(w)).u32(std::uint32_t(h)).u16(1).u16(unsigned(bits)).u32(compression);
    b.u32(std::uint32_t(pixels.size())).u32(0).u32(0).u32(colorsUsed).u32(0);
    b.raw(palette).raw(pixels);
    return b.data;
}

// Whether ImageMagick's convert can be run.
inline bool HaveConvert() {
    return !QStandardPaths::findExecutable(QStringLiteral("convert")).isEmpty();
}

inline bool RunConvert(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("convert"), args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace testsupport
