// The correction controls, driven through their widgets: track bars, presets with list and arrows,
// typing into the boxes, reset and the image mode.
#include "WindowFixture.h"

#include "Bitmap.h"
#include "Picture.h"
#include "PictureDialogs.h"
#include "TestMain.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

namespace {

void Pick(TComboBox* box, int index) {
    box->setCurrentIndex(index);
    emit box->activated(index);
}

void PressArrow(TUpDown* arrows, bool up) {
    const QList<QToolButton*> buttons = arrows->findChildren<QToolButton*>();
    for (QToolButton* b : buttons)
        if (b->arrowType() == (up ? Qt::UpArrow : Qt::DownArrow))
            QTest::mouseClick(b, Qt::LeftButton);
}

// Types text the way a keyboard does, one key event per character (Cyrillic letters included).
void Type(QWidget* target, const QString& text) {
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
        QCoreApplication::sendEvent(target, &press);
        QCoreApplication::sendEvent(target, &release);
    }
}

// The red channel of the view's top-left pixel, which the sample keeps at a known colour.
TColor ViewPixel(const WindowFixture& w) {
    return w.c().Image1->Picture()->Bitmap()->Pixel(0, 0);
}

} // namespace

class CorrectionTest : public QObject {
    Q_OBJECT

private slots:
    void trackBarsSetBrightnessAndContrastWithTheirLabels() {
        WindowFixture w;
        auto& c = w.c();
        c.TrackBar1->setFocus();
        QTest::keyClick(c.TrackBar1, Qt::Key_Home);
        QCOMPARE(c.OrImage1->PicBrightness(), -250);
        QCOMPARE(c.Label5->text(), QStringLiteral("-100"));
        QVERIFY(c.Label5->width() >= c.Label5->sizeHint().width()); // the whole number shows
        QCOMPARE(c.Label5->x(), 224);
        QTest::keyClick(c.TrackBar1, Qt::Key_End);
        QCOMPARE(c.OrImage1->PicBrightness(), 250);
        QCOMPARE(c.Label5->text(), QStringLiteral("100"));
        QCOMPARE(ViewPixel(w), clWhite); // the view follows the working picture

        QTest::keyClick(c.TrackBar2, Qt::Key_Home);
        QCOMPARE(c.OrImage1->PicContrast(), -250);
        QCOMPARE(c.Label6->text(), QStringLiteral("-50"));
        QTest::keyClick(c.TrackBar2, Qt::Key_End);
        QCOMPARE(c.OrImage1->PicContrast(), 750);
        QCOMPARE(c.Label6->text(), QStringLiteral("150"));
    }

    void aPresetMovesAndDisablesTheBars() {
        WindowFixture w;
        auto& c = w.c();
        Pick(c.ComboBox1, 2); // "Мягкий 2"
        QVERIFY(!c.TrackBar1->isEnabled() && !c.TrackBar2->isEnabled());
        QCOMPARE(c.TrackBar1->Position(), 12);
        QCOMPARE(c.TrackBar2->Position(), 2);
        QCOMPARE(c.Label5->text(), QStringLiteral("20"));
        QCOMPARE(c.Label6->text(), QStringLiteral("-30"));
        QCOMPARE(c.OrImage1->PicBrightness(), 50);
        QCOMPARE(c.OrImage1->PicContrast(), -150);

        Pick(c.ComboBox1, 0); // back to manual: neutral again
        QVERIFY(c.TrackBar1->isEnabled() && c.TrackBar2->isEnabled());
        QCOMPARE(c.OrImage1->PicBrightness(), 0);
        QCOMPARE(c.OrImage1->PicContrast(), 0);
        QCOMPARE(c.Label5->text(), QStringLiteral("0"));
        QCOMPARE(c.Label6->text(), QStringLiteral("0"));
    }

    void theArrowsStepThroughThePresets() {
        WindowFixture w;
        auto& c = w.c();
        const QStringList expected = {QStringLiteral("Мягкий 1"),      QStringLiteral("Мягкий 2"),
                                      QStringLiteral("Мягкий 3"),      QStringLiteral("Контрастный 1"),
                                      QStringLiteral("Контрастный 2"), QStringLiteral("Контрастный 3"),
                                      QStringLiteral("Контрастный 3")};
        for (const QString& name : expected) {
            PressArrow(c.UpDown1, true);
            QCOMPARE(c.ComboBox1->currentText(), name);
        }
        QCOMPARE(c.UpDown1->Position(), 5);
        PressArrow(c.UpDown1, false); // the arrows stand at 5 and propose 4
        QCOMPARE(c.ComboBox1->currentText(), QStringLiteral("Контрастный 1"));
        QCOMPARE(c.TrackBar1->Position(), 9);
        QCOMPARE(c.TrackBar2->Position(), 6);
    }

