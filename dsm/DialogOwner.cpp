#include "DialogOwner.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace {

bool OwnWindow(const QWidget* widget) {
    return widget->objectName() == QLatin1String("scanDialog") ||
           widget->objectName() == QLatin1String("deviceOptions") ||
           widget->objectName() == QLatin1String("selectSource");
}

bool CanOwn(const QWidget* widget) {
    return widget && widget->isWindow() && widget->isVisible() && !OwnWindow(widget) &&
           (widget->windowType() == Qt::Window || widget->windowType() == Qt::Dialog);
}

} // namespace

QWidget* ProgramWindow() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return nullptr;
    if (QWidget* active = QApplication::activeWindow(); CanOwn(active))
        return active;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (CanOwn(widget) && widget->windowType() == Qt::Window)
            return widget;
    return nullptr;
}

void PlaceOver(QWidget* window, const QWidget* owner) {
    if (!window || !owner)
        return;
    window->adjustSize();
    // The frame the window manager adds is not known before the window is shown: the owner's serves.
    const QRect ownerFrame = owner->frameGeometry();
    const QSize frame = ownerFrame.size() - owner->geometry().size();
    const QSize outer = window->size() + frame;
    QPoint topLeft = ownerFrame.center() - QPoint(outer.width() / 2, outer.height() / 2);
    if (const QScreen* screen = owner->screen()) {
        const QRect area = screen->availableGeometry();
        topLeft.setX(std::max(area.left(), std::min(topLeft.x(), area.right() + 1 - outer.width())));
        topLeft.setY(std::max(area.top(), std::min(topLeft.y(), area.bottom() + 1 - outer.height())));
    }
    window->move(topLeft);
}
