// Replacing a file durably: what lies under the name is always the old file or the new one, whole,
// whatever fails and wherever the saving process ends.
#include "DurableFile.h"
#include "FaultyMount.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/file.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void WriteFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(data), data.size());
}

QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                               QDir::Name);
}

int Save(const QString& target, const QByteArray& data) {
    return durable::ReplaceFile(target, [&data](QFile& file) { return file.write(data) == data.size(); });
}

// Sets a file's times to an hour before now: a file of an earlier run.
void MakeOld(const QString& path) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    now.tv_sec -= 3600;
    const timespec times[2] = {now, now};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW), 0);
}

int RunChild(const QStringList& arguments) {
    QProcess child;
    child.start(QStringLiteral(ZRK_SAVE_CHILD), arguments);
    // A minute only ends a hung save.
    if (!child.waitForFinished(60000) || child.exitStatus() != QProcess::NormalExit)
        return -1;
    return child.exitCode();
}

// The environment of a traced child. A sanitizer build's leak check stops the process's threads by
// tracing them as it ends, which a process already traced cannot allow; it is left out there.
std::vector<std::string> TracedEnvironment() {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry)
        if (std::strncmp(*entry, "ASAN_OPTIONS=", 13) != 0)
            environment.emplace_back(*entry);
    const char* asan = std::getenv("ASAN_OPTIONS");
    environment.push_back(std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") +
                          "detect_leaks=0");
    return environment;
}

// Runs a save in a child under ptrace and kills it on entering its `n`-th system call after it stopped
// itself. True when it was killed there; false when the save ended before it, with its exit code.
bool KillAtSystemCall(const std::vector<std::string>& words, int n, int& exitCode) {
    std::vector<char*> argv;
    for (const std::string& word : words)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    const std::vector<std::string> environment = TracedEnvironment();
    std::vector<char*> envp;
    for (const std::string& entry : environment)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0); // stopped at its start
    ::ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
    ::ptrace(PTRACE_CONT, child, nullptr, nullptr);
    ::waitpid(child, &status, 0); // the child's own stop, just before the save
    int entered = 0;
    bool entering = true;
    int signal = 0; // the child's own stop is not passed on
    for (;;) {
        ::ptrace(PTRACE_SYSCALL, child, nullptr, reinterpret_cast<void*>(long(signal)));
        ::waitpid(child, &status, 0);
        if (WIFEXITED(status) || WIFSIGNALED(status)) {
            exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return false;
        }
        signal = 0;
        if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
            signal = WSTOPSIG(status);
            continue;
        }
        if (entering && ++entered == n) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return true;
        }
        entering = !entering;
    }
}

} // namespace

TEST(DurableFile, LinksAreFollowedToTheFileAndStayLinks) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("real") && QDir(dir.path()).mkpath("sub"));
    WriteFile(dir.filePath("real/page.bmp"), "old");
    // page.bmp -> sub/middle.bmp -> ../real/page.bmp, both relative to the folder they lie in.
    ASSERT_EQ(::symlink("sub/middle.bmp", QFile::encodeName(dir.filePath("page.bmp")).constData()), 0);
    ASSERT_EQ(::symlink("../real/page.bmp", QFile::encodeName(dir.filePath("sub/middle.bmp")).constData()),
              0);
    ASSERT_EQ(Save(dir.filePath("page.bmp"), "new"), 0);
    EXPECT_EQ(ReadAll(dir.filePath("real/page.bmp")), "new");
    EXPECT_TRUE(QFileInfo(dir.filePath("page.bmp")).isSymLink());
    EXPECT_TRUE(QFileInfo(dir.filePath("sub/middle.bmp")).isSymLink());
    EXPECT_EQ(Entries(dir.filePath("real")), QStringList{"page.bmp"});

    // A link to a file not there yet makes that file.
    ASSERT_EQ(::symlink("later.bmp", QFile::encodeName(dir.filePath("early.bmp")).constData()), 0);
    ASSERT_EQ(Save(dir.filePath("early.bmp"), "made"), 0);
    EXPECT_TRUE(QFileInfo(dir.filePath("early.bmp")).isSymLink());
    EXPECT_EQ(ReadAll(dir.filePath("later.bmp")), "made");

    // Links in a ring name no file: refused, nothing written.
    ASSERT_EQ(::symlink("b", QFile::encodeName(dir.filePath("sub/a")).constData()), 0);
    ASSERT_EQ(::symlink("a", QFile::encodeName(dir.filePath("sub/b")).constData()), 0);
    EXPECT_EQ(Save(dir.filePath("sub/a"), "x"), ELOOP);
    EXPECT_EQ(Entries(dir.filePath("sub")), (QStringList{"a", "b", "middle.bmp"}));
}

