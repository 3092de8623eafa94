// TPanel: a plain container drawn with an outer and an inner bevel, each raised, lowered or absent.
#pragma once

#include <QFrame>

enum class TBevelCut { bvNone, bvLowered, bvRaised };

class TPanel : public QFrame {
    Q_OBJECT

public:
    explicit TPanel(QWidget* parent = nullptr);

    TBevelCut BevelInner() const { return inner_; }
    void SetBevelInner(TBevelCut value);
    TBevelCut BevelOuter() const { return outer_; }
    void SetBevelOuter(TBevelCut value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TBevelCut inner_ = TBevelCut::bvRaised;
    TBevelCut outer_ = TBevelCut::bvLowered;
};
