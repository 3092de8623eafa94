// TForm1: the program's one window. It holds every control, the hidden image control OrImage1 that
// carries the working picture, the view Image1 and the ten hidden slots of the page ring.
#pragma once

#include "Types.h"

#include <QWidget>

#include <array>
#include <memory>

namespace Ui {
class TForm1;
}
class QMenu;
class TImage;

class TForm1 : public QWidget {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    Ui::TForm1& Controls() const { return *ui_; }
    QMenu* PopupMenu1() const { return popupMenu1_; }
    // The page ring's slots in slot order (Image3, Image6 ... Image14).
    TImage* RingSlot(int slot) const { return ring_[std::size_t(slot)]; }

    // Handlers.
    void FormCreate(QObject* sender);
    void FormMouseMove(QObject* sender, Qt::KeyboardModifiers shift, int x, int y);
    void Image1MouseMove(QObject* sender, Qt::KeyboardModifiers shift, int x, int y);
    void CheckBox1MouseUp(QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void Label7MouseMove(QObject* sender, Qt::KeyboardModifiers shift, int x, int y);
    void Label7Click(QObject* sender);
    void BitBtn4Click(QObject* sender);

    // The address the credit line opens.
    static const char* const AuthorPage;

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoadStoredLayout();
    void ConnectHandlers();

    std::unique_ptr<Ui::TForm1> ui_;
    QMenu* popupMenu1_ = nullptr;
    std::array<TImage*, 10> ring_{};
};
