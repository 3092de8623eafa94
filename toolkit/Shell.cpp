#include "Shell.h"

#include "RunFolder.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QUrl>

namespace {

std::function<void(const QString&)>& Hook() {
    static std::function<void(const QString&)> hook;
    return hook;
}

// Desktops choose the program for a document by its name's extension. A document whose contents are
// of another, well-known kind (the help file is an HTML page under an old help file's name) is handed
// over as a copy named for what it contains, so the desktop picks the right program. The copy lives in
// the run's own folder and goes when the program ends.
QString NamedForContents(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile())
        return path;
    const QMimeDatabase types;
    const QMimeType byName = types.mimeTypeForFile(info, QMimeDatabase::MatchExtension);
    const QMimeType byContents = types.mimeTypeForFile(info, QMimeDatabase::MatchContent);
    if (byContents.isDefault() || byContents == byName || byName.inherits(byContents.name()) ||
        byContents.preferredSuffix().isEmpty())
        return path;
    const QString folder = RunFolder::Path();
    if (folder.isEmpty())
        return path;
    const QString copy =
        QDir(folder).filePath(info.fileName() + QLatin1Char('.') + byContents.preferredSuffix());
    QFile::remove(copy);
    return QFile::copy(path, copy) ? copy : path;
}

} // namespace

void ShellOpen(const QString& documentOrAddress) {
    const QUrl asUrl(documentOrAddress);
    const bool address = asUrl.scheme().size() > 1; // "c:" is a drive, not a scheme
    if (address) {
        if (Hook())
            Hook()(documentOrAddress);
        else
            QDesktopServices::openUrl(asUrl);
        return;
    }
    const QString path = QDir::current().absoluteFilePath(documentOrAddress);
    if (Hook()) {
        Hook()(path);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(NamedForContents(path)));
}

void SetShellOpenHook(std::function<void(const QString&)> hook) {
    Hook() = std::move(hook);
}
