#include "DurableFile.h"

#include <QFile>

#include <cerrno>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <random>
#include <system_error>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace durable {

namespace {

// When this run began: a hidden file last written before it belongs to a save of an earlier run.
const timespec RunStart = [] {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now;
}();

// Every hidden file of ours is named ".~zrk", six letters or digits, ".", and as much of the target's
// name as fits in the file system's limit.
constexpr char HiddenPrefix[] = ".~zrk";
constexpr int HiddenPrefixLength = int(sizeof HiddenPrefix) - 1;
constexpr int HiddenTagLength = 6;
constexpr int HiddenHeadLength = HiddenPrefixLength + HiddenTagLength + 1;

// A descriptor closed when it goes out of scope (where its close is not the one that must be checked).
class TDescriptor {
public:
    explicit TDescriptor(int fd = -1) : fd_(fd) {}
    ~TDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    int Get() const { return fd_; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// Saves' releases of replaced files still running.
struct TLetGo {
    std::mutex lock;
    std::condition_variable done;
    int running = 0;
};

TLetGo& LetGoState() {
    static TLetGo* state = new TLetGo; // outlives every thread that may still be letting go at exit
    return *state;
}

// Closes the last reference to a file that a save has replaced on a thread of its own: freeing its
// blocks and its cached pages costs about as much as writing a file of its size, and nobody needs to
// wait for it. Until then the old content stays on the device, which is why this comes only once the
// new file is durable.
void LetGoInBackground(int fd) noexcept {
    TLetGo& state = LetGoState();
    {
        const std::lock_guard<std::mutex> held(state.lock);
        ++state.running;
    }
    const auto release = [fd, &state] {
        ::close(fd); // a path descriptor: there is nothing whose loss its close could report
        const std::lock_guard<std::mutex> held(state.lock);
        --state.running;
        state.done.notify_all();
    };
    try {
        std::thread(release).detach();
    } catch (const std::system_error&) {
        release();
    }
}

// The file a name stands for: each link is followed, relative to the folder it lies in, until a name
// that is no link (or names nothing yet). Empty, with `error` set, for a loop of links.
QByteArray FollowLinks(QByteArray path, int& error) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat status {};
        if (::lstat(path.constData(), &status) != 0 || !S_ISLNK(status.st_mode))
            return path;
        QByteArray to(qsizetype(status.st_size > 0 ? status.st_size + 1 : 4096), '\0');
        const ssize_t n = ::readlink(path.constData(), to.data(), std::size_t(to.size()));
        if (n < 0) {
            error = errno;
            return {};
        }
        to.truncate(qsizetype(n));
        if (!to.startsWith('/')) {
            const qsizetype slash = path.lastIndexOf('/');
            to.prepend(slash >= 0 ? path.left(slash + 1) : QByteArray());
        }
        path = to;
    }
    error = ELOOP;
    return {};
}

// At most `limit` bytes of a UTF-8 name, cut before a character rather than inside one.
QByteArray CutName(const QByteArray& name, qsizetype limit) {
    if (name.size() <= limit)
        return name;
    qsizetype end = limit;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xc0) == 0x80)
        --end;
    return name.left(end);
}

