#include "Image.h"

#include "Application.h"
#include "Bitmap.h"
#include "BoxShrink.h"
#include "Canvas.h"
#include "Picture.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

TImage::TImage(QWidget* parent) : QWidget(parent), picture_(std::make_unique<TPicture>()) {
    picture_->OnChange = [this](TObject*) { PictureChanged(); };
    setMouseTracking(true);
}

TImage::~TImage() = default;

void TImage::SetCenter(bool value) {
    if (center_ != value) {
        center_ = value;
        update();
    }
}

void TImage::SetProportional(bool value) {
    if (proportional_ != value) {
        proportional_ = value;
        update();
    }
}

void TImage::SetStretch(bool value) {
    if (stretch_ != value) {
        stretch_ = value;
        update();
    }
}

void TImage::SetAutoSize(bool value) {
    autoSize_ = value;
    PictureChanged();
}

TRect TImage::DestRect() const {
    int w = picture_->Width(), h = picture_->Height();
    const int cw = width(), ch = height();
    if (stretch_ || (proportional_ && (w > cw || h > ch))) {
        if (proportional_ && w > 0 && h > 0) {
            // Fit the picture, keeping its proportions, along the side that limits it.
            const double aspect = double(w) / double(h);
            if (w > h) {
                w = cw;
                h = int(cw / aspect);
                if (h > ch) {
                    h = ch;
                    w = int(ch * aspect);
                }
            } else {
                h = ch;
                w = int(ch * aspect);
                if (w > cw) {
                    w = cw;
                    h = int(cw / aspect);
                }
            }
        } else {
            w = cw;
            h = ch;
        }
    }
    TRect r = Rect(0, 0, w, h);
    if (center_) {
        const int dx = (cw - w) / 2, dy = (ch - h) / 2;
        r = Rect(dx, dy, dx + w, dy + h);
    }
    return r;
}

void TImage::PictureChanged() {
    shrunk_ = QImage();
    if (autoSize_ && picture_->Width() > 0 && picture_->Height() > 0)
        resize(picture_->Width(), picture_->Height());
    update();
}

void TImage::paintEvent(QPaintEvent*) {
    Application::Guard([this] {
        if (!picture_->Graphic())
            return;
        QPainter painter(this);
        const TRect dest = DestRect();
        // In the device's own pixels (twice as many each way on a screen of scale 2).
        const qreal ratio = std::max<qreal>(1.0, devicePixelRatioF());
        const int left = qRound(dest.Left * ratio), top = qRound(dest.Top * ratio);
        const QImage& shrunk = Shrunk(std::max(1, qRound(dest.Right * ratio) - left),
                                      std::max(1, qRound(dest.Bottom * ratio) - top));
        if (!shrunk.isNull()) {
            QImage shown = shrunk; // shares the pixels
            shown.setDevicePixelRatio(ratio);
            painter.drawImage(QPointF(left / ratio, top / ratio), shown);
            return;
        }
        TCanvas canvas(&painter);
        canvas.StretchDraw(dest, *picture_->Graphic());
    });
}

const QImage& TImage::Shrunk(int width, int height) {
    const TBitmap* bitmap = picture_->Bitmap();
    const bool smaller = bitmap && !bitmap->Empty() && !bitmap->Transparent() && width <= bitmap->Width() &&
                         height <= bitmap->Height() && (width < bitmap->Width() || height < bitmap->Height());
    if (!smaller)
        shrunk_ = QImage();
    else if (shrunk_.width() != width || shrunk_.height() != height)
        shrunk_ = ShrinkByAveraging(*bitmap, width, height);
    return shrunk_;
}

void TImage::mouseMoveEvent(QMouseEvent* event) {
    if (OnMouseMove)
        OnMouseMove(this, event->modifiers(), int(event->position().x()), int(event->position().y()));
}
