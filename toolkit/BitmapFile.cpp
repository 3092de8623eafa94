// Interim BMP reading and writing: uncompressed 24-bit only. Replaced by the full codec.
#include "Bitmap.h"
#include "Exceptions.h"

#include <QFile>
#include <QtEndian>

void TBitmap::LoadFromFile(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EFOpenError(fileName);
    LoadFromStream(file);
}

void TBitmap::SaveToFile(const QString& fileName) const {
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw EFCreateError(fileName);
    SaveToStream(file);
}

void TBitmap::LoadFromStream(QIODevice& stream) {
    const QByteArray data = stream.readAll();
    if (data.size() < 54 || data[0] != 'B' || data[1] != 'M')
        throw EInvalidGraphic();
    auto u32 = [&](int at) { return qFromLittleEndian<quint32>(data.constData() + at); };
    auto u16 = [&](int at) { return qFromLittleEndian<quint16>(data.constData() + at); };
    const qint32 w = qint32(u32(18)), h = qint32(u32(22));
    const quint32 offset = u32(10);
    if (u16(28) != 24 || u32(30) != 0 || w <= 0 || h == 0 || w > 30000 || std::abs(h) > 30000)
        throw EInvalidGraphic();
    const int height = std::abs(h);
    const qsizetype stride = ((qsizetype(w) * 24 + 31) / 32) * 4;
    if (qsizetype(offset) + stride * height > data.size())
        throw EInvalidGraphic();
    TBitmap bitmap;
    bitmap.SetSize(w, height);
    for (int y = 0; y < height; ++y) {
        const int fileRow = h > 0 ? height - 1 - y : y;
        std::memcpy(bitmap.ScanLine(y), data.constData() + offset + fileRow * stride, std::size_t(w) * 3);
    }
    Assign(&bitmap);
}

void TBitmap::SaveToStream(QIODevice& stream) const {
    const int bpp = BitsPerPixel(PixelFormat());
    const std::size_t stride = std::size_t(RowStride());
    const quint32 colors = quint32(ColorTable().size());
    const quint32 offset = 14 + 40 + 4 * colors;
    const quint32 imageSize = quint32(stride * std::size_t(Height()));
    QByteArray header(int(offset), '\0');
    char* p = header.data();
    p[0] = 'B';
    p[1] = 'M';
    qToLittleEndian<quint32>(offset + imageSize, p + 2);
    qToLittleEndian<quint32>(offset, p + 10);
    qToLittleEndian<quint32>(40, p + 14);
    qToLittleEndian<qint32>(Width(), p + 18);
    qToLittleEndian<qint32>(Height(), p + 22);
    qToLittleEndian<quint16>(1, p + 26);
    qToLittleEndian<quint16>(quint16(bpp), p + 28);
    qToLittleEndian<quint32>(imageSize, p + 34);
    qToLittleEndian<quint32>(colors, p + 46);
    for (quint32 i = 0; i < colors; ++i) {
        const TRGBQuad& c = ColorTable()[i];
        p[54 + 4 * i] = char(c.Blue);
        p[55 + 4 * i] = char(c.Green);
        p[56 + 4 * i] = char(c.Red);
    }
    stream.write(header);
    for (int y = Height() - 1; y >= 0; --y)
        stream.write(reinterpret_cast<const char*>(ScanLine(y)), qint64(stride));
}