// A new hidden file beside `base` in the folder, of a name nobody uses, created with the mode a new
// file gets (0666 less the umask). -1, with errno set, when none can be made.
int CreateHidden(int folder, const QByteArray& base, long nameMax, QByteArray& name) {
    static constexpr char Digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::random_device seed;
    std::mt19937 random(seed());
    const QByteArray tail = '.' + CutName(base, qsizetype(nameMax) - HiddenHeadLength);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = HiddenPrefix;
        for (int i = 0; i < HiddenTagLength; ++i)
            name += Digits[random() % 36];
        name += tail;
        const int fd = ::openat(folder, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

bool OlderThanTheRun(const struct stat& status) {
    return status.st_mtim.tv_sec < RunStart.tv_sec ||
           (status.st_mtim.tv_sec == RunStart.tv_sec && status.st_mtim.tv_nsec < RunStart.tv_nsec);
}

// Removes our hidden files of earlier runs from an open folder. A file that a save is writing is held
// locked by it, so a save of another instance running now is never disturbed.
void RemoveLeftoversAt(int folder) {
    const int listed = ::dup(folder);
    if (listed < 0)
        return;
    DIR* entries = ::fdopendir(listed);
    if (!entries) {
        ::close(listed);
        return;
    }
    while (const dirent* entry = ::readdir(entries)) {
        const QByteArray name(entry->d_name);
        struct stat status {};
        if (!IsHiddenName(name) || ::fstatat(folder, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(status.st_mode) || !OlderThanTheRun(status))
            continue;
        const TDescriptor file(
            ::openat(folder, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat opened {};
        if (file.Get() >= 0) {
            if (::flock(file.Get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
                continue; // being written
            if (::fstat(file.Get(), &opened) != 0 || opened.st_ino != status.st_ino ||
                opened.st_dev != status.st_dev)
                continue; // replaced meanwhile
        } else if (errno != EACCES) {
            continue;
        }
        ::unlinkat(folder, entry->d_name, 0); // gone already is as good
    }
    ::closedir(entries);
}

// A hidden file that is removed again unless it took the target's place.
struct THiddenFile {
    int folder;
    QByteArray name;
    bool placed = false;
    ~THiddenFile() {
        if (!name.isEmpty() && !placed)
            ::unlinkat(folder, name.constData(), 0);
    }
};

// Syncs a folder after a rename in it. A file system that cannot sync a folder (some network and
// user-space ones answer EINVAL) makes the rename durable by itself.
int SyncFolder(int folder) {
    if (::fsync(folder) == 0 || errno == EINVAL || errno == ENOTSUP || errno == EBADF)
        return 0;
    return errno;
}

} // namespace

bool IsHiddenName(const QByteArray& name) {
    if (name.size() < HiddenHeadLength || !name.startsWith(HiddenPrefix) || name[HiddenHeadLength - 1] != '.')
        return false;
    for (int i = HiddenPrefixLength; i < HiddenPrefixLength + HiddenTagLength; ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z')))
            return false;
    }
    return true;
}

void RemoveLeftovers(const QString& folder) {
    const TDescriptor opened(
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (opened.Get() >= 0)
        RemoveLeftoversAt(opened.Get());
}

void WaitForLetGo() {
    TLetGo& state = LetGoState();
    std::unique_lock<std::mutex> held(state.lock);
    state.done.wait(held, [&state] { return state.running == 0; });
}

int ReplaceFile(const QString& fileName, const TWriter& write) {
    if (fileName.isEmpty())
        return ENOENT;
    int error = 0;
    const QByteArray target = FollowLinks(QFile::encodeName(fileName), error);
    if (target.isEmpty())
        return error;
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folderName = slash < 0    ? QByteArray(".")
                                  : slash == 0 ? QByteArray("/")
                                               : target.left(slash);
    const QByteArray base = target.mid(slash + 1);
    if (base.isEmpty() || base == "." || base == "..")
        return EISDIR;

    // Everything that can be known before writing is checked first: the folder, whether it takes
    // writes, the name's length, what the name holds now.
    const TDescriptor folder(::open(folderName.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() < 0)
        return errno;
    struct statvfs mount {};
    if (::fstatvfs(folder.Get(), &mount) == 0 && (mount.f_flag & ST_RDONLY))
        return EROFS;
    if (::access(folderName.constData(), W_OK | X_OK) != 0)
        return errno;
    long nameMax = ::fpathconf(folder.Get(), _PC_NAME_MAX);
    if (nameMax <= HiddenHeadLength)
        nameMax = 255;
    if (base.size() > nameMax)
        return ENAMETOOLONG;
    struct stat existing {};
    const bool exists = ::fstatat(folder.Get(), base.constData(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        return EISDIR;

    RemoveLeftoversAt(folder.Get());

    THiddenFile hidden{folder.Get(), {}};
    TDescriptor fd(CreateHidden(folder.Get(), base, nameMax, hidden.name));
    if (fd.Get() < 0) {
        hidden.name.clear();
        return errno;
    }
    // Held until the file is closed, so that a cleaning save of another instance leaves it alone. A
    // file system without locks has only the age of a file to go by.
    (void)::flock(fd.Get(), LOCK_EX | LOCK_NB);
    // The new file keeps the mode of the file it replaces. Where the file system keeps no modes (FAT)
    // the refusal changes nothing that could be kept.
    if (exists && S_ISREG(existing.st_mode))
        (void)::fchmod(fd.Get(), existing.st_mode & 07777);

    {
        QFile file;
        if (!file.open(fd.Get(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
            return EIO;
        if (!write(file) || !file.flush() || file.error() != QFileDevice::NoError)
            return EIO;
    }
    // The data reaches the device before the name does: a power cut after the rename finds the whole
    // new file, one before it the old file.
    if (::fsync(fd.Get()) != 0)
        return errno;
    // Network and user-space file systems report a full disk or quota only here.
    if (::close(fd.Release()) != 0)
        return errno;

    // The old file is held open across the rename, so its blocks stay until the new file is durable.
    TDescriptor replaced(exists ? ::openat(folder.Get(), base.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC)
                                : -1);
    if (::renameat(folder.Get(), hidden.name.constData(), folder.Get(), base.constData()) != 0)
        return errno;
    hidden.placed = true;
    error = SyncFolder(folder.Get());
    if (replaced.Get() >= 0)
        LetGoInBackground(replaced.Release());
    return error;
}

} // namespace durable
