// Printing through CUPS: the page arrives at the PDF printer filled edge to edge with the picture; with
// no printer at all, the program says so.
#include "WindowFixture.h"

#include "TestMain.h"

#include "Bitmap.h"
#include "ModalScript.h"
#include "Picture.h"
#include "PictureDialogs.h"
#include "PrintedPages.h"
#include "Printer.h"

#include <QComboBox>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

bool Near(QColor a, QColor b, int tolerance = 24) {
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
}

// Opens a picture through "Открыть" (the dialog answered with the name and the BMP filter).
void OpenBmp(WindowFixture& w, const QString& name) {
    TPictureDialog::SetHook([&](TPictureDialog& dialog) {
        dialog.SetFileName(name);
        dialog.SetFilterIndex(3);
        return true;
    });
    QTest::mouseClick(w.c().BitBtn7, Qt::LeftButton);
    TPictureDialog::SetHook({});
}

} // namespace

class PrintTest : public QObject {
    Q_OBJECT

private slots:
    // Right after start, before any scanner was chosen: the whole sample, stretched over the page.
    void aPrintRightAfterStartFillsThePageWithTheWholePicture() {
        REQUIRE_PRINTER();
        WindowFixture w;
        const QImage page = PrintAndRender(w);
        QCOMPARE(w.errors, QStringList());
        QVERIFY(!page.isNull());
        const TBitmap& sample = *w.c().OrImage1->PictureResult()->Bitmap();
        // The picture covers the page but for the printer's margins.
        const QRect area = PrintedArea(page);
        QVERIFY2(area.width() >= page.width() * 95 / 100 && area.height() >= page.height() * 95 / 100,
                 qPrintable(QStringLiteral("%1 x %2").arg(area.width()).arg(area.height())));
        // Seen from afar, the page is the sample: both reduced to the same few pixels differ little.
        QImage picture(sample.Width(), sample.Height(), QImage::Format_RGB32);
        for (int y = 0; y < sample.Height(); ++y)
            for (int x = 0; x < sample.Width(); ++x) {
                const TColor p = sample.Pixel(x, y);
                picture.setPixel(x, y, qRgb(RedOf(p), GreenOf(p), BlueOf(p)));
            }
        const QSize coarse(12, 18);
        const QImage expected = picture.scaled(coarse, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage printed =
            page.copy(area).scaled(coarse, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        double difference = 0;
        for (int y = 0; y < coarse.height(); ++y)
            for (int x = 0; x < coarse.width(); ++x) {
                const QColor e = expected.pixelColor(x, y), p = printed.pixelColor(x, y);
                difference +=
                    qAbs(e.red() - p.red()) + qAbs(e.green() - p.green()) + qAbs(e.blue() - p.blue());
            }
        difference /= 3.0 * coarse.width() * coarse.height();
        QVERIFY2(difference < 16, qPrintable(QString::number(difference)));
    }

    // A 300-dpi A4 page opened from a file (never scanned): its four quarters fill the page's four
    // quarters, edge to edge.
    void aLargeOpenedPictureIsPrintedWholeOverThePage() {
        REQUIRE_PRINTER();
        QTemporaryDir folder;
        QImage picture(2480, 3508, QImage::Format_RGB888);
        {
            QPainter painter(&picture);
            painter.fillRect(0, 0, 1240, 1754, QColor(220, 30, 30));
            painter.fillRect(1240, 0, 1240, 1754, QColor(30, 160, 40));
            painter.fillRect(0, 1754, 1240, 1754, QColor(30, 40, 200));
            painter.fillRect(1240, 1754, 1240, 1754, QColor(240, 200, 20));
        }
        const QString file = folder.filePath(QStringLiteral("a4.bmp"));
        QVERIFY(picture.save(file, "BMP"));
        WindowFixture w;
        OpenBmp(w, file);
        QCOMPARE(w.errors, QStringList());
        QCOMPARE(w.c().OrImage1->PictureResult()->Width(), 2480);
        const QImage page = PrintAndRender(w);
        QCOMPARE(w.errors, QStringList());
        QVERIFY(!page.isNull());
        const QRect area = PrintedArea(page);
        QVERIFY2(area.width() >= page.width() * 95 / 100 && area.height() >= page.height() * 95 / 100,
                 qPrintable(QStringLiteral("%1 x %2").arg(area.width()).arg(area.height())));
        const int l = area.left() + 2, t = area.top() + 2, r = area.right() - 2, b = area.bottom() - 2;
        const int cx = area.center().x(), cy = area.center().y();
        QVERIFY(Near(page.pixelColor(l, t), QColor(220, 30, 30)));
        QVERIFY(Near(page.pixelColor(r, t), QColor(30, 160, 40)));
        QVERIFY(Near(page.pixelColor(l, b), QColor(30, 40, 200)));
        QVERIFY(Near(page.pixelColor(r, b), QColor(240, 200, 20)));
        // The quarters meet in the middle of the page.
        QVERIFY(Near(page.pixelColor(cx - 3, cy - 3), QColor(220, 30, 30)));
        QVERIFY(Near(page.pixelColor(cx + 3, cy - 3), QColor(30, 160, 40)));
        QVERIFY(Near(page.pixelColor(cx - 3, cy + 3), QColor(30, 40, 200)));
        QVERIFY(Near(page.pixelColor(cx + 3, cy + 3), QColor(240, 200, 20)));
    }

    // The set-up dialog lists every print queue, and what is chosen in it is the next print's page.
    void theSetUpChoiceHoldsForTheNextPrint() {
        REQUIRE_PRINTER();
        WindowFixture w;
        QStringList listed;
        bool sawProperties = false;
        ModalScript script;
        script.Then([&](QWidget* active) -> std::function<void()> {
            auto* printers = active->findChild<QComboBox*>(QStringLiteral("PrinterName"));
            if (!printers)
                return {};
            return [&, active, printers] {
                for (int i = 0; i < printers->count(); ++i)
                    listed << printers->itemText(i);
                sawProperties = active->findChild<QPushButton*>(QStringLiteral("Properties"))->isEnabled();
                auto* paper = active->findChild<QComboBox*>(QStringLiteral("PaperSize"));
                for (int i = 0; i < paper->count(); ++i)
                    if (paper->itemData(i).value<QPageSize>().id() == QPageSize::A5)
                        paper->setCurrentIndex(i);
                active->findChild<QRadioButton*>(QStringLiteral("Landscape"))->setChecked(true);
                active->findChild<QPushButton*>(QStringLiteral("OK"))->click();
            };
        });
        w.form->PopupMenu1()->actions().value(0)->trigger();
        QVERIFY(script.Done());
        QStringList queues = QPrinterInfo::availablePrinterNames();
        QCOMPARE(listed, queues);
        QVERIFY(sawProperties);
        QCOMPARE(Printer().Device().pageLayout().pageSize().id(), QPageSize::A5);

        const QImage page = PrintAndRender(w);
        // An A5 sheet at 20 dots per inch (148 × 210 mm), which the PDF printer keeps upright with the
        // picture turned: the picture's top, the sample's blue sky, runs along the sheet's left edge.
        QVERIFY2(qAbs(page.width() - 117) <= 2 && qAbs(page.height() - 166) <= 2,
                 qPrintable(QStringLiteral("%1 x %2").arg(page.width()).arg(page.height())));
        const QRect area = PrintedArea(page);
        const QColor left = page.pixelColor(area.left() + 2, area.center().y()),
                     right = page.pixelColor(area.right() - 2, area.center().y());
        QVERIFY2(left.blue() > left.red() + 40, qPrintable(left.name()));
        QVERIFY2(right.red() > right.blue() + 20, qPrintable(right.name()));

        // "Отмена" changes nothing.
        ModalScript cancelled;
        cancelled.Then([](QWidget* active) -> std::function<void()> {
            auto* paper = active->findChild<QComboBox*>(QStringLiteral("PaperSize"));
            if (!paper)
                return {};
            return [active, paper] {
                paper->setCurrentIndex(0);
                active->findChild<QPushButton*>(QStringLiteral("Cancel"))->click();
            };
        });
        w.form->PopupMenu1()->actions().value(0)->trigger();
        QVERIFY(cancelled.Done());
        QCOMPARE(Printer().Device().pageLayout().pageSize().id(), QPageSize::A5);
        QCOMPARE(Printer().Device().pageLayout().orientation(), QPageLayout::Landscape);
        // Back to the whole A4 sheet for whatever prints next in this run.
        Printer().Device().setPageSize(QPageSize(QPageSize::A4));
        Printer().Device().setPageOrientation(QPageLayout::Portrait);
    }

    void withoutAPrinterTheProgramSaysSo() {
        if (!qEnvironmentVariableIsSet("ZRK_TEST_NO_PRINTER"))
            QSKIP("runs in the test run without CUPS");
        QVERIFY(QPrinterInfo::defaultPrinter().isNull());
        WindowFixture w;
        QTest::mouseClick(w.c().BitBtn5, Qt::LeftButton);
        QCOMPARE(w.errors, QStringList{QStringLiteral("There is no default printer currently selected.")});

        // The set-up dialog says there is none and cannot be confirmed.
        QString status;
        bool okEnabled = true;
        ModalScript script;
        script.Then([&](QWidget* active) -> std::function<void()> {
            if (!active->findChild<QComboBox*>(QStringLiteral("PrinterName")))
                return {};
            return [&, active] {
                okEnabled = active->findChild<QPushButton*>(QStringLiteral("OK"))->isEnabled();
                for (QLabel* label : active->findChildren<QLabel*>())
                    status += label->text() + QLatin1Char('|');
                static_cast<QDialog*>(active)->reject();
            };
        });
        w.form->PopupMenu1()->actions().value(0)->trigger();
        QVERIFY(script.Done());
        QVERIFY(!okEnabled);
        QVERIFY2(status.contains(QStringLiteral("Нет ни одного принтера")), qPrintable(status));
    }
};

static RegisterWindowTest<PrintTest> registered;
#include "PrintTest.moc"
