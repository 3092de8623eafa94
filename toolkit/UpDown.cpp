#include "UpDown.h"

#include <QToolButton>

#include <algorithm>

TUpDown::TUpDown(QWidget* parent)
    : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up_, down_}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
    }
    connect(up_, &QToolButton::clicked, this, [this] { Click(TUpDownDirection::updUp); });
    connect(down_, &QToolButton::clicked, this, [this] { Click(TUpDownDirection::updDown); });
}

void TUpDown::SetPosition(int value) {
    position_ = std::clamp(value, std::min(min_, max_), std::max(min_, max_));
}

void TUpDown::Click(TUpDownDirection direction) {
    const int step = direction == TUpDownDirection::updUp ? 1 : -1;
    const int proposed = position_ + step;
    bool allow = true;
    if (OnChangingEx)
        OnChangingEx(this, allow, short(proposed), direction);
    if (!allow)
        return;
    if (proposed > max_)
        position_ = wrap_ ? min_ : max_;
    else if (proposed < min_)
        position_ = wrap_ ? max_ : min_;
    else
        position_ = proposed;
}

void TUpDown::resizeEvent(QResizeEvent*) {
    const int half = height() / 2;
    up_->setGeometry(0, 0, width(), half);
    down_->setGeometry(0, half, width(), height() - half);
}
