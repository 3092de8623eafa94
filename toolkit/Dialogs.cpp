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

// A message box centred on its screen. The box takes its final size only as it is shown, after its
// text has been laid out, so it is placed then, before it appears. The window manager's frame is known
// only once the box is on screen: as soon as the box is seen framed (the window manager moves it into
// its frame), or when it is first activated, it is centred once more by its outer size. A window
// manager may decline to activate a new window, so activation alone is not waited for.
class CentredMessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        Centre(size());
        shown_ = true;
    }

    bool event(QEvent* event) override {
        const bool framedNow = shown_ && event->type() == QEvent::Move && frameGeometry().size() != size();
        if (!framed_ && (framedNow || event->type() == QEvent::WindowActivate)) {
            framed_ = true;
            Centre(frameGeometry().size());
        }
        return QMessageBox::event(event);
    }

private:
    void Centre(QSize outer) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (!screen)
            return;
        const QRect area = screen->availableGeometry();
        const QPoint at(area.x() + (area.width() - outer.width()) / 2,
                        area.y() + (area.height() - outer.height()) / 2);
        if (at != frameGeometry().topLeft())
            move(at);
    }

    bool shown_ = false;
    bool framed_ = false;
};

} // namespace

TModalResult MessageDlg(const QString& text, TMsgDlgType type) {
    if (Hook())
        return Hook()(Caption(type), text, type);
    CentredMessageBox box(Icon(type), Caption(type), text, QMessageBox::Ok);
    box.exec();
    return TModalResult::mrOk;
}

void SetMessageDlgHook(MessageDlgHook hook) {
    Hook() = std::move(hook);
}
