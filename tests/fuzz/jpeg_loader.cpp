// The JPEG loader as opening a file uses it: the stream is kept and its header read.
#include "FuzzEntry.h"

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
    } catch (const Exception&) {
    }
    return 0;
}
