#include "Dialogs.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

namespace {

MessageDlgHook& Hook() {
    static MessageDlgHook hook;
    return hook;
}

QString Caption(TMsgDlgType type) {
    switch (type) {
    case TMsgDlgType::mtWarning:
        return QStringLiteral("Warning");
    case TMsgDlgType::mtError:
        return QStringLiteral("Error");
    case TMsgDlgType::mtInformation:
        return QStringLiteral("Information");
    case TMsgDlgType::mtConfirmation:
        return QStringLiteral("Confirm");
    }
    return {};
}

QMessageBox::Icon Icon(TMsgDlgType type) {
    switch (type) {
    case TMsgDlgType::mtWarning:
        return QMessageBox::Warning;
    case TMsgDlgType::mtError:
        return QMessageBox::Critical;
    case TMsgDlgType::mtInformation:
        return QMessageBox::Information;
    case TMsgDlgType::mtConfirmation:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

} // namespace

TModalResult MessageDlg(const QString& text, TMsgDlgType type) {
    if (Hook())
        return Hook()(Caption(type), text, type);
    QMessageBox box(Icon(type), Caption(type), text, QMessageBox::Ok);
    box.adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        box.move(area.center() - QPoint(box.width() / 2, box.height() / 2));
    }
    box.exec();
    return TModalResult::mrOk;
}

void SetMessageDlgHook(MessageDlgHook hook) {
    Hook() = std::move(hook);
}
