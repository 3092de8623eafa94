// Writing a file so that a failure never destroys what was there: the new content goes to a temporary
// file in the same folder, which replaces the target only once it is complete.
#pragma once

#include "Exceptions.h"

#include <QtGlobal>
#include <functional>

class QIODevice;
class QString;

// Raised by the stream writers when the device refuses bytes (a full disk, a vanished file).
class EWriteError : public Exception {
public:
    EWriteError();
};

// Writes all of `size` bytes or raises EWriteError.
void WriteBytes(QIODevice& device, const void* data, qint64 size);

// Runs `write` on a temporary file beside `fileName` and then puts it in place of `fileName`. When the
// temporary file cannot be created, when `write` raises EWriteError or when the file cannot be completed
// and renamed, the temporary file is removed, an existing `fileName` is left as it was, and
// EFCreateError(fileName) is raised. Any other error raised by `write` is passed on, also leaving the
// target untouched.
void SaveFileSafely(const QString& fileName, const std::function<void(QIODevice&)>& write);
