// The scanner's window as a person uses it with SANE's test scanner: the source list and its feeder,
// the preview with the scan area drawn over it, the sizes, and the area's millimetres both ways.
#include "DsmFixture.h"
#include "PreviewArea.h"
#include "ShownWindows.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace {

QWidget* ScanWindow() {
    return ShownWindow("scanDialog");
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

namespace {

QWidget* OptionsWindow() {
    return ShownWindow("deviceOptions");
}

} // namespace

// "Дополнительно" shows every kind of option the test scanner has once its test options are switched
// on (which makes the device describe its options anew); each is set through its control and shows what
// the device read back, a value the device adjusts shows as adjusted, and a refused one is told.
TEST_F(ScanWindowTest, FurtherOptionsOfEveryKindAreShownSetAndReadBack) {
    TW_IDENTITY source{};
    QWidget* window = OpenWindow(source);
    ASSERT_NE(window, nullptr);
    Child<QPushButton>(window, "options")->click();
    QWidget* options = OptionsWindow();
    ASSERT_NE(options, nullptr);
    // Each change rebuilds the controls from what the device reads back.
    QPointer<QWidget> shown;
    auto settle = [&] {
        EXPECT_TRUE(PumpUntil([&] {
            auto* control = options->findChild<QWidget*>(QStringLiteral("enable-test-options"));
            return control && control != shown && control->isEnabled();
        }));
        shown = options->findChild<QWidget*>(QStringLiteral("enable-test-options"));
    };
    settle();
    auto* enable = Child<QCheckBox>(options, "enable-test-options");
    ASSERT_NE(enable, nullptr);
    ASSERT_NE(Child<QWidget>(options, "int"), nullptr);
    EXPECT_FALSE(Child<QWidget>(options, "int")->isEnabled()) << "inactive until they are switched on";
    enable->setChecked(true);
    settle();

    EXPECT_TRUE(Child<QWidget>(options, "int")->isEnabled());
    EXPECT_NE(Child<QCheckBox>(options, "bool-soft-select-soft-detect"), nullptr);
    EXPECT_NE(Child<QSlider>(options, "int-constraint-range-slider"), nullptr);
    EXPECT_NE(Child<QComboBox>(options, "int-constraint-word-list"), nullptr);
    EXPECT_NE(Child<QLineEdit>(options, "int-constraint-array"), nullptr);
    EXPECT_NE(Child<QDoubleSpinBox>(options, "fixed"), nullptr);
    EXPECT_NE(Child<QComboBox>(options, "string-constraint-string-list"), nullptr);
    EXPECT_NE(Child<QPushButton>(options, "button"), nullptr);
    ASSERT_NE(Child<QWidget>(options, "three-pass-order"), nullptr);
    EXPECT_FALSE(Child<QWidget>(options, "three-pass-order")->isEnabled()) << "inactive in its mode";
    EXPECT_EQ(Child<QWidget>(options, "mode"), nullptr) << "the window's own fields stay in the window";
    const QList<QGroupBox*> groups = options->findChildren<QGroupBox*>();
    EXPECT_TRUE(std::any_of(groups.begin(), groups.end(), [](QGroupBox* g) {
        return g->title() == QLatin1String("Int test options");
    })) << "grouped as the device groups them";
    bool readOnlyShown = false;
    for (QLabel* label : options->findChildren<QLabel*>())
        readOnlyShown |= label->text().contains(QStringLiteral("только чтение"));
    EXPECT_TRUE(readOnlyShown);

    Child<QCheckBox>(options, "bool-soft-select-soft-detect")->setChecked(true);
    settle();
    EXPECT_TRUE(Child<QCheckBox>(options, "bool-soft-select-soft-detect")->isChecked());

    // A number beyond its range is brought within it (and onto its steps) before it is set.
    auto* ranged = Child<QSpinBox>(options, "int-constraint-range-value");
    ASSERT_NE(ranged, nullptr);
    Child<QSlider>(options, "int-constraint-range-slider")->setValue(3); // 4 + 3 steps of 2
    settle();
    EXPECT_EQ(Child<QSpinBox>(options, "int-constraint-range-value")->value(), 10);

    auto* words = Child<QComboBox>(options, "int-constraint-word-list");
    words->setCurrentIndex(words->findText(QStringLiteral("256 бит")));
    emit words->activated(words->currentIndex());
    settle();
    EXPECT_EQ(Child<QComboBox>(options, "int-constraint-word-list")->currentText(),
              QStringLiteral("256 бит"));

    auto* array = Child<QLineEdit>(options, "int-constraint-array");
    array->setText(QStringLiteral("7"));
    emit array->editingFinished();
    settle();
    EXPECT_TRUE(
        Child<QLineEdit>(options, "int-constraint-array")->text().startsWith(QStringLiteral("7, 7, 7")));

    auto* fixed = Child<QDoubleSpinBox>(options, "fixed");
    fixed->setValue(12.5);
    emit fixed->editingFinished();
    settle();
    EXPECT_DOUBLE_EQ(Child<QDoubleSpinBox>(options, "fixed")->value(), 12.5);

    auto* strings = Child<QComboBox>(options, "string-constraint-string-list");
    strings->setCurrentIndex(1);
    emit strings->activated(1);
    settle();
    EXPECT_EQ(Child<QComboBox>(options, "string-constraint-string-list")->currentText(),
              QStringLiteral("Second entry"));

    auto* text = Child<QLineEdit>(options, "string");
    text->setText(QStringLiteral("Новый текст"));
    emit text->editingFinished();
    settle();
    EXPECT_EQ(Child<QLineEdit>(options, "string")->text(), QStringLiteral("Новый текст"));

    // Too long for the device: refused, and told.
    text = Child<QLineEdit>(options, "string");
    text->setText(QString(400, QLatin1Char('x')));
    emit text->editingFinished();
    settle();
    EXPECT_TRUE(Child<QLabel>(options, "message")->text().startsWith(QStringLiteral("Сканер не принял")))
        << Child<QLabel>(options, "message")->text().toStdString();

    auto* inexact = Child<QSpinBox>(options, "int-inexact");
    ASSERT_NE(inexact, nullptr);
    inexact->setValue(7);
    emit inexact->editingFinished();
    settle();
    EXPECT_TRUE(Child<QLabel>(options, "message")->text().startsWith(QStringLiteral("Сканер установил")))
        << Child<QLabel>(options, "message")->text().toStdString();

    Child<QPushButton>(options, "button")->click();
    settle();

    // What the device took is remembered for the device, in the order it was set.
    QFile file(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/zrk201/scanners.json"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject devices =
        QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("devices")).toObject();
    bool remembered = false;
    for (const QJsonValue entry : devices) {
        const QJsonArray kept = entry.toObject().value(QStringLiteral("options")).toArray();
        remembered |= !kept.isEmpty() &&
                      kept[0].toArray()[0].toString() == QLatin1String("enable-test-options") &&
                      std::any_of(kept.begin(), kept.end(), [](const QJsonValue& o) {
                          return o.toArray()[0].toString() == QLatin1String("fixed") &&
                                 o.toArray()[1].toString() == QLatin1String("12.5");
                      });
    }
    EXPECT_TRUE(remembered);

    // Set back, so that the next tests find the scanner as it was.
    Child<QCheckBox>(options, "enable-test-options")->setChecked(false);
    settle();
    EXPECT_EQ(Disable(source), TWRC_SUCCESS);
    EXPECT_EQ(OptionsWindow(), nullptr) << "the options go with the window";
}

// The selection starts at the device used last, which the settings file keeps for later runs.
TEST_F(ScanWindowTest, SelectionStartsAtTheDeviceUsedLast) {
    const std::vector<TW_IDENTITY> sources = List();
    ASSERT_EQ(sources.size(), 2u);
    TW_IDENTITY used = sources[1];
    ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &used), TWRC_SUCCESS);
    ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &used), TWRC_SUCCESS);
    int preselected = -1;
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, &preselected] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* looking = modal ? modal->findChild<QProgressBar*>(QStringLiteral("looking")) : nullptr;
        if (!looking || !looking->isHidden())
            return;
        timer->stop();
        timer->deleteLater();
        preselected = Child<QListWidget>(modal, "sources")->currentRow();
        Child<QPushButton>(modal, "cancel")->click();
    });
    timer->start(10);
    TW_IDENTITY chosen{};
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &chosen), TWRC_CANCEL);
    EXPECT_EQ(preselected, 1);
    QFile file(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/zrk201/scanners.json"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("last")).toString(),
              QStringLiteral("Noname frontend-tester (test:1)"));
}

