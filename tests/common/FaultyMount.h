// The tests' own file system (zrk_faulty_fs) mounted over a fresh folder for the life of one object:
// what is written through MountPoint() lands in Backing(), where a test looks at it directly.
#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cerrno>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

class TFaultyMount {
public:
    // Whether this machine can mount a user-space file system at all.
    static bool Possible() { return ::access("/dev/fuse", R_OK | W_OK) == 0; }

    // Mounts with the file system's options (--fail=..., --errno=..., --rate=..., --ro).
    TFaultyMount(const char* program, const QStringList& options) {
        QDir(root_.path()).mkdir(QStringLiteral("backing"));
        QDir(root_.path()).mkdir(QStringLiteral("mount"));
        int ready[2];
        if (::pipe2(ready, O_CLOEXEC) != 0)
            return;
        std::vector<std::string> words{program, QFile::encodeName(Backing()).toStdString(),
                                       QFile::encodeName(MountPoint()).toStdString()};
        for (const QString& option : options)
            words.push_back(option.toStdString());
        words.push_back("--ready=" + std::to_string(ready[1]));
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        server_ = ::fork();
        if (server_ == 0) {
            ::fcntl(ready[1], F_SETFD, 0);
            ::execv(program, argv.data());
            ::_exit(127);
        }
        ::close(ready[1]);
        // The server says when the mount is there; a minute only ends a hung start.
        pollfd wait{ready[0], POLLIN, 0};
        char byte = 0;
        mounted_ = server_ > 0 && ::poll(&wait, 1, 60000) == 1 && ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
    }

    ~TFaultyMount() {
        if (mounted_ && ::umount2(QFile::encodeName(MountPoint()).constData(), 0) != 0) {
            const std::string point = QFile::encodeName(MountPoint()).toStdString();
            if (const pid_t helper = ::fork(); helper == 0) {
                ::execlp("fusermount3", "fusermount3", "-u", "-z", point.c_str(),
                         static_cast<char*>(nullptr));
                ::_exit(127);
            } else if (helper > 0) {
                ::waitpid(helper, nullptr, 0);
            }
        }
        if (server_ > 0)
            ::waitpid(server_, nullptr, 0);
    }

    TFaultyMount(const TFaultyMount&) = delete;
    TFaultyMount& operator=(const TFaultyMount&) = delete;

    bool Mounted() const { return mounted_; }
    QString Backing() const { return root_.filePath(QStringLiteral("backing")); }
    QString MountPoint() const { return root_.filePath(QStringLiteral("mount")); }

private:
    QTemporaryDir root_;
    pid_t server_ = -1;
    bool mounted_ = false;
};
