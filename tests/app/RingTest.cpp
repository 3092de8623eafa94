// The scanning workflow's page ring: delivery, wrapping and browsing, as the window's handlers and
// buttons do them. Pages are told apart by their widths.
#include "WindowFixture.h"

#include "Bitmap.h"
#include "Picture.h"
#include "TestMain.h"
#include "TwainManager.h"

#include <QtTest>

namespace {

// Delivers a page the way the TWAIN component does: an 8-bit grey bitmap of the given width.
bool Deliver(TForm1& form, int width) {
    TBitmap page;
    page.SetPixelFormat(TPixelFormat::pf8bit);
    TColorTable grey;
    for (int i = 0; i < 256; ++i)
        grey.push_back(TRGBQuad{std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0});
    page.SetColorTable(grey);
    page.SetSize(width, 20);
    for (int y = 0; y < 20; ++y)
        std::fill_n(page.ScanLine(y), width, std::uint8_t(100));
    bool cancel = false;
    form.Twain1TwainAcquire(&form.Twain1(), 0, &page, cancel);
    return cancel;
}

int ViewWidth(const WindowFixture& w) {
    return w.c().Image1->Picture()->Width();
}

} // namespace

class RingTest : public QObject {
    Q_OBJECT

private slots:
    void beforeAnyScanTheArrowsShowTheSample() {
        WindowFixture w;
        auto& c = w.c();
        QCOMPARE(c.StaticText1->text(), QString());
        for (int press = 0; press < 3; ++press) {
            QTest::mouseClick(press % 2 ? c.BitBtn8 : c.BitBtn9, Qt::LeftButton);
            QCOMPARE(ViewWidth(w), 249);
            QCOMPARE(c.StaticText1->text(), QStringLiteral("1"));
        }
    }

