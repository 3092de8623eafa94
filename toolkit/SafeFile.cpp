#include "SafeFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

namespace {

// A new file beside the target, hidden, of a name nobody uses; created with the mode a new file gets
// (0666 less the umask), or the target's own when it exists. -1 when none can be made.
int CreateBeside(const QByteArray& target, QByteArray& name) {
    const int slash = target.lastIndexOf('/');
    const QByteArray folder = slash >= 0 ? target.left(slash + 1) : QByteArray();
    const QByteArray base = target.mid(slash + 1);
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = folder + '.' + base + ".~" + QByteArray::number(quint32(random()), 36);
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            struct stat existing;
            if (::stat(target.constData(), &existing) == 0)
                ::fchmod(fd, existing.st_mode & 07777);
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    return -1;
}

} // namespace

void SaveFileSafely(const QString& fileName, const std::function<void(QIODevice&)>& write) {
    // A link is followed: the file it names is the one replaced.
    const QFileInfo info(fileName);
    const QString resolved = info.isSymLink() ? info.symLinkTarget() : fileName;
    const QByteArray target = QFile::encodeName(resolved);
    QByteArray temporary;
    const int fd = CreateBeside(target, temporary);
    if (fd < 0)
        throw EFCreateError(fileName);
    bool placed = false;
    try {
        QFile file;
        if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            throw EFCreateError(fileName);
        }
        try {
            write(file);
        } catch (const EWriteError&) {
            throw EFCreateError(fileName);
        }
        if (!file.flush() || file.error() != QFileDevice::NoError)
            throw EFCreateError(fileName);
        file.close();
        // Only a complete file takes the target's place; until then the target is as it was. The data is
        // not forced to the disk first, which would cost more than writing it: file systems such as
        // ext4 write a file that replaces another by a rename before the rename itself.
        if (::rename(temporary.constData(), target.constData()) != 0)
            throw EFCreateError(fileName);
        placed = true;
    } catch (...) {
        if (!placed)
            ::unlink(temporary.constData());
        throw;
    }
}
