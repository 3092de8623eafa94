// TTrackBar: a slider with a position between Min and Max. Setting the position from code raises
// OnChange only when the position changes. Moving it by hand raises OnChange for every movement the
// user makes (mouse press, every drag step, wheel, arrow or page key), also when the position stays
// the same, and once more when the drag or the key press ends.
#pragma once

#include "Types.h"

#include <QSlider>

class TTrackBar : public QSlider, public TObject {
    Q_OBJECT

public:
    explicit TTrackBar(QWidget* parent = nullptr);

    int Position() const { return value(); }
    void SetPosition(int value);

    TNotifyEvent OnChange;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void Changed();
    bool tracking_ = false;
};