    void aCancelledSelectionEmptiesTheRingButKeepsTheWorkingPicture() {
        WindowFixture w;
        auto& c = w.c();
        // No source manager can be found from the tests' folders: the selection gives -1.
        QTest::mouseClick(c.BitBtn1, Qt::LeftButton);
        QCOMPARE(w.form->SourceIndex, -1);
        QVERIFY(c.Image1->Picture()->Graphic() == nullptr);
        for (int slot = 0; slot < 10; ++slot)
            QVERIFY(w.form->RingSlot(slot)->Picture()->Graphic() == nullptr);
        QTest::mouseClick(c.BitBtn9, Qt::LeftButton);
        QVERIFY(c.Image1->Picture()->Graphic() == nullptr);
        QCOMPARE(c.StaticText1->text(), QStringLiteral("1"));
        // The working picture remains, and the image control now has its size (for printing).
        QCOMPARE(c.OrImage1->PictureResult()->Width(), 249);
        QCOMPARE(c.OrImage1->Width(), 249);
        QCOMPARE(c.OrImage1->Height(), 393);

        // "Следующий" with no source to open says so instead of doing nothing silently.
        QStringList messages;
        SetMessageDlgHook([&](const QString&, const QString& text, TMsgDlgType) {
            messages << text;
            return TModalResult::mrOk;
        });
        c.BitBtn2->setEnabled(true);
        QTest::mouseClick(c.BitBtn2, Qt::LeftButton);
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages[0].contains(QStringLiteral("Выбор сканера")));
        QCOMPARE(w.errors, QStringList());
    }

    void aDeliveredPageIsGreyShownStoredAndEnablesNext() {
        WindowFixture w;
        auto& c = w.c();
        QTest::mouseClick(c.BitBtn1, Qt::LeftButton);
        c.CheckBox1->setChecked(false); // toggled without the mouse: applied by the next page
        QVERIFY(Deliver(*w.form, 30));
        QVERIFY(!c.Image1->Proportional());
        QCOMPARE(c.ComboBox2->ItemIndex(), 0);
        QVERIFY(c.OrImage1->PicGrayScale());
        QCOMPARE(c.OrImage1->PictureOriginal()->Bitmap()->PixelFormat(), TPixelFormat::pf24bit);
        QCOMPARE(ViewWidth(w), 30);
        QCOMPARE(w.form->RingSlot(0)->Picture()->Width(), 30);
        QVERIFY(c.BitBtn2->isEnabled());
        QCOMPARE(c.OrImage1->Width(), 30); // auto-size follows the page
        QCOMPARE(w.form->RingWrite, 1);
        QCOMPARE(w.form->RingLast, 0);

        // Back to colour recolours the working picture only, never the stored page.
        const TBitmap stored = *w.form->RingSlot(0)->Picture()->Bitmap();
        c.ComboBox2->setCurrentIndex(1);
        emit c.ComboBox2->activated(1);
        QVERIFY(w.form->RingSlot(0)->Picture()->Bitmap()->SharesPixelsWith(stored));
    }

    void browsingFollowsTheAnnouncedSlots() {
        WindowFixture w;
        auto& c = w.c();
        QTest::mouseClick(c.BitBtn1, Qt::LeftButton);
        for (int width : {10, 11, 12})
            Deliver(*w.form, width);
        QCOMPARE(w.form->RingWrite, 3);
        QCOMPARE(w.form->RingLast, 2);
        QCOMPARE(w.form->RingBrowse, 0);
        const int shown[] = {10, 11, 12, 10, 11};
        const char* counter[] = {"2", "3", "1", "2", "3"};
        for (int i = 0; i < 5; ++i) {
            QTest::mouseClick(c.BitBtn9, Qt::LeftButton);
            QCOMPARE(ViewWidth(w), shown[i]);
            QCOMPARE(c.StaticText1->text(), QString::fromLatin1(counter[i]));
        }
        QTest::mouseClick(c.BitBtn8, Qt::LeftButton);
        QCOMPARE(ViewWidth(w), 12);
        QCOMPARE(c.StaticText1->text(), QStringLiteral("2"));
        // Browsing changes only the view: the working picture is the last page.
        QCOMPARE(c.OrImage1->PictureResult()->Width(), 12);
    }

    void theEleventhPageWrapsTheRing() {
        WindowFixture w;
        auto& c = w.c();
        QTest::mouseClick(c.BitBtn1, Qt::LeftButton);
        for (int k = 1; k <= 10; ++k)
            Deliver(*w.form, 100 + k);
        QCOMPARE(w.form->RingSlot(9)->Picture()->Width(), 110);
        QCOMPARE(w.form->RingLast, 9);
        QCOMPARE(w.form->RingWrapped, 1);
        QCOMPARE(w.form->RingWrite, 0);
        Deliver(*w.form, 111);
        Deliver(*w.form, 112);
        QCOMPARE(w.form->RingSlot(0)->Picture()->Width(), 111);
        QCOMPARE(w.form->RingSlot(1)->Picture()->Width(), 112);
        QCOMPARE(w.form->RingWrite, 2);
        QCOMPARE(w.form->RingLast, 9);
        // Browsing runs in slot order, not in order of arrival.
        QTest::mouseClick(c.BitBtn8, Qt::LeftButton);
        QCOMPARE(ViewWidth(w), 111);
        QCOMPARE(c.StaticText1->text(), QStringLiteral("10"));
        QTest::mouseClick(c.BitBtn8, Qt::LeftButton);
        QCOMPARE(ViewWidth(w), 110);
    }

    void theCounterIsRedOnlyWhileAnArrowIsHeld() {
        WindowFixture w;
        auto& c = w.c();
        auto colour = [&] { return c.StaticText1->palette().color(QPalette::WindowText); };
        QTest::mousePress(c.BitBtn9, Qt::RightButton);
        QCOMPARE(colour(), QColor(255, 0, 0));
        QTest::mouseRelease(c.BitBtn9, Qt::RightButton);
        QCOMPARE(colour(), QColor(0, 0, 0));
        QTest::mousePress(c.BitBtn8, Qt::LeftButton);
        QCOMPARE(colour(), QColor(255, 0, 0));
        QTest::mouseRelease(c.BitBtn8, Qt::LeftButton);
        QCOMPARE(colour(), QColor(0, 0, 0));
        QCOMPARE(c.StaticText1->text(), QStringLiteral("1"));
    }
};

static RegisterWindowTest<RingTest> registered;
#include "RingTest.moc"
