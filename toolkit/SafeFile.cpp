#include "SafeFile.h"

#include <QSaveFile>

EWriteError::EWriteError() : Exception(QStringLiteral("Stream write error")) {}

void WriteBytes(QIODevice& device, const void* data, qint64 size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const qint64 n = device.write(p, size);
        if (n <= 0)
            throw EWriteError();
        p += n;
        size -= n;
    }
}

void SaveFileSafely(const QString& fileName, const std::function<void(QIODevice&)>& write) {
    QSaveFile file(fileName);
    // Never fall back to writing the target in place: that is what would destroy a good file.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        throw EFCreateError(fileName);
    try {
        write(file);
    } catch (const EWriteError&) {
        file.cancelWriting();
        throw EFCreateError(fileName);
    } catch (...) {
        file.cancelWriting();
        throw;
    }
    if (!file.commit())
        throw EFCreateError(fileName);
}
