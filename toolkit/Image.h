// TImage: a control that shows one picture. Center, Proportional and Stretch decide where the picture
// is drawn (DestRect); AutoSize makes the control as large as its picture. A bitmap shown smaller
// than it is is shrunk by averaging (BoxShrink.h), once for each picture and size, not at every paint;
// one shown at its size or larger is drawn as the canvas stretches it.
#pragma once

#include "Types.h"

#include <QImage>
#include <QWidget>

#include <memory>

class TPicture;

class TImage : public QWidget, public TObject {
    Q_OBJECT

public:
    explicit TImage(QWidget* parent = nullptr);
    ~TImage() override;

    // The picture shown; assigning to it stores a copy and repaints.
    TPicture* Picture() const { return picture_.get(); }

    bool Center() const { return center_; }
    void SetCenter(bool value);
    bool Proportional() const { return proportional_; }
    void SetProportional(bool value);
    bool Stretch() const { return stretch_; }
    void SetStretch(bool value);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);

    // Where the picture is drawn, in the control's coordinates.
    TRect DestRect() const;

    TMouseMoveEvent OnMouseMove;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void PictureChanged();
    // The picture shrunk for a target of this many device pixels, made if need be; null when the
    // picture is not a bitmap that is shown smaller than it is.
    const QImage& Shrunk(int width, int height);

    std::unique_ptr<TPicture> picture_;
    QImage shrunk_; // for the present picture, or null
    bool center_ = false;
    bool proportional_ = false;
    bool stretch_ = false;
    bool autoSize_ = false;
};
