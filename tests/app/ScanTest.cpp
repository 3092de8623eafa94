// Scanning for real: the window, its TWAIN component, the program's source manager and SANE's virtual
// test scanner, driven through the widgets a person uses (the selection dialog and the scanner's dialog
// are answered by finding their controls).
#include "WindowFixture.h"

#include "Bitmap.h"
#include "Picture.h"
#include "PictureDialogs.h"
#include "PrintedPages.h"
#include "ScanHelpers.h"
#include "TestMain.h"
#include "TwainManager.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>

namespace {

// Calls `shown` for every window that is shown while it lives.
class ShowWatcher : public QObject {
public:
    explicit ShowWatcher(std::function<void(QWidget*)> shown) : shown_(std::move(shown)) {
        qApp->installEventFilter(this);
    }
    ~ShowWatcher() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow())
            shown_(static_cast<QWidget*>(watched));
        return false;
    }

private:
    std::function<void(QWidget*)> shown_;
};

// Two window centres within a few pixels (the dialogs are centred over the window, kept on the screen).
bool Near(QPoint a, QPoint b) {
    return (a - b).manhattanLength() <= 40;
}

bool IsGrey(const TBitmap& page) {
    for (int y = 0; y < page.Height(); y += 7)
        for (int x = 0; x < page.Width(); x += 5) {
            const TColor c = page.Pixel(x, y);
            if (RedOf(c) != GreenOf(c) || GreenOf(c) != BlueOf(c))
                return false;
        }
    return true;
}

} // namespace

class ScanTest : public QObject {
    Q_OBJECT

    std::optional<TInSourceManagerFolder> folder_;

private slots:
    void init() { folder_.emplace(); }
    void cleanup() { folder_.reset(); }

    // The selection dialog is on screen at once, over the window and owned by it, and the scanner's
    // own window opens over it too. The time from the click to the dialog is printed (no timed
    // assertion: the machine's load decides it). First of its class, so the
    // source manager is loaded and SANE started as on the program's first click.
    void theSelectionDialogOpensAtOnceOverTheWindow() {
        WindowFixture w;
        auto& c = w.c();
        QElapsedTimer clock;
        qint64 shownAfter = -1;
        bool owned = false, over = false;
        ShowWatcher watcher([&](QWidget* shown) {
            if (shown->objectName() == QStringLiteral("selectSource") && shownAfter < 0) {
                shownAfter = clock.elapsed();
                owned = shown->parentWidget() == w.form.get() && shown->windowHandle() &&
                        shown->windowHandle()->transientParent() == w.form->windowHandle();
                over = Near(shown->frameGeometry().center(), w.form->frameGeometry().center());
            }
        });
        ChooseTestScannerWhenAsked();
        clock.start();
        QTest::mouseClick(c.BitBtn1, Qt::LeftButton);
        QVERIFY(shownAfter >= 0);
        qInfo("The selection dialog was on screen %lld ms after the click.", shownAfter);
        QVERIFY(owned);
        QVERIFY(over);
        QVERIFY(w.form->SourceIndex >= 0);

        QWidget* dialog = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((dialog = TopLevel(QStringLiteral("scanDialog"))) != nullptr, 20000);
        QCOMPARE(dialog->parentWidget(), static_cast<QWidget*>(w.form.get()));
        // A dialog of the window (the desktop keeps it over the window), though not a modal one.
        QCOMPARE(dialog->windowType(), Qt::Dialog);
        QCOMPARE(dialog->windowHandle()->transientParent(), w.form->windowHandle());
        QVERIFY(!dialog->isModal());
        QVERIFY(Near(dialog->frameGeometry().center(), w.form->frameGeometry().center()));
        dialog->close();
    }

    void aColourScanArrivesInBlackAndWhiteAndFillsTheRing() {
        WindowFixture w;
        auto& c = w.c();
        ChooseTestScannerWhenAsked();
        QTest::mouseClick(c.BitBtn1, Qt::LeftButton);
        QVERIFY(w.form->SourceIndex >= 0);
        QVERIFY(c.Image1->Picture()->Graphic() == nullptr); // the ring was reset
        ScanInColour();
        QTRY_COMPARE_WITH_TIMEOUT(w.form->RingWrite, 1, 60000);

        const TBitmap* page = c.OrImage1->PictureResult()->Bitmap();
        QVERIFY(page);
        // A4 at 50 dpi, in black-and-white, shown and stored.
        QVERIFY(qAbs(page->Width() - 413) <= 2);
        QVERIFY(qAbs(page->Height() - 585) <= 2);
        QVERIFY(IsGrey(*page));
        QCOMPARE(c.ComboBox2->ItemIndex(), 0);
        QCOMPARE(c.Image1->Picture()->Width(), page->Width());
        QCOMPARE(w.form->RingSlot(0)->Picture()->Width(), page->Width());
        QVERIFY(c.BitBtn2->isEnabled());
        QVERIFY(w.form->ActiveSource && !w.form->ActiveSource->Loaded()); // closed after the page
        QCOMPARE(c.OrImage1->Width(), page->Width());                     // printing takes it whole
        QCOMPARE(w.errors, QStringList());

        // Ten more pages through "Следующий": the eleventh overwrites slot 0.
        for (int k = 2; k <= 11; ++k) {
            QTest::mouseClick(c.BitBtn2, Qt::LeftButton);
            ScanInColour();
            QTRY_COMPARE_WITH_TIMEOUT(w.form->RingWrite, k % 10, 60000);
        }
        QCOMPARE(w.form->RingLast, 9);
        QCOMPARE(w.form->RingWrapped, 1);
        for (int slot = 0; slot < 10; ++slot)
            QVERIFY(w.form->RingSlot(slot)->Picture()->Bitmap() != nullptr);
        QCOMPARE(w.errors, QStringList());
    }

