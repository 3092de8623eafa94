#include "PreviewArea.h"

#include "ScannedPage.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// How near to an edge, in pixels, a press takes the edge.
constexpr double kGrip = 6;
// The smallest area a drag leaves, in millimetres.
constexpr double kSmallest = 1;

} // namespace

QImage PreviewImage(const TScannedPage& page) {
    const QImage::Format format = page.kind == TPixelKind::bw     ? QImage::Format_Mono
                                  : page.kind == TPixelKind::gray ? QImage::Format_Grayscale8
                                                                  : QImage::Format_RGB888;
    if (page.width <= 0 || page.height <= 0 || page.rows.size() < page.RowBytes() * std::size_t(page.height))
        return {};
    QImage image(page.rows.data(), page.width, page.height, qsizetype(page.RowBytes()), format);
    if (format == QImage::Format_Mono)
        image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)}); // a bit of 0 is black
    return image.copy();
}

TPreviewArea::TPreviewArea(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("preview"));
    setMouseTracking(true);
    setMinimumSize(160, 200);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    // Everything is painted here; Qt need not clear first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPreviewArea::SetBed(const QRectF& bed) {
    if (bed.width() <= 0 || bed.height() <= 0)
        return;
    bed_ = bed;
    area_ = area_.intersected(bed_);
    Rescale();
    updateGeometry();
    update();
}

void TPreviewArea::SetPicture(const QImage& picture) {
    picture_ = picture;
    Rescale();
    update();
}

void TPreviewArea::SetArea(const QRectF& area) {
    const QRect before = AreaOnWidget(area_);
    area_ = area.normalized().intersected(bed_);
    update(before.united(AreaOnWidget(area_)));
}

QSize TPreviewArea::sizeHint() const {
    return {300, heightForWidth(300)};
}

int TPreviewArea::heightForWidth(int width) const {
    return int(std::lround(width * bed_.height() / bed_.width()));
}

QRectF TPreviewArea::BedOnWidget() const {
    // The bed keeps its proportions, centred in the widget, one pixel of frame around it.
    const double room_w = std::max(1, width() - 2), room_h = std::max(1, height() - 2);
    const double scale = std::min(room_w / bed_.width(), room_h / bed_.height());
    const double w = bed_.width() * scale, h = bed_.height() * scale;
    return {(width() - w) / 2, (height() - h) / 2, w, h};
}

QPointF TPreviewArea::ToBed(const QPointF& point) const {
    const QRectF on = BedOnWidget();
    return {bed_.left() + (point.x() - on.left()) * bed_.width() / on.width(),
            bed_.top() + (point.y() - on.top()) * bed_.height() / on.height()};
}

QPointF TPreviewArea::ToWidget(const QPointF& millimetres) const {
    const QRectF on = BedOnWidget();
    return {on.left() + (millimetres.x() - bed_.left()) * on.width() / bed_.width(),
            on.top() + (millimetres.y() - bed_.top()) * on.height() / bed_.height()};
}

QRect TPreviewArea::AreaOnWidget(const QRectF& area) const {
    // With room for the frame's pen and the corner handles.
    return QRectF(ToWidget(area.topLeft()), ToWidget(area.bottomRight()))
        .toAlignedRect()
        .adjusted(-5, -5, 5, 5);
}