TEST(DurableFile, NamesUpToTheFileSystemsLimitSave) {
    QTemporaryDir dir;
    const QString ascii = QString(251, 'a') + ".bmp"; // 255 bytes
    ASSERT_EQ(Save(dir.filePath(ascii), "1"), 0);
    EXPECT_EQ(ReadAll(dir.filePath(ascii)), "1");
    // 127 two-byte letters and one more byte: the hidden name is cut before a letter, not inside one.
    const QString cyrillic = QString(127, QChar(0x0436)) + "x";
    ASSERT_EQ(QFile::encodeName(cyrillic).size(), 255);
    ASSERT_EQ(Save(dir.filePath(cyrillic), "2"), 0);
    ASSERT_EQ(Save(dir.filePath(cyrillic), "3"), 0);
    EXPECT_EQ(ReadAll(dir.filePath(cyrillic)), "3");
    EXPECT_EQ(Save(dir.filePath(QString(256, 'b')), "4"), ENAMETOOLONG);
    EXPECT_EQ(Entries(dir.path()), (QStringList{ascii, cyrillic}));
}

TEST(DurableFile, AFolderThatTakesNoWritesIsRefusedBeforeAnything) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("locked");
    ASSERT_TRUE(QDir().mkpath(folder));
    WriteFile(folder + "/page.bmp", "old");
    // Root may write anywhere; the save runs as nobody then.
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    EXPECT_EQ(RunChild({folder + "/page.bmp", "1000", "n", "--as-nobody"}), EACCES);
    EXPECT_EQ(ReadAll(folder + "/page.bmp"), "old");
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    EXPECT_EQ(Entries(folder), QStringList{"page.bmp"});
}

TEST(DurableFile, HiddenFilesOfEarlierRunsAreRemovedAndNothingElse) {
    QTemporaryDir dir;
    const QStringList removed{".~zrkab12cd.page.bmp", ".~zrk000000.x"};
    // Not ours, of this run, or being written by a save of another instance.
    const QStringList kept{".~zrkAB12CD.page.bmp", ".page.bmp.~abc",       "notes.txt", ".~zrkab12c.page.bmp",
                           ".~zrkzzzzzz.new.bmp",  ".~zrkyyyyyy.busy.bmp", "page.bmp"};
    for (const QString& name : removed + kept)
        WriteFile(dir.filePath(name), "x");
    for (const QString& name : removed + kept)
        if (name != ".~zrkzzzzzz.new.bmp")
            MakeOld(dir.filePath(name));
    ASSERT_TRUE(QDir(dir.path()).mkdir(".~zrkdirdir.x"));
    MakeOld(dir.filePath(".~zrkdirdir.x"));
    QFile busy(dir.filePath(".~zrkyyyyyy.busy.bmp"));
    ASSERT_TRUE(busy.open(QIODevice::ReadOnly));
    ASSERT_EQ(::flock(busy.handle(), LOCK_EX), 0);

    ASSERT_EQ(Save(dir.filePath("page.bmp"), "new"), 0);
    QStringList expected = kept;
    expected << ".~zrkdirdir.x";
    expected.sort();
    EXPECT_EQ(Entries(dir.path()), expected);

    // The same at start-up, without a save; the busy one once it is no longer written.
    busy.close();
    durable::RemoveLeftovers(dir.path());
    expected.removeOne(".~zrkyyyyyy.busy.bmp");
    EXPECT_EQ(Entries(dir.path()), expected);
}

// The save is ended at each of its system calls in turn. Whatever the call, the name holds the old
// bytes or the new ones, whole, beside at most one hidden file, which the next save removes.
TEST(DurableFile, ASaveEndedAtEverySystemCallLeavesTheOldFileOrTheNew) {
    QTemporaryDir dir;
    const QString target = dir.filePath("page.bmp");
    const QByteArray old(100000, 'o');
    const QByteArray fresh(300000, 'n');
    const std::vector<std::string> words{ZRK_SAVE_CHILD, QFile::encodeName(target).toStdString(), "300000",
                                         "n", "--stop"};
    int oldSeen = 0;
    int newSeen = 0;
    int exitCode = -1;
    int n = 1;
    for (; n < 10000; ++n) {
        WriteFile(target, old);
        if (!KillAtSystemCall(words, n, exitCode))
            break;
        const QByteArray now = ReadAll(target);
        ASSERT_TRUE(now == old || now == fresh)
            << "ended at system call " << n << ": " << now.size() << " bytes";
        (now == old ? oldSeen : newSeen) += 1;
        const QStringList entries = Entries(dir.path());
        ASSERT_LE(entries.size(), 2) << n;
        for (const QString& name : entries)
            EXPECT_TRUE(name == "page.bmp" || durable::IsHiddenName(QFile::encodeName(name)))
                << name.toStdString();
    }
    EXPECT_EQ(exitCode, 0);
    EXPECT_GT(oldSeen, 10); // the harness did end saves before the rename ...
    EXPECT_GE(newSeen, 1);  // ... and after it
    EXPECT_EQ(ReadAll(target), fresh);
    EXPECT_EQ(Entries(dir.path()), QStringList{"page.bmp"});
}

