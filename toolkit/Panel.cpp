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
    QRect r = rect().adjusted(0, 0, -1, -1);
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
