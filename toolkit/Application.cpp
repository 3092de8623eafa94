#include "Application.h"

#include "Exceptions.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

namespace {
Application::ErrorBoxHook& Hook() {
    static Application::ErrorBoxHook hook;
    return hook;
}
} // namespace

namespace Application {

QString Title() {
    const QString path = QCoreApplication::applicationFilePath();
    if (!path.isEmpty())
        return QFileInfo(path).completeBaseName();
    return QCoreApplication::applicationName();
}

QString ErrorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void ShowException(const std::exception& error) {
    const auto* own = dynamic_cast<const Exception*>(&error);
    const QString message = own ? own->Message() : QString::fromLocal8Bit(error.what());
    const QString text = ErrorBoxText(message);
    if (Hook()) {
        Hook()(Title(), text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, Title(), text, QMessageBox::Ok);
    box.exec();
}

void SetErrorBoxHook(ErrorBoxHook hook) {
    Hook() = std::move(hook);
}

void Guard(const std::function<void()>& handler) noexcept {
    try {
        handler();
    } catch (const std::exception& error) {
        try {
            ShowException(error);
        } catch (...) {
            // Nothing sensible is left to do when even the error box fails.
        }
    } catch (...) {
        try {
            ShowException(Exception(QStringLiteral("Unknown error")));
        } catch (...) {
        }
    }
}

} // namespace Application
