#include "Panel.h"

#include <QPainter>

TPanel::TPanel(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::NoFrame);
}

void TPanel::SetBevelInner(TBevelCut value) {
    inner_ = value;
    update();
}

void TPanel::SetBevelOuter(TBevelCut value) {
    outer_ = value;
    update();
}

void TPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor light = palette().color(QPalette::Light);
    const QColor shadow = palette().color(QPalette::Dark);
    // Each bevel is a one-pixel line on every side, the outer one on the panel's own edge pixels
    // (right() and bottom() are the last column and row).
    QRect r = rect();
    for (TBevelCut bevel : {outer_, inner_}) {
        if (bevel == TBevelCut::bvNone)
            continue;
        const QColor topLeft = bevel == TBevelCut::bvRaised ? light : shadow;
        const QColor bottomRight = bevel == TBevelCut::bvRaised ? shadow : light;
        painter.setPen(topLeft);
        painter.drawLine(r.topLeft(), r.topRight());
        painter.drawLine(r.topLeft(), r.bottomLeft());
        painter.setPen(bottomRight);
        painter.drawLine(r.bottomLeft(), r.bottomRight());
        painter.drawLine(r.topRight(), r.bottomRight());
        r.adjust(1, 1, -1, -1);
    }
}