    void theArrowsDoNotFollowTheList() {
        WindowFixture w;
        auto& c = w.c();
        Pick(c.ComboBox1, 3); // "Мягкий 3"
        PressArrow(c.UpDown1, true);
        QCOMPARE(c.ComboBox1->currentText(), QStringLiteral("Мягкий 1"));
        // Down at 0 keeps the item and applies it again: a preset only disables the bars.
        PressArrow(c.UpDown1, false);
        PressArrow(c.UpDown1, false);
        QCOMPARE(c.ComboBox1->ItemIndex(), 0);
        QVERIFY(c.TrackBar1->isEnabled());
    }

    void typingSelectsByCompletionOrNothing() {
        WindowFixture w;
        auto& c = w.c();
        c.ComboBox1->setFocus();
        c.ComboBox1->lineEdit()->selectAll();
        Type(c.ComboBox1->lineEdit(), QStringLiteral("К"));
        QCOMPARE(c.ComboBox1->ItemIndex(), 4);
        QCOMPARE(c.ComboBox1->currentText(), QStringLiteral("Контрастный 1"));
        QCOMPARE(c.TrackBar1->Position(), 9);
        QCOMPARE(c.OrImage1->PicContrast(), 50);

        c.ComboBox1->lineEdit()->clear();
        Type(c.ComboBox1->lineEdit(), QStringLiteral("xyz"));
        QCOMPARE(c.ComboBox1->ItemIndex(), -1);
        QVERIFY(!c.TrackBar1->isEnabled());
        QCOMPARE(c.TrackBar1->Position(), 9); // left where it was

        QTest::mouseClick(c.BitBtn3, Qt::LeftButton); // "Сброс"
        QVERIFY(c.TrackBar1->isEnabled() && c.TrackBar2->isEnabled());
        QCOMPARE(c.TrackBar1->Position(), 10);
        QCOMPARE(c.TrackBar2->Position(), 5);
        QCOMPARE(c.ComboBox1->ItemIndex(), 0);
        QCOMPARE(c.OrImage1->PicBrightness(), 0);
        QCOMPARE(c.Label6->text(), QStringLiteral("0"));

        // The mode box does not complete: a typed beginning selects nothing and means colour.
        c.ComboBox2->lineEdit()->clear();
        Type(c.ComboBox2->lineEdit(), QStringLiteral("Ч"));
        QCOMPARE(c.ComboBox2->ItemIndex(), -1);
        QVERIFY(!c.OrImage1->PicGrayScale());
    }

    void theImageModeSwitchesBetweenGreyAndColour() {
        WindowFixture w;
        auto& c = w.c();
        const TColor colour = ViewPixel(w);
        QVERIFY(RedOf(colour) != BlueOf(colour)); // the sample's top is blue sky
        Pick(c.ComboBox2, 0);
        QVERIFY(c.OrImage1->PicGrayScale());
        const TColor grey = ViewPixel(w);
        QCOMPARE(RedOf(grey), BlueOf(grey));
        Pick(c.ComboBox2, 1);
        QCOMPARE(ViewPixel(w), colour);
    }

    void enterOutsideAButtonPressesSave() {
        WindowFixture w;
        auto& c = w.c();
        QApplication::setActiveWindow(w.form.get());
        int dialogs = 0;
        TPictureDialog::SetHook([&](TPictureDialog&) { return ++dialogs, false; });
        QSignalSpy saves(c.BitBtn6, &QPushButton::clicked);
        c.TrackBar1->setFocus();
        QTest::keyClick(c.TrackBar1, Qt::Key_Return);
        c.ComboBox1->setFocus();
        QTest::keyClick(c.ComboBox1->lineEdit(), Qt::Key_Return);
        QCOMPARE(saves.count(), 2);
        QSignalSpy resets(c.BitBtn3, &QPushButton::clicked);
        c.BitBtn3->setFocus();
        QTest::keyClick(c.BitBtn3, Qt::Key_Return);
        QCOMPARE(saves.count(), 2);
        QCOMPARE(resets.count(), 1);
        TPictureDialog::SetHook({});
        QCOMPARE(dialogs, 2);
    }
};

static RegisterWindowTest<CorrectionTest> registered;
#include "CorrectionTest.moc"
