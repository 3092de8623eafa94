#include "TrackBar.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalBlocker>

#include <algorithm>

namespace {
bool MovesSlider(int key) {
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        return true;
    default:
        return false;
    }
}
} // namespace

TTrackBar::TTrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

void TTrackBar::SetPosition(int value) {
    value = std::clamp(value, minimum(), maximum());
    if (value == this->value())
        return;
    {
        const QSignalBlocker blocker(this);
        setValue(value);
    }
    Changed();
}

void TTrackBar::Changed() {
    if (OnChange)
        OnChange(this);
}

void TTrackBar::mousePressEvent(QMouseEvent* event) {
    QSlider::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && isEnabled()) {
        tracking_ = true;
        Changed();
    }
}

void TTrackBar::mouseMoveEvent(QMouseEvent* event) {
    QSlider::mouseMoveEvent(event);
    if (tracking_)
        Changed();
}

void TTrackBar::mouseReleaseEvent(QMouseEvent* event) {
    QSlider::mouseReleaseEvent(event);
    if (tracking_ && event->button() == Qt::LeftButton) {
        tracking_ = false;
        Changed();
    }
}

void TTrackBar::keyPressEvent(QKeyEvent* event) {
    QSlider::keyPressEvent(event);
    if (MovesSlider(event->key()))
        Changed();
}

void TTrackBar::keyReleaseEvent(QKeyEvent* event) {
    QSlider::keyReleaseEvent(event);
    if (MovesSlider(event->key()) && !event->isAutoRepeat())
        Changed();
}

void TTrackBar::wheelEvent(QWheelEvent* event) {
    QSlider::wheelEvent(event);
    Changed();
}
