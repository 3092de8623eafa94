// The scanner's window as a person uses it with SANE's test scanner: the source list and its feeder,
// the preview with the scan area drawn over it, the sizes, and the area's millimetres both ways.
#include "DsmFixture.h"
#include "PreviewArea.h"

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>

#include <cmath>

namespace {

QWidget* ScanWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("scanDialog") && widget->isVisible())
            return widget;
    return nullptr;
}

template <typename T> T* Child(QWidget* parent, const char* name) {
    return parent ? parent->findChild<T*>(QLatin1String(name)) : nullptr;
}

// The window's preview (the same class, built into the tests too).
TPreviewArea* Preview(QWidget* window) {
    return static_cast<TPreviewArea*>(Child<QWidget>(window, "preview"));
}

QRectF Fields(QWidget* window) {
    return {Child<QDoubleSpinBox>(window, "left")->value(), Child<QDoubleSpinBox>(window, "top")->value(),
            Child<QDoubleSpinBox>(window, "width")->value(),
            Child<QDoubleSpinBox>(window, "height")->value()};
}

void SetFields(QWidget* window, const QRectF& area) {
    Child<QDoubleSpinBox>(window, "left")->setValue(area.left());
    Child<QDoubleSpinBox>(window, "top")->setValue(area.top());
    Child<QDoubleSpinBox>(window, "width")->setValue(area.width());
    Child<QDoubleSpinBox>(window, "height")->setValue(area.height());
}

// Delivers events until `done` holds, at most a generous while; whether it held.
template <typename F> bool PumpUntil(F done, int milliseconds = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

void Drag(QWidget* widget, QPointF from, QPointF to) {
    auto send = [widget](QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    send(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
    send(QEvent::MouseMove, to, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::NoButton);
}

bool Dark(QRgb pixel) {
    return qGray(pixel) < 60;
}

} // namespace

class ScanWindowTest : public DsmTest {
protected:
    // Opens the first test scanner, set back to its defaults, with its window.
    QWidget* OpenWindow(TW_IDENTITY& source, const std::string& options = {}) {
        source = OpenFirst();
        ResetDevice(source);
        if (!options.empty()) {
            EXPECT_EQ(setOptionsText(source, options), 1);
        }
        EXPECT_EQ(Enable(source, true), TWRC_SUCCESS);
        return ScanWindow();
    }

    // Presses "Просмотр" and waits for the picture.
    bool RunPreview(QWidget* window) {
        Child<QPushButton>(window, "previewScan")->click();
        return PumpUntil([&] { return !Preview(window)->Picture().isNull(); });
    }
};

// The feeder chosen in the window: each "Сканировать" takes one sheet, through closing and opening the
// source again as the program does for each page, until the feeder is empty; that is told in words.
TEST_F(ScanWindowTest, FeederChosenInTheWindowGivesTenSheetsThenSaysItIsEmpty) {
    TW_IDENTITY source{};
    QWidget* window = OpenWindow(source, "mode=Gray;resolution=50");
    ASSERT_NE(window, nullptr);
    auto* sources = Child<QComboBox>(window, "source");
    ASSERT_NE(sources, nullptr);
    ASSERT_EQ(sources->count(), 2);
    EXPECT_EQ(sources->itemText(0), QStringLiteral("Планшет"));
    EXPECT_EQ(sources->itemText(1), QStringLiteral("Автоподатчик"));
    sources->setCurrentIndex(1);
    SetFields(window, {0, 0, 20, 20});

    for (int sheet = 1; sheet <= 10; ++sheet) {
        if (sheet > 1) {
            ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source), TWRC_SUCCESS);
            ASSERT_EQ(Enable(source, true), TWRC_SUCCESS);
            window = ScanWindow();
            ASSERT_NE(window, nullptr);
            EXPECT_EQ(Child<QComboBox>(window, "source")->currentText(), QStringLiteral("Автоподатчик"))
                << "the feeder stays chosen";
        }
        Child<QPushButton>(window, "scan")->click();
        ASSERT_EQ(WaitForEvent(source), MSG_XFERREADY) << "sheet " << sheet;
        EXPECT_EQ(Transfer(source, TMechanism::memory).width, 39); // 20 mm at 50 dpi
        TW_UINT16 count = 0;
        ASSERT_EQ(EndTransfer(source, count), TWRC_SUCCESS);
        TW_PENDINGXFERS pending{};
        ASSERT_EQ(Call(&source, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_SUCCESS);
        ASSERT_EQ(Disable(source), TWRC_SUCCESS);
        ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source), TWRC_SUCCESS);
    }

    ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source), TWRC_SUCCESS);
    ASSERT_EQ(Enable(source, true), TWRC_SUCCESS);
    window = ScanWindow();
    ASSERT_NE(window, nullptr);
    auto* scan = Child<QPushButton>(window, "scan");
    scan->click();
    ASSERT_TRUE(PumpUntil([&] { return scan->isEnabled(); }));
    const QString message = Child<QLabel>(window, "message")->text();
    EXPECT_TRUE(message.startsWith(QStringLiteral("В автоподатчике нет листов"))) << message.toStdString();
    EXPECT_EQ(Condition(&source), TWCC_SUCCESS) << "an empty feeder is no failed scan";

    // Back to the glass, which the window remembers for the next page.
    Child<QComboBox>(window, "source")->setCurrentIndex(0);
    scan->click();
    ASSERT_EQ(WaitForEvent(source), MSG_XFERREADY);
    Transfer(source, TMechanism::memory);
    TW_UINT16 count = 0;
    ASSERT_EQ(EndTransfer(source, count), TWRC_SUCCESS);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(Disable(source), TWRC_SUCCESS);
}