// As traced: the new file's data is synced and the file closed before the rename, and the folder is
// synced after it.
TEST(DurableFile, TheDataIsSyncedBeforeTheRenameAndTheFolderAfter) {
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (strace.isEmpty())
        GTEST_SKIP() << "strace is not installed";
    QTemporaryDir dir;
    const QString folder = QFileInfo(dir.path()).canonicalFilePath();
    const QString target = folder + "/page.bmp";
    WriteFile(target, "old");
    QProcess traced;
    QProcessEnvironment environment;
    for (const std::string& entry : TracedEnvironment()) {
        const std::size_t equals = entry.find('=');
        environment.insert(QString::fromStdString(entry.substr(0, equals)),
                           QString::fromStdString(entry.substr(equals + 1)));
    }
    traced.setProcessEnvironment(environment);
    traced.start(strace, {"-f", "-qq", "-y", "-e", "trace=fsync,fdatasync,close,rename,renameat,renameat2",
                          "-o", dir.filePath("trace"), ZRK_SAVE_CHILD, target, "200000", "n"});
    ASSERT_TRUE(traced.waitForFinished(60000));
    ASSERT_EQ(traced.exitCode(), 0) << traced.readAllStandardError().toStdString();
    const QStringList lines = QString::fromUtf8(ReadAll(dir.filePath("trace"))).split('\n');
    const auto find = [&lines](const QString& pattern, qsizetype from = 0) {
        const QRegularExpression expression(pattern);
        for (qsizetype i = from; i < lines.size(); ++i)
            if (expression.match(lines[i]).hasMatch() && lines[i].endsWith("= 0"))
                return i;
        return qsizetype(-1);
    };
    const QString hidden = QRegularExpression::escape(folder) + "/\\.~zrk[0-9a-z]{6}\\.page\\.bmp";
    const qsizetype synced = find("f(data)?sync\\(\\d+<" + hidden + ">\\)");
    const qsizetype closed = find("close\\(\\d+<" + hidden + ">\\)");
    const qsizetype renamed = find("rename(at2?)?\\(.*\\.~zrk.*page\\.bmp\"");
    const qsizetype folderSynced =
        find("fsync\\(\\d+<" + QRegularExpression::escape(folder) + ">\\)", renamed);
    ASSERT_GE(synced, 0) << lines.join('\n').toStdString();
    EXPECT_LT(synced, closed);
    EXPECT_LT(closed, renamed);
    EXPECT_GT(folderSynced, renamed) << lines.join('\n').toStdString();
}

// A device that fails a write, a sync or the close, with each error such a device reports: the save
// fails with that error and the old file is as it was, with nothing beside it.
TEST(DurableFile, AFailingDeviceKeepsTheOldFile) {
    if (!TFaultyMount::Possible())
        GTEST_SKIP() << "no /dev/fuse here";
    for (const char* step : {"write", "fsync", "close"})
        for (const auto& [name, code] : {std::pair{"EIO", EIO}, {"ENOSPC", ENOSPC}, {"EDQUOT", EDQUOT}}) {
            SCOPED_TRACE(std::string(step) + " " + name);
            const TFaultyMount mount(ZRK_FAULTY_FS, {QString("--fail=") + step, QString("--errno=") + name});
            ASSERT_TRUE(mount.Mounted());
            WriteFile(mount.Backing() + "/page.bmp", "the good page");
            const int error = Save(mount.MountPoint() + "/page.bmp", QByteArray(500000, 'n'));
            if (std::string(step) == "write")
                EXPECT_NE(error, 0);
            else
                EXPECT_EQ(error, code);
            EXPECT_EQ(ReadAll(mount.Backing() + "/page.bmp"), "the good page");
            EXPECT_EQ(Entries(mount.Backing()), QStringList{"page.bmp"});
        }
    // The same file system without a fault saves.
    const TFaultyMount sound(ZRK_FAULTY_FS, {});
    ASSERT_TRUE(sound.Mounted());
    ASSERT_EQ(Save(sound.MountPoint() + "/page.bmp", "new"), 0);
    EXPECT_EQ(ReadAll(sound.Backing() + "/page.bmp"), "new");
}

TEST(DurableFile, AReadOnlyMountIsRefusedBeforeAnything) {
    if (!TFaultyMount::Possible())
        GTEST_SKIP() << "no /dev/fuse here";
    QTemporaryDir dir;
    const TFaultyMount mount(ZRK_FAULTY_FS, {"--ro"});
    ASSERT_TRUE(mount.Mounted());
    WriteFile(mount.Backing() + "/page.bmp", "old");
    bool written = false;
    EXPECT_EQ(durable::ReplaceFile(mount.MountPoint() + "/page.bmp",
                                   [&written](QFile&) {
                                       written = true;
                                       return true;
                                   }),
              EROFS);
    EXPECT_FALSE(written);
    EXPECT_EQ(Entries(mount.Backing()), QStringList{"page.bmp"});
}
