#include "Shell.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

namespace {
std::function<void(const QString&)>& Hook() {
    static std::function<void(const QString&)> hook;
    return hook;
}
} // namespace

void ShellOpen(const QString& documentOrAddress) {
    const QUrl asUrl(documentOrAddress);
    const bool address = !asUrl.scheme().isEmpty() && asUrl.scheme().size() > 1;
    const QString target = address ? documentOrAddress : QDir::current().absoluteFilePath(documentOrAddress);
    if (Hook()) {
        Hook()(target);
        return;
    }
    QDesktopServices::openUrl(address ? asUrl : QUrl::fromLocalFile(target));
}

void SetShellOpenHook(std::function<void(const QString&)> hook) {
    Hook() = std::move(hook);
}
