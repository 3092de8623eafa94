// TUpDown: a pair of up and down arrows with a position between Min and Max. Before it moves, it
// proposes its position plus or minus one, not limited to its range, to OnChangingEx, which may refuse.
#pragma once

#include "Types.h"

#include <QWidget>

class QToolButton;

enum class TUpDownDirection { updNone, updUp, updDown };

using TUDChangingEvent =
    std::function<void(TObject* sender, bool& allowChange, short newValue, TUpDownDirection direction)>;

class TUpDown : public QWidget, public TObject {
    Q_OBJECT

public:
    explicit TUpDown(QWidget* parent = nullptr);

    int Min() const { return min_; }
    void SetMin(int value) { min_ = value; }
    int Max() const { return max_; }
    void SetMax(int value) { max_ = value; }
    int Position() const { return position_; }
    void SetPosition(int value);
    bool Wrap() const { return wrap_; }
    void SetWrap(bool value) { wrap_ = value; }

    // What pressing an arrow does: propose, then move within the range when allowed.
    void Click(TUpDownDirection direction);

    TUDChangingEvent OnChangingEx;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* up_;
    QToolButton* down_;
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
    bool wrap_ = false;
};
