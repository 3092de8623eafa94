// The JPEG decoder as the working picture uses it: a stream whose header loads is decoded into a bitmap.
#include "FuzzEntry.h"

#include "Bitmap.h"
#include "Exceptions.h"
#include "JpegImage.h"

#include <QBuffer>
#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    try {
        TJPEGImage jpeg;
        jpeg.LoadFromStream(buffer);
        const TBitmap& bitmap = jpeg.Bitmap();
        volatile std::uint8_t sink = 0;
        for (int y = 0; y < bitmap.Height(); ++y)
            sink = sink ^ bitmap.ConstScanLine(y)[0];
    } catch (const Exception&) {
    }
    return 0;
}
