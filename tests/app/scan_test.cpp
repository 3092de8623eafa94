// Scanning for real: the window, its TWAIN component, the program's source manager and SANE's virtual
// test scanner, driven through the widgets a person uses (the selection dialog and the scanner's dialog
// are answered by finding their controls).
#include "WindowFixture.h"

#include "Bitmap.h"
#include "Picture.h"
#include "PictureDialogs.h"
#include "ScanHelpers.h"
#include "TestMain.h"
#include "TwainManager.h"

#include <QPrinterInfo>
#include <QTemporaryDir>
#include <QtTest>

namespace {

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

    QString previous_;

private slots:
    void init() {
        // The program finds the source manager library in its current folder.
        previous_ = QDir::currentPath();
        QDir::setCurrent(QStringLiteral(ZRK_DSM_DIR));
    }
    void cleanup() { QDir::setCurrent(previous_); }

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
            QTest::mouseClick(c.BitBtn5, Qt::LeftButton);
            QCOMPARE(w.errors, QStringList());
        }
    }
};

static RegisterWindowTest<ScanTest> registered;
#include "scan_test.moc"
