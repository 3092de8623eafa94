#include "SafeFile.h"

#include "DurableFile.h"

#include <QFile>

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
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
            bool written = skip || WriteAll(fd, piece.data(), piece.size());
            // The piece is handed to the disk now rather than when the system gets round to it, so the
            // sync that completes the save finds little left to write. A device that fails it is a
            // failed write; a file that cannot be started on its way early (a pipe, a file system
            // without the call) is written all the same.
            if (written && !skip && offset >= 0) {
                if (::sync_file_range(fd, offset, off_t(piece.size()), SYNC_FILE_RANGE_WRITE) != 0 &&
                    errno != ESPIPE && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
                    written = false;
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

void SaveFileSafely(const QString& fileName, const std::function<void(QIODevice&)>& write) {
    const int error = durable::ReplaceFile(fileName, [&write](QFile& file) {
        try {
            write(file);
            return true;
        } catch (const EWriteError&) {
            return false;
        }
    });
    if (error != 0)
        throw EFCreateError(fileName);
}