// The preview of the grid (squares of 10 mm) shows its squares where the area's millimetres say, and
// the area follows the fields and the fields the area.
TEST_F(ScanWindowTest, PreviewShowsTheGridWhereTheMillimetresSay) {
    TW_IDENTITY source{};
    QWidget* window = OpenWindow(source, "test-picture=Grid;mode=Gray");
    ASSERT_NE(window, nullptr);
    window->resize(800, 700);
    ASSERT_TRUE(RunPreview(window));
    TPreviewArea* preview = Preview(window);
    const QImage picture = preview->Picture();
    EXPECT_LE(std::abs(picture.width() - int(std::lround(300 / 25.4 * 75))), 1) << "the whole bed at 75 dpi";
    EXPECT_TRUE(Child<QPushButton>(window, "scan")->isEnabled());

    SetFields(window, {20, 30, 20, 20});
    EXPECT_EQ(preview->Area(), QRectF(20, 30, 20, 20)) << "the rectangle follows the fields";
    const QImage shown = preview->grab().toImage();
    const double scale = shown.width() / double(preview->width()); // the screen's pixel ratio
    auto dark = [&](double x, double y) {
        const QPointF point = preview->ToWidget({x, y}) * scale;
        return Dark(shown.pixel(int(point.x()), int(point.y())));
    };
    // The area holds two by two squares of the grid, and its edges lie on the squares' edges: just
    // inside an edge is the colour of the square within, just outside the other.
    const bool first = dark(25, 35);
    EXPECT_NE(dark(35, 35), first);
    EXPECT_NE(dark(25, 45), first);
    EXPECT_EQ(dark(35, 45), first);
    EXPECT_EQ(dark(21.5, 35), first);
    EXPECT_NE(dark(18.5, 35), first);
    EXPECT_EQ(dark(25, 31.5), first);
    EXPECT_NE(dark(25, 28.5), first);
    EXPECT_EQ(dark(38.5, 45), first);
    EXPECT_NE(dark(41.5, 45), first);
    ResetDevice(source);
    EXPECT_EQ(Disable(source), TWRC_SUCCESS);
}

// An area drawn on the preview gives a scan of that many pixels at the chosen resolution; the sizes
// and "Весь лист А4" set the area.
TEST_F(ScanWindowTest, AreaDrawnOnThePreviewIsWhatIsScanned) {
    TW_IDENTITY source{};
    QWidget* window = OpenWindow(source, "mode=Gray;resolution=100");
    ASSERT_NE(window, nullptr);
    TPreviewArea* preview = Preview(window);
    // Drawn anew outside the area; a press inside it would move it.
    SetFields(window, {150, 200, 40, 40});
    Drag(preview, preview->ToWidget({20, 30}), preview->ToWidget({70, 90}));
    const QRectF drawn = Fields(window);
    EXPECT_EQ(preview->Area(), drawn) << "the fields follow the rectangle";
    EXPECT_NEAR(drawn.width(), 50, 1);
    EXPECT_NEAR(drawn.height(), 60, 1);

    // Dragged by its right edge, then moved by its inside.
    Drag(preview, preview->ToWidget({drawn.right(), 60}), preview->ToWidget({drawn.right() + 20, 60}));
    EXPECT_NEAR(Fields(window).width(), drawn.width() + 20, 1);
    EXPECT_NEAR(Fields(window).top(), drawn.top(), 0.05) << "the other edges stay";
    Drag(preview, preview->ToWidget({40, 60}), preview->ToWidget({50, 70}));
    const QRectF area = Fields(window);
    EXPECT_NEAR(area.left(), drawn.left() + 10, 1);
    EXPECT_NEAR(area.width(), drawn.width() + 20, 0.05) << "moving keeps the size";

    Child<QPushButton>(window, "scan")->click();
    ASSERT_EQ(WaitForEvent(source), MSG_XFERREADY);
    const TPicture page = Transfer(source, TMechanism::memory);
    EXPECT_NEAR(page.width, area.width() / 25.4 * 100, 1);
    EXPECT_NEAR(page.height, area.height() / 25.4 * 100, 1);
    TW_UINT16 count = 0;
    ASSERT_EQ(EndTransfer(source, count), TWRC_SUCCESS);

    auto* size = Child<QComboBox>(window, "size");
    EXPECT_EQ(size->currentIndex(), -1) << "a size of its own";
    Child<QPushButton>(window, "fullA4")->click();
    EXPECT_EQ(Fields(window), QRectF(0, 0, 210, 297));
    EXPECT_EQ(size->currentText(), QStringLiteral("А4"));
    size->setCurrentIndex(1);
    emit size->activated(1);
    EXPECT_EQ(Fields(window).size(), QSizeF(148, 210));
    size->setCurrentIndex(3);
    emit size->activated(3);
    EXPECT_EQ(Fields(window), QRectF(0, 0, 300, 300)) << "the whole bed";
    EXPECT_EQ(preview->Area(), QRectF(0, 0, 300, 300));
    EXPECT_EQ(Disable(source), TWRC_SUCCESS);
}
