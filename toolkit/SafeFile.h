// Writing a file so that a failure never destroys what was there: the new content goes to a hidden file
// in the same folder, which replaces the target only once it is complete and on the device.
#pragma once

#include "Exceptions.h"

#include <QtGlobal>

#include <cstddef>
#include <functional>
#include <memory>

class QIODevice;
class QString;

// Raised by the stream writers when the device refuses bytes (a full disk, a vanished file).
class EWriteError : public Exception {
public:
    EWriteError();
};

// Writes all of `size` bytes or raises EWriteError.
void WriteBytes(QIODevice& device, const void* data, qint64 size);

// Writes a file that is made piece by piece (a stream as it is compressed) on a thread of its own, and
// starts each piece on its way to the disk at once: the making goes on on one core while the file is
// written on the other, and when the file is complete little is left to write. Without a thread of its
// own it writes each piece as it comes.
class TWriteBehind {
public:
    // Writes to `fd` from its current offset; the descriptor stays the caller's.
    explicit TWriteBehind(int fd);
    ~TWriteBehind();
    TWriteBehind(const TWriteBehind&) = delete;
    TWriteBehind& operator=(const TWriteBehind&) = delete;

    // Takes a copy of the piece. False once a write has failed.
    bool Write(const void* data, std::size_t size) noexcept;
    // Waits until every piece is written. False when any write failed.
    bool Finish() noexcept;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Runs `write` on a hidden file beside `fileName` (or beside the file a link names) and puts it in place
// of `fileName` durably, as durable::ReplaceFile does. When the folder takes no writes, when the file
// cannot be created, when `write` raises EWriteError or when the file cannot be written, synced, closed
// or renamed, the hidden file is removed, an existing `fileName` is left as it was, and
// EFCreateError(fileName) is raised. Any other error raised by `write` is passed on, also leaving the
// target untouched.
void SaveFileSafely(const QString& fileName, const std::function<void(QIODevice&)>& write);
