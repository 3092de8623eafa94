// The busy animation's reader: a whole file into its frames.
#include "FuzzEntry.h"

#include "AviFile.h"
#include "Exceptions.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const TAviFile avi = TAviFile::FromData(bytes);
        volatile unsigned sink = 0;
        for (int i = 0; i < avi.FrameCount(); ++i)
            sink = sink ^ avi.Frame(i).pixel(avi.Width() - 1, avi.Height() - 1);
    } catch (const Exception&) {
    }
    return 0;
}
