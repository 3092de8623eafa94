#include "SafeFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <new>
#include <random>
#include <system_error>
#include <thread>
#include <vector>

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

// Writes all of a piece to `fd`; false when the file takes no more.
bool WriteAll(int fd, const std::uint8_t* p, std::size_t size) noexcept {
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

} // namespace

struct TWriteBehind::State {
    int fd = -1;
    off_t offset = -1; // of the next piece in the file; -1 where the descriptor has none (a pipe)
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::vector<std::uint8_t>> queue;  // pieces not yet written, oldest first
    std::vector<std::vector<std::uint8_t>> spare; // pieces written, whose memory serves again
    bool finishing = false;
    bool failed = false;
    std::thread writer;

    void Run() noexcept {
        std::unique_lock<std::mutex> held(lock);
        for (;;) {
            changed.wait(held, [this] { return finishing || !queue.empty(); });
            if (queue.empty())
                return;
            std::vector<std::uint8_t> piece = std::move(queue.front());
            queue.pop_front();
            const bool skip = failed;
            held.unlock();
            const bool written = skip || WriteAll(fd, piece.data(), piece.size());
            // The piece is handed to the disk now rather than when the system gets round to it, so the
            // rename that completes the save finds nothing left to write.
            if (written && !skip && offset >= 0) {
                ::sync_file_range(fd, offset, off_t(piece.size()), SYNC_FILE_RANGE_WRITE);
                offset += off_t(piece.size());
            }
            held.lock();
            failed = failed || !written;
            spare.push_back(std::move(piece));
        }
    }
};

TWriteBehind::TWriteBehind(int fd) : state_(std::make_unique<State>()) {
    state_->fd = fd;
    state_->offset = ::lseek(fd, 0, SEEK_CUR);
    try {
        state_->writer = std::thread([s = state_.get()] { s->Run(); });
    } catch (const std::system_error&) {
        // No thread: every piece is written as it comes.
    }
}

TWriteBehind::~TWriteBehind() {
    Finish();
}

bool TWriteBehind::Write(const void* data, std::size_t size) noexcept {
    State& s = *state_;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (!s.writer.joinable()) {
        s.failed = s.failed || !WriteAll(s.fd, bytes, size);
        return !s.failed;
    }
    std::unique_lock<std::mutex> held(s.lock);
    if (s.failed)
        return false;
    std::vector<std::uint8_t> piece;
    if (!s.spare.empty()) {
        piece = std::move(s.spare.back());
        s.spare.pop_back();
    }
    held.unlock();
    try {
        piece.assign(bytes, bytes + size);
    } catch (const std::bad_alloc&) {
        held.lock();
        s.failed = true;
        return false;
    }
    held.lock();
    s.queue.push_back(std::move(piece));
    s.changed.notify_one();
    return true;
}

bool TWriteBehind::Finish() noexcept {
    State& s = *state_;
    if (s.writer.joinable()) {
        {
            const std::lock_guard<std::mutex> held(s.lock);
            s.finishing = true;
        }
        s.changed.notify_one();
        s.writer.join();
    }
    return !s.failed;
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

// Closes the last reference to a file that a save has replaced on a thread of its own: freeing its
// blocks and its cached pages costs about as much as writing a file of its size, and nobody needs to
// wait for it.
void LetGoInBackground(int fd) noexcept {
    try {
        std::thread([fd] { ::close(fd); }).detach();
    } catch (const std::system_error&) {
        ::close(fd);
    }
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
        const int replaced = ::open(target.constData(), O_PATH | O_CLOEXEC);
        if (::rename(temporary.constData(), target.constData()) != 0) {
            if (replaced >= 0)
                ::close(replaced);
            throw EFCreateError(fileName);
        }
        placed = true;
        if (replaced >= 0)
            LetGoInBackground(replaced);
    } catch (...) {
        if (!placed)
            ::unlink(temporary.constData());
        throw;
    }
}
