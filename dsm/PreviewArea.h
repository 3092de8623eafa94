// The preview of the scanner's bed with the scan area over it: a rectangle in millimetres that the
// person drags by its edges and corners, moves by its inside, or draws anew anywhere outside it. The
// picture is scaled once when it or the widget's size changes, so a drag repaints only the rectangle's
// old and new places from that copy.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QRectF>
#include <QWidget>

#include <functional>

struct TScannedPage;

// A scanned page as a picture for the screen; a null image for a page without whole rows.
QImage PreviewImage(const TScannedPage& page);

class TPreviewArea : public QWidget {
public:
    explicit TPreviewArea(QWidget* parent = nullptr);

    // The bed in millimetres; the picture and the area lie on it.
    void SetBed(const QRectF& bed);
    // The preview scan of the whole bed; a null image shows the empty bed.
    void SetPicture(const QImage& picture);
    const QImage& Picture() const { return picture_; }
    // Sets the area without telling onAreaChanged.
    void SetArea(const QRectF& area);
    QRectF Area() const { return area_; }

    // While the person drags, with the new area in millimetres.
    std::function<void(const QRectF&)> onAreaChanged;

    // Where a point of the widget lies on the bed, in millimetres, and back.
    QPointF ToBed(const QPointF& point) const;
    QPointF ToWidget(const QPointF& millimetres) const;

    QSize sizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Which edges a drag moves: bits for left, top, right, bottom; all four move the whole area.
    enum Edge { left = 1, top = 2, right = 4, bottom = 8, inside = 15 };
    int EdgesAt(const QPointF& point) const;
    QRectF BedOnWidget() const;
    QRect AreaOnWidget(const QRectF& area) const;
    void Rescale();
    void ChangeArea(const QRectF& area);
    void UpdateCursor(const QPointF& point);

    QRectF bed_{0, 0, 210, 297};
    QRectF area_{0, 0, 210, 297};
    QImage picture_;
    QPixmap scaled_; // the picture at the widget's scale
    int dragEdges_ = 0;
    bool drawing_ = false;
    QPointF pressedAt_;  // millimetres
    QRectF areaAtPress_; // millimetres
};