    void aScannedPageIsSavedAndPrinted() {
        WindowFixture w;
        auto& c = w.c();
        ChooseTestScannerWhenAsked();
        QTest::mouseClick(c.BitBtn1, Qt::LeftButton);
        ScanInColour();
        QTRY_COMPARE_WITH_TIMEOUT(w.form->RingWrite, 1, 60000);

        QTemporaryDir folder;
        TPictureDialog::SetHook([&](TPictureDialog& dialog) {
            dialog.SetFileName(folder.filePath(QStringLiteral("page")));
            dialog.SetFilterIndex(2);
            return true;
        });
        QTest::mouseClick(c.BitBtn6, Qt::LeftButton);
        TPictureDialog::SetHook({});
        TBitmap saved;
        saved.LoadFromFile(folder.filePath(QStringLiteral("page.bmp")));
        QCOMPARE(saved.Width(), c.OrImage1->PictureResult()->Width());
        QCOMPARE(saved.Pixel(100, 100), c.OrImage1->PictureResult()->Bitmap()->Pixel(100, 100));

        if (!QPrinterInfo::defaultPrinter().isNull()) {
            // The page reaches the printer (and its file is taken away, not left for the next print).
            const QImage printed = PrintAndRender(w);
            QCOMPARE(w.errors, QStringList());
            QVERIFY(!printed.isNull());
            QVERIFY(!PrintedArea(printed).isEmpty());
        }
    }

    // A page at one resolution and area: "Следующий" opens the scanner's window with the same again.
    void theSecondPagesWindowShowsTheFirstPagesSettings() {
        WindowFixture w;
        auto& c = w.c();
        ChooseTestScannerWhenAsked();
        QTest::mouseClick(c.BitBtn1, Qt::LeftButton);
        QWidget* dialog = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((dialog = TopLevel(QStringLiteral("scanDialog"))) != nullptr, 20000);
        auto* mode = dialog->findChild<QComboBox*>(QStringLiteral("mode"));
        mode->setCurrentIndex(mode->findText(QStringLiteral("Оттенки серого")));
        dialog->findChild<QSpinBox*>(QStringLiteral("resolution"))->setValue(40);
        dialog->findChild<QDoubleSpinBox*>(QStringLiteral("width"))->setValue(100);
        dialog->findChild<QDoubleSpinBox*>(QStringLiteral("height"))->setValue(120);
        dialog->findChild<QPushButton*>(QStringLiteral("scan"))->click();
        QTRY_COMPARE_WITH_TIMEOUT(w.form->RingWrite, 1, 60000);
        QCOMPARE(c.OrImage1->PictureResult()->Width(), 157); // 100 mm at 40 dpi

        QTest::mouseClick(c.BitBtn2, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT((dialog = TopLevel(QStringLiteral("scanDialog"))) != nullptr, 20000);
        QCOMPARE(dialog->findChild<QComboBox*>(QStringLiteral("mode"))->currentText(),
                 QStringLiteral("Оттенки серого"));
        QCOMPARE(dialog->findChild<QSpinBox*>(QStringLiteral("resolution"))->value(), 40);
        QCOMPARE(dialog->findChild<QDoubleSpinBox*>(QStringLiteral("width"))->value(), 100.0);
        QCOMPARE(dialog->findChild<QDoubleSpinBox*>(QStringLiteral("height"))->value(), 120.0);
        dialog->findChild<QPushButton*>(QStringLiteral("scan"))->click();
        QTRY_COMPARE_WITH_TIMEOUT(w.form->RingWrite, 2, 60000);
        QCOMPARE(c.OrImage1->PictureResult()->Width(), 157);
        QCOMPARE(w.errors, QStringList());
    }
};

static RegisterWindowTest<ScanTest> registered;
#include "ScanTest.moc"