// The window with its preview, the area and the device's options fits a screen of 1024 x 768. Given a
// folder in ZRK_DSM_SCREENSHOTS, the screen is photographed there (run on a real display for that).
TEST_F(ScanWindowTest, WindowWithPreviewAndOptionsFitsASmallScreen) {
    TW_IDENTITY source{};
    QWidget* window = OpenWindow(source, "mode=Color;depth=8");
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(RunPreview(window));
    SetFields(window, {15, 20, 180, 120});
    const QSize least = window->minimumSizeHint().expandedTo(window->minimumSize());
    EXPECT_LE(least.width(), 1000);
    EXPECT_LE(least.height(), 700) << "room for the title bar and a panel";
    EXPECT_LE(window->frameGeometry().width(), 1024);
    EXPECT_LE(window->frameGeometry().height(), 768);
    const QString folder = qEnvironmentVariable("ZRK_DSM_SCREENSHOTS");
    auto photograph = [&](const QString& name, QWidget* top) {
        if (folder.isEmpty())
            return;
        // Once the window manager has shown the window, what it has to paint is painted.
        PumpUntil([&] { return top->windowHandle() && top->windowHandle()->isExposed(); });
        for (QWidget* shown : QApplication::topLevelWidgets())
            if (shown->isVisible())
                shown->repaint();
        QCoreApplication::processEvents();
        QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                     folder + QLatin1Char('/') + name});
    };
    photograph(QStringLiteral("scan-window.png"), window);
    Child<QPushButton>(window, "options")->click();
    QWidget* options = OptionsWindow();
    ASSERT_NE(options, nullptr);
    EXPECT_TRUE(PumpUntil([&] { return Child<QCheckBox>(options, "enable-test-options") != nullptr; }));
    EXPECT_LE(options->frameGeometry().height(), 768);
    // With the test options switched on: every kind of control.
    Child<QCheckBox>(options, "enable-test-options")->setChecked(true);
    EXPECT_TRUE(PumpUntil([&] {
        auto* control = Child<QWidget>(options, "int");
        return control && control->isEnabled();
    }));
    photograph(QStringLiteral("scan-options.png"), options);
    Child<QCheckBox>(options, "enable-test-options")->setChecked(false);
    EXPECT_TRUE(PumpUntil([&] {
        auto* control = Child<QWidget>(options, "int");
        return control && !control->isEnabled();
    }));
    EXPECT_EQ(Disable(source), TWRC_SUCCESS);
}
