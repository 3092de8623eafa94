// The BMP reader as opening a file uses it: the whole file into a bitmap.
#include "FuzzEntry.h"

#include "Bitmap.h"
#include "Exceptions.h"

#include <QBuffer>
#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    try {
        TBitmap bitmap;
        bitmap.LoadFromStream(buffer);
        // Every row of what was read can be reached.
        volatile std::uint8_t sink = 0;
        for (int y = 0; y < bitmap.Height(); ++y)
            sink = sink ^ bitmap.ScanLine(y)[0];
    } catch (const Exception&) {
    }
    return 0;
}
