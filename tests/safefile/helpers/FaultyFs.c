// A file system of the tests' own over a folder, that fails on demand as a worn or full device does,
// or writes as slowly as a cheap stick:
//
//   zrk_faulty_fs BACKING MOUNTPOINT [--fail=write|fsync|close] [--errno=EIO|ENOSPC|EDQUOT]
//                 [--rate=BYTES_PER_SECOND] [--ro] [--ready=FD]
//
// It mounts, writes one byte to the descriptor given by --ready once the mount is there, and serves
// until it is unmounted. Only files of the mount's top folder are served, which is all a save needs.
#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

static int backing = -1;         // the folder served
static const char* failing = ""; // "write", "fsync", "close" or nothing
static int failure = EIO;
static long long rate = 0; // bytes per second a write goes at; 0 for as fast as the folder

// The name inside the backing folder of a path of the mount ("/" is the folder itself).
static const char* Inside(const char* path) {
    return path[1] ? path + 1 : ".";
}

static int Fails(const char* step) {
    return strcmp(failing, step) == 0;
}

static int GetAttr(const char* path, struct stat* status, struct fuse_file_info* file) {
    if (file)
        return fstat((int)file->fh, status) == 0 ? 0 : -errno;
    return fstatat(backing, Inside(path), status, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : -errno;
}

static int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset,
                   struct fuse_file_info* file, enum fuse_readdir_flags flags) {
    (void)offset, (void)file, (void)flags;
    const int fd = openat(backing, Inside(path), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return -errno;
    DIR* entries = fdopendir(fd);
    if (!entries) {
        close(fd);
        return -errno;
    }
    for (struct dirent* entry; (entry = readdir(entries));)
        fill(buffer, entry->d_name, NULL, 0, 0);
    closedir(entries);
    return 0;
}

static int Create(const char* path, mode_t mode, struct fuse_file_info* file) {
    const int fd = openat(backing, Inside(path), file->flags, mode);
    if (fd < 0)
        return -errno;
    file->fh = (uint64_t)fd;
    return 0;
}

static int Open(const char* path, struct fuse_file_info* file) {
    return Create(path, 0, file);
}

static int Read(const char* path, char* buffer, size_t size, off_t offset, struct fuse_file_info* file) {
    (void)path;
    const ssize_t n = pread((int)file->fh, buffer, size, offset);
    return n < 0 ? -errno : (int)n;
}

static int Write(const char* path, const char* buffer, size_t size, off_t offset,
                 struct fuse_file_info* file) {
    (void)path;
    if (Fails("write"))
        return -failure;
    if (rate > 0) {
        const long long nanoseconds = (long long)size * 1000000000LL / rate;
        struct timespec pause = {(time_t)(nanoseconds / 1000000000LL), (long)(nanoseconds % 1000000000LL)};
        while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
        }
    }
    const ssize_t n = pwrite((int)file->fh, buffer, size, offset);
    return n < 0 ? -errno : (int)n;
}

static int Flush(const char* path, struct fuse_file_info* file) {
    (void)path, (void)file;
    return Fails("close") ? -failure : 0;
}

static int Fsync(const char* path, int dataOnly, struct fuse_file_info* file) {
    (void)path;
    if (Fails("fsync"))
        return -failure;
    return (dataOnly ? fdatasync((int)file->fh) : fsync((int)file->fh)) == 0 ? 0 : -errno;
}

static int FsyncDir(const char* path, int dataOnly, struct fuse_file_info* file) {
    (void)path, (void)dataOnly, (void)file;
    return fsync(backing) == 0 ? 0 : -errno;
}

static int Release(const char* path, struct fuse_file_info* file) {
    (void)path;
    close((int)file->fh);
    return 0;
}

static int Rename(const char* from, const char* to, unsigned int flags) {
    if (flags)
        return -EINVAL;
    return renameat(backing, Inside(from), backing, Inside(to)) == 0 ? 0 : -errno;
}

static int Unlink(const char* path) {
    return unlinkat(backing, Inside(path), 0) == 0 ? 0 : -errno;
}

static int Chmod(const char* path, mode_t mode, struct fuse_file_info* file) {
    if (file)
        return fchmod((int)file->fh, mode) == 0 ? 0 : -errno;
    return fchmodat(backing, Inside(path), mode, 0) == 0 ? 0 : -errno;
}

static int Truncate(const char* path, off_t size, struct fuse_file_info* file) {
    (void)path;
    if (!file)
        return -EOPNOTSUPP;
    return ftruncate((int)file->fh, size) == 0 ? 0 : -errno;
}

static int Utimens(const char* path, const struct timespec times[2], struct fuse_file_info* file) {
    if (file)
        return futimens((int)file->fh, times) == 0 ? 0 : -errno;
    return utimensat(backing, Inside(path), times, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : -errno;
}

static int StatFs(const char* path, struct statvfs* status) {
    (void)path;
    return fstatvfs(backing, status) == 0 ? 0 : -errno;
}

static void* Init(struct fuse_conn_info* connection, struct fuse_config* config) {
    (void)connection;
    // Every write goes to the server, as on a device without a cache of its own.
    config->direct_io = 0;
    config->kernel_cache = 0;
    config->use_ino = 0;
    return NULL;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s BACKING MOUNTPOINT [options]\n", argv[0]);
        return 2;
    }
    backing = open(argv[1], O_RDONLY | O_DIRECTORY);
    if (backing < 0) {
        perror(argv[1]);
        return 2;
    }
    int ready = -1;
    int readOnly = 0;
    for (int i = 3; i < argc; ++i) {
        if (strncmp(argv[i], "--fail=", 7) == 0)
            failing = argv[i] + 7;
        else if (strcmp(argv[i], "--errno=ENOSPC") == 0)
            failure = ENOSPC;
        else if (strcmp(argv[i], "--errno=EDQUOT") == 0)
            failure = EDQUOT;
        else if (strcmp(argv[i], "--errno=EIO") == 0)
            failure = EIO;
        else if (strncmp(argv[i], "--rate=", 7) == 0)
            rate = atoll(argv[i] + 7);
        else if (strcmp(argv[i], "--ro") == 0)
            readOnly = 1;
        else if (strncmp(argv[i], "--ready=", 8) == 0)
            ready = atoi(argv[i] + 8);
    }
    static const struct fuse_operations operations = {
        .getattr = GetAttr,
        .unlink = Unlink,
        .rename = Rename,
        .chmod = Chmod,
        .truncate = Truncate,
        .open = Open,
        .read = Read,
        .write = Write,
        .statfs = StatFs,
        .flush = Flush,
        .release = Release,
        .fsync = Fsync,
        .readdir = ReadDir,
        .fsyncdir = FsyncDir,
        .init = Init,
        .create = Create,
        .utimens = Utimens,
    };
    char* fuseArgv[] = {argv[0], "-o", readOnly ? "ro,default_permissions" : "default_permissions", NULL};
    struct fuse_args args = FUSE_ARGS_INIT(3, fuseArgv);
    struct fuse* fs = fuse_new(&args, &operations, sizeof operations, NULL);
    if (!fs)
        return 3;
    if (fuse_mount(fs, argv[2]) != 0) {
        fuse_destroy(fs);
        return 4;
    }
    if (ready >= 0) {
        const char byte = 1;
        if (write(ready, &byte, 1) != 1)
            return 5;
        close(ready);
    }
    const int result = fuse_loop(fs);
    fuse_unmount(fs);
    fuse_destroy(fs);
    return result == 0 ? 0 : 6;
}
