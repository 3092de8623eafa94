#include "RunFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <cstdlib>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr char Prefix[] = "zrk201-run-";
// Present once the folder's owner holds the lock on the folder, so a folder without it is never taken
// for a leftover.
constexpr char OwnerMark[] = ".owner";

struct Run {
    QString path;
    int lock = -1; // the folder, opened and locked for as long as this process lives
    bool removalRegistered = false;
};

Run& This() {
    static Run run;
    return run;
}

// Opens a folder and takes its lock without waiting; -1 when another process holds it.
int LockFolder(const QString& folder) {
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void RemoveThisRunsFolder() {
    Run& run = This();
    if (!run.path.isEmpty())
        QDir(run.path).removeRecursively();
    if (run.lock >= 0)
        ::close(run.lock);
    run.path.clear();
    run.lock = -1;
}

} // namespace

namespace RunFolder {

QString Path() {
    Run& run = This();
    if (!run.path.isEmpty() && QFileInfo(run.path).isDir())
        return run.path;
    RemoveThisRunsFolder();
    QByteArray name = QFile::encodeName(QDir(QDir::tempPath()).filePath(QLatin1String(Prefix) + "XXXXXX"));
    if (::mkdtemp(name.data()) == nullptr)
        return {};
    const QString folder = QFile::decodeName(name);
    run.lock = LockFolder(folder);
    QFile mark(QDir(folder).filePath(QLatin1String(OwnerMark)));
    if (run.lock < 0 || !mark.open(QIODevice::WriteOnly)) {
        QDir(folder).removeRecursively();
        if (run.lock >= 0)
            ::close(run.lock);
        run.lock = -1;
        return {};
    }
    mark.close();
    run.path = folder;
    if (!run.removalRegistered) {
        // Normally the folder goes with the application object; a program that leaves through exit()
        // without it still removes the folder.
        qAddPostRoutine(RemoveThisRunsFolder);
        std::atexit(RemoveThisRunsFolder);
        run.removalRegistered = true;
    }
    return run.path;
}

void RemoveLeftovers() {
    const QDir temporary(QDir::tempPath());
    const QFileInfoList candidates = temporary.entryInfoList(
        {QLatin1String(Prefix) + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QFileInfo& folder : candidates) {
        // Only this user's own run folders, never through a link, never the running one.
        if (folder.isSymLink() || folder.ownerId() != ::getuid() || folder.absoluteFilePath() == This().path)
            continue;
        if (!QFileInfo(QDir(folder.absoluteFilePath()).filePath(QLatin1String(OwnerMark))).isFile())
            continue;
        const int lock = LockFolder(folder.absoluteFilePath());
        if (lock < 0)
            continue; // its run is still going
        QDir(folder.absoluteFilePath()).removeRecursively();
        ::close(lock);
    }
}

void KeepQtStateInRun() {
    // Pointed at the folder each time, in case it had to be made anew. Without a run folder nothing
    // is written at all: settings under a file that cannot be a folder cannot be saved.
    QString folder = Path();
    if (folder.isEmpty())
        folder = QStringLiteral("/dev/null");
    // Qt's widgets open their settings in the native format of the user scope (a ".conf" file here).
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
}

} // namespace RunFolder
