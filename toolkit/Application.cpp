#include "Application.h"

#include "Exceptions.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QSocketNotifier>

#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {
Application::ErrorBoxHook& Hook() {
    static Application::ErrorBoxHook hook;
    return hook;
}

// The signal handler only notes the signal and wakes the event loop through a pipe; the loop does the
// rest.
int terminationPipe[2] = {-1, -1};
volatile std::sig_atomic_t terminationSignal = 0;

extern "C" void NoteTerminationRequest(int signal) {
    terminationSignal = signal;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(terminationPipe[1], &byte, 1);
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

void EndOnTerminationRequest() {
    if (terminationPipe[0] >= 0 || !QCoreApplication::instance())
        return;
    if (::pipe2(terminationPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier =
        new QSocketNotifier(terminationPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char drained[16];
        while (::read(terminationPipe[0], drained, sizeof drained) > 0) {
        }
        QCoreApplication::exit(128 + terminationSignal);
    });
    struct sigaction action = {};
    action.sa_handler = NoteTerminationRequest;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

int TerminationRequest() {
    return terminationSignal;
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
