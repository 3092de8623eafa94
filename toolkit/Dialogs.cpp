#include "Dialogs.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include <chrono>

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
// only once the box is on screen and settled in it: when the box is first activated, and a little later
// in case the window manager does not activate it, the box is centred by its outer size. While the box
// is being framed, a move may land beside where it was asked for (the frame's size not yet known to
// the move), so the place is looked at again a few times until the box stands centred.
class CentredMessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        Centre(size());
        QTimer::singleShot(kFrameSettles, this, [this] { CentreByFrame(); });
    }

    bool event(QEvent* event) override {
        if (event->type() == QEvent::WindowActivate && looks_ == 0)
            CentreByFrame();
        return QMessageBox::event(event);
    }

private:
    // Long enough for a window manager to frame a new window or move it, short enough not to be seen.
    static constexpr std::chrono::milliseconds kFrameSettles{250};
    static constexpr int kLooks = 4;

    void CentreByFrame() {
        if (looks_ >= kLooks)
            return;
        ++looks_;
        const QSize outer = frameGeometry().size();
        if (outer == size() && looks_ % 2 == 1) {
            // No frame known yet. The toolkit reads a window's frame when the window is configured,
            // which may have been before the window manager announced the frame; moved by a pixel,
            // the box is configured again, and the next look (which moves it back should it have no
            // frame at all) centres it by the frame.
            move(pos() + QPoint(0, 1));
        } else {
            Centre(outer);
        }
        QTimer::singleShot(kFrameSettles, this, [this] { CentreByFrame(); });
    }

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

    int looks_ = 0;
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