void TPreviewArea::Rescale() {
    const QRectF on = BedOnWidget();
    if (picture_.isNull() || on.width() < 1 || on.height() < 1) {
        scaled_ = QPixmap();
        return;
    }
    scaled_ = QPixmap::fromImage(
        picture_.scaled(on.size().toSize(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

void TPreviewArea::resizeEvent(QResizeEvent*) {
    Rescale();
}

void TPreviewArea::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setClipRegion(event->region());
    painter.fillRect(rect(), palette().window());
    const QRectF on = BedOnWidget();
    if (!scaled_.isNull())
        painter.drawPixmap(on.topLeft(), scaled_);
    else
        painter.fillRect(on, QColor(250, 250, 250));
    painter.setPen(QColor(120, 120, 120));
    painter.drawRect(on.adjusted(-0.5, -0.5, 0.5, 0.5));

    // Outside the area the bed is dimmed; the area has a frame and a handle at each corner.
    const QRectF area(ToWidget(area_.topLeft()), ToWidget(area_.bottomRight()));
    QRegion outside = QRegion(on.toAlignedRect()).subtracted(QRegion(area.toAlignedRect()));
    painter.save();
    painter.setClipRegion(outside.intersected(event->region()));
    painter.fillRect(on, QColor(0, 0, 0, 90));
    painter.restore();
    painter.setPen(QPen(QColor(0, 90, 200), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area);
    painter.setBrush(QColor(0, 90, 200));
    for (const QPointF& corner : {area.topLeft(), area.topRight(), area.bottomLeft(), area.bottomRight()})
        painter.drawRect(QRectF(corner - QPointF(3, 3), QSizeF(6, 6)));
}

int TPreviewArea::EdgesAt(const QPointF& point) const {
    const QRectF area(ToWidget(area_.topLeft()), ToWidget(area_.bottomRight()));
    if (!area.adjusted(-kGrip, -kGrip, kGrip, kGrip).contains(point))
        return 0;
    int edges = 0;
    if (std::abs(point.x() - area.left()) <= kGrip)
        edges |= left;
    else if (std::abs(point.x() - area.right()) <= kGrip)
        edges |= right;
    if (std::abs(point.y() - area.top()) <= kGrip)
        edges |= top;
    else if (std::abs(point.y() - area.bottom()) <= kGrip)
        edges |= bottom;
    if (edges == 0 && area.contains(point))
        edges = inside;
    return edges;
}

void TPreviewArea::UpdateCursor(const QPointF& point) {
    const int edges = dragEdges_ || drawing_ ? (drawing_ ? 0 : dragEdges_) : EdgesAt(point);
    Qt::CursorShape shape = Qt::CrossCursor;
    if (edges == inside)
        shape = Qt::SizeAllCursor;
    else if (edges == (left | top) || edges == (right | bottom))
        shape = Qt::SizeFDiagCursor;
    else if (edges == (right | top) || edges == (left | bottom))
        shape = Qt::SizeBDiagCursor;
    else if (edges == left || edges == right)
        shape = Qt::SizeHorCursor;
    else if (edges == top || edges == bottom)
        shape = Qt::SizeVerCursor;
    setCursor(shape);
}

void TPreviewArea::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled())
        return;
    pressedAt_ = ToBed(event->position());
    areaAtPress_ = area_;
    dragEdges_ = EdgesAt(event->position());
    drawing_ = dragEdges_ == 0 && BedOnWidget().contains(event->position());
}

void TPreviewArea::mouseMoveEvent(QMouseEvent* event) {
    UpdateCursor(event->position());
    if (!(event->buttons() & Qt::LeftButton) || (!drawing_ && !dragEdges_))
        return;
    const QPointF at = ToBed(event->position());
    const double dx = at.x() - pressedAt_.x(), dy = at.y() - pressedAt_.y();
    QRectF area = areaAtPress_;
    if (drawing_) {
        const QPointF from(std::clamp(pressedAt_.x(), bed_.left(), bed_.right()),
                           std::clamp(pressedAt_.y(), bed_.top(), bed_.bottom()));
        const QPointF to(std::clamp(at.x(), bed_.left(), bed_.right()),
                         std::clamp(at.y(), bed_.top(), bed_.bottom()));
        area = QRectF(from, to).normalized();
    } else if (dragEdges_ == inside) {
        // The whole area moves and stays on the bed.
        area.moveTo(std::clamp(area.left() + dx, bed_.left(), bed_.right() - area.width()),
                    std::clamp(area.top() + dy, bed_.top(), bed_.bottom() - area.height()));
    } else {
        if (dragEdges_ & left)
            area.setLeft(std::clamp(area.left() + dx, bed_.left(), area.right() - kSmallest));
        if (dragEdges_ & right)
            area.setRight(std::clamp(area.right() + dx, area.left() + kSmallest, bed_.right()));
        if (dragEdges_ & top)
            area.setTop(std::clamp(area.top() + dy, bed_.top(), area.bottom() - kSmallest));
        if (dragEdges_ & bottom)
            area.setBottom(std::clamp(area.bottom() + dy, area.top() + kSmallest, bed_.bottom()));
    }
    if (area.width() < kSmallest || area.height() < kSmallest)
        return; // a click without a drag draws nothing
    ChangeArea(area);
}

void TPreviewArea::mouseReleaseEvent(QMouseEvent* event) {
    dragEdges_ = 0;
    drawing_ = false;
    UpdateCursor(event->position());
}

void TPreviewArea::ChangeArea(const QRectF& area) {
    // Whole tenths of a millimetre, as the fields show them.
    auto tenth = [](double mm) { return std::round(mm * 10) / 10; };
    const QRectF rounded(QPointF(tenth(area.left()), tenth(area.top())),
                         QPointF(tenth(area.right()), tenth(area.bottom())));
    if (rounded == area_)
        return;
    SetArea(rounded);
    if (onAreaChanged)
        onAreaChanged(area_);
}
