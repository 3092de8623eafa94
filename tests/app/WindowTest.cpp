// The main window at start-up and its small affordances, driven through its widgets.
#include "pas1.h"
#include "ui_pas1.h"

#include "Application.h"
#include "Bitmap.h"
#include "Dialogs.h"
#include "ModalScript.h"
#include "Picture.h"
#include "Shell.h"
#include "TestMain.h"

#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void MoveMouse(QWidget* widget, QPoint at) {
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir home_;
    QStringList dialogs_;
    bool windowVisibleAtWarning_ = true;

    std::unique_ptr<TForm1> Create() {
        dialogs_.clear();
        SetMessageDlgHook([this](const QString& caption, const QString& text, TMsgDlgType type) {
            dialogs_ << caption << text;
            windowVisibleAtWarning_ = false;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (qobject_cast<TForm1*>(w) && w->isVisible())
                    windowVisibleAtWarning_ = true;
            EXPECT_TYPE(type);
            return TModalResult::mrOk;
        });
        auto form = std::make_unique<TForm1>();
        form->show();
        return form;
    }
    static void EXPECT_TYPE(TMsgDlgType type) { QCOMPARE(type, TMsgDlgType::mtWarning); }

private slots:
    void initTestCase() { qputenv("HOME", home_.path().toUtf8()); }
    void cleanupTestCase() { SetMessageDlgHook({}); }

    void startupWarnsBeforeTheWindowIsShown() {
        auto form = Create();
        QCOMPARE(dialogs_.size(), 2);
        QCOMPARE(dialogs_[0], QStringLiteral("Warning"));
        QCOMPARE(dialogs_[1],
                 QStringLiteral("Внимание! В этой версии программы необходимо устанавливать границы "
                                "области сканирования на полный размер листа формата А4! Иначе "
                                "пропорции копии будут искажены!"));
        QVERIFY(!windowVisibleAtWarning_);
        QCOMPARE(form->windowTitle(), QStringLiteral("Зоркопис 2.01 А4"));
        QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));
    }

    void theWorkingFolderIsCreatedOnceAndLeftAlone() {
        QDir home(home_.path());
        home.rmdir(QStringLiteral("ZRK"));
        QVERIFY(!home.exists(QStringLiteral("ZRK")));
        { auto form = Create(); }
        QVERIFY(home.exists(QStringLiteral("ZRK")));
        QVERIFY(QDir(home.filePath(QStringLiteral("ZRK"))).isEmpty());
        QFile keep(home.filePath(QStringLiteral("ZRK/keep.txt")));
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.close();
        { auto form = Create(); }
        QVERIFY(keep.exists());
    }

    void theViewShowsTheSampleFittedAndTheRingHoldsIt() {
        auto form = Create();
        Ui::TForm1& c = form->Controls();
        QCOMPARE(c.OrImage1->PictureResult()->Width(), 249);
        QCOMPARE(c.OrImage1->PictureResult()->Height(), 393);
        QCOMPARE(c.OrImage1->PictureOriginal()->Bitmap()->PixelFormat(), TPixelFormat::pf24bit);
        QCOMPARE(c.Image1->Picture()->Width(), 249);
        QVERIFY(c.Image1->Picture()->Bitmap() != c.OrImage1->PictureResult()->Bitmap());
        QCOMPARE(c.Image1->DestRect(), Bounds(10, 0, 228, 361));
        QCOMPARE(form->RingSlot(0)->Picture()->Height(), 393);
        for (int slot = 1; slot < 10; ++slot)
            QVERIFY(form->RingSlot(slot)->Picture()->Graphic() == nullptr);
        QCOMPARE(c.OrImage1->Width(), 97);
        QCOMPARE(c.OrImage1->Height(), 113);
        QVERIFY(!c.OrImage1->isVisible());
        QVERIFY(!c.BitBtn2->isEnabled());
        QCOMPARE(c.ComboBox2->currentIndex(), 1);
        QCOMPARE(c.TrackBar1->Position(), 10);
        QCOMPARE(c.TrackBar2->Position(), 5);
    }

    void theFillBoxShowsOverTheViewAndAppliesOnMouseRelease() {
        auto form = Create();
        Ui::TForm1& c = form->Controls();
        QVERIFY(!c.CheckBox1->isVisible());
        MoveMouse(c.Image1, QPoint(20, 20));
        QVERIFY(c.CheckBox1->isVisible());
        MoveMouse(c.Panel2, QPoint(3, 3)); // the panel's margin keeps it
        QVERIFY(c.CheckBox1->isVisible());

        // The keyboard toggles without applying.
        c.CheckBox1->setFocus();
        QTest::keyClick(c.CheckBox1, Qt::Key_Space);
        QVERIFY(!c.CheckBox1->isChecked());
        QVERIFY(c.Image1->Proportional());
        QTest::keyClick(c.CheckBox1, Qt::Key_Space);

        QTest::mouseClick(c.CheckBox1, Qt::LeftButton, {}, QPoint(6, 8));
        QVERIFY(!c.CheckBox1->isChecked());
        QVERIFY(!c.Image1->Proportional());
        QCOMPARE(c.Image1->DestRect(), Bounds(0, -16, 249, 393));

        MoveMouse(form.get(), QPoint(290, 5)); // the window's own surface hides it
        QVERIFY(!c.CheckBox1->isVisible());
    }

    void theCreditLineUnderlinesAndOpensThePage() {
        auto form = Create();
        Ui::TForm1& c = form->Controls();
        QStringList opened;
        SetShellOpenHook([&](const QString& target) { opened << target; });
        MoveMouse(c.Label7, QPoint(5, 5));
        QVERIFY(c.Label7->font().underline());
        QCOMPARE(form->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(c.Label7->cursor().shape(), Qt::PointingHandCursor); // the label has none of its own
        MoveMouse(form.get(), QPoint(290, 5));
        QVERIFY(!c.Label7->font().underline());
        QCOMPARE(form->cursor().shape(), Qt::ArrowCursor);

        QTest::mouseClick(c.Label7, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseClick(c.BitBtn4, Qt::LeftButton);
        SetShellOpenHook({});
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened[0], QString::fromLatin1(TForm1::AuthorPage));
        QCOMPARE(opened[1], QDir::current().absoluteFilePath(QStringLiteral("zrk.hlp")));
    }

    void theWindowKeepsItsSizeAndOffersNoMaximise() {
        auto form = Create();
        QCOMPARE(form->size(), QSize(570, 543));
        QCOMPARE(form->minimumSize(), form->maximumSize());
        QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));
    }

    void theWarningIsCentredOnTheScreenByItsLaidOutSize() {
        SetMessageDlgHook({});
        QRect placed;
        QString text;
        ModalScript script;
        script.Then([&](QWidget* active) -> std::function<void()> {
            auto* box = qobject_cast<QMessageBox*>(active);
            if (!box)
                return {};
            return [&, box] {
                placed = box->frameGeometry();
                text = box->text();
                box->button(QMessageBox::Ok)->click();
            };
        });
        MessageDlg(
            QStringLiteral("Внимание! В этой версии программы необходимо устанавливать границы области "
                           "сканирования на полный размер листа формата А4! Иначе пропорции копии будут "
                           "искажены!"),
            TMsgDlgType::mtWarning);
        QVERIFY(script.Done());
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(text.startsWith(QStringLiteral("Внимание!")));
        QVERIFY2(qAbs(placed.center().x() - screen.center().x()) <= 1,
                 qPrintable(QString::number(placed.x())));
        QVERIFY2(qAbs(placed.center().y() - screen.center().y()) <= 1,
                 qPrintable(QString::number(placed.y())));
    }

    void theFillBoxIsWhiteAndThePanelsBevelsLieOnTheirEdges() {
        auto form = Create();
        Ui::TForm1& c = form->Controls();
        MoveMouse(c.Image1, QPoint(20, 20));
        QVERIFY(c.CheckBox1->isVisible());
        const QImage box = c.CheckBox1->grab().toImage();
        // Right of the text, the box shows its own background.
        QCOMPARE(box.pixel(box.width() - 2, box.height() / 2), QColor(Qt::white).rgb());

        // A raised inner bevel inside a lowered outer one: the outer bevel is the panel's outermost
        // pixels (shadow at the top and left, light at the bottom and right), the inner one next to it.
        const QImage panel = c.Panel4->grab().toImage();
        const QRgb light = c.Panel4->palette().color(QPalette::Light).rgb();
        const QRgb shadow = c.Panel4->palette().color(QPalette::Dark).rgb();
        const int w = panel.width(), h = panel.height();
        QCOMPARE(QSize(w, h), QSize(265, 105));
        QCOMPARE(panel.pixel(w - 1, h / 2), light);
        QCOMPARE(panel.pixel(w / 2, h - 1), light);
        QCOMPARE(panel.pixel(w - 2, h / 2), shadow);
        QCOMPARE(panel.pixel(w / 2, h - 2), shadow);
        QCOMPARE(panel.pixel(0, h / 2), shadow);
        QCOMPARE(panel.pixel(w / 2, 0), shadow);
        QCOMPARE(panel.pixel(1, h / 2), light);
        QCOMPARE(panel.pixel(w / 2, 1), light);
        QVERIFY(panel.pixel(w - 3, h / 2) != shadow);
    }

    void theLayoutMatchesTheStoredPositions() {
        auto form = Create();
        Ui::TForm1& c = form->Controls();
        QCOMPARE(c.Panel2->geometry(), QRect(16, 16, 265, 377));
        QCOMPARE(c.Image1->geometry(), QRect(8, 8, 249, 361));
        QCOMPARE(c.BitBtn1->text(), QStringLiteral("      Выбор сканера"));
        QCOMPARE(c.BitBtn2->text(), QStringLiteral("            Следующий"));
        QCOMPARE(c.Image14->geometry(), QRect(48, 200, 105, 105));
        QCOMPARE(c.GroupBox1->title(), QStringLiteral(" Режим изображения "));
        QCOMPARE(c.ComboBox1->count(), 7);
        QCOMPARE(c.ComboBox1->itemText(4), QStringLiteral("Контрастный 1"));
        QCOMPARE(c.BitBtn5->toolTip(),
                 QStringLiteral("Для настройки печати щелкните здесь правой клавишей мыши"));
        QVERIFY(c.BitBtn6->isDefault());
        QCOMPARE(form->PopupMenu1()->actions().value(0)->text(), QStringLiteral("Настройка печати"));
        QVERIFY(c.BitBtn4->hasFocus() || QApplication::focusWidget() == nullptr);
    }
};

static RegisterWindowTest<WindowTest> registered;
#include "WindowTest.moc"
