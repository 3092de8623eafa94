// The window as a desktop program: its icon, the keys that press its buttons, the names a screen
// reader gives its glyph buttons, and Qt's own dialogs in the user's language.
#include "WindowFixture.h"

#include "PictureDialogs.h"
#include "Shell.h"
#include "TestMain.h"
#include "Translations.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

// Polls for modal dialogs and hands each new one to `act` until `act` says it is done.
void WhileModalsShow(std::function<bool(QWidget*)> act) {
    auto* poll = new QTimer;
    auto* last = new QPointer<QWidget>;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, last, act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == *last)
            return;
        *last = modal;
        if (act(modal)) {
            poll->stop();
            poll->deleteLater();
            delete last;
        }
    });
    poll->start(20);
}

QString Label(QWidget* dialog, const char* name) {
    auto* label = dialog->findChild<QLabel*>(QLatin1String(name));
    return label ? label->text() : QString();
}

QStringList ButtonTexts(QMessageBox* box) {
    QStringList texts;
    for (QAbstractButton* button : box->buttons())
        texts << button->text();
    texts.sort();
    return texts;
}

// What the save dialog and its questions said, in the language that is installed.
struct SaveDialogTexts {
    QString lookIn, fileName, title, replaceQuestion, createQuestion;
    QStringList replaceButtons;
};

SaveDialogTexts RunSaveDialog() {
    QTemporaryDir folder;
    QFile existing(folder.filePath(QStringLiteral("scan.jpg")));
    existing.open(QIODevice::WriteOnly);
    existing.write("x");
    existing.close();
    TPictureDialog dialog(TPictureDialogKind::Save);
    dialog.SetFilter(QStringLiteral("JPEG Image File (*.jpg)|*.jpg|Bitmaps (*.bmp)|*.bmp"));
    dialog.OverwritePrompt = true;
    dialog.CreatePrompt = true;
    dialog.SetFileName(existing.fileName());
    SaveDialogTexts seen;
    int step = 0;
    WhileModalsShow([&](QWidget* modal) {
        if (auto* fileDialog = qobject_cast<QFileDialog*>(modal)) {
            if (step == 0) {
                seen.lookIn = Label(modal, "lookInLabel");
                seen.fileName = Label(modal, "fileNameLabel");
                seen.title = modal->windowTitle();
                fileDialog->selectFile(QStringLiteral("scan.jpg"));
                QTimer::singleShot(0, fileDialog,
                                   [fileDialog] { static_cast<QDialog*>(fileDialog)->accept(); });
            } else if (step == 1) {
                fileDialog->selectFile(QStringLiteral("new.jpg"));
                QTimer::singleShot(0, fileDialog,
                                   [fileDialog] { static_cast<QDialog*>(fileDialog)->accept(); });
            } else {
                fileDialog->reject();
                return true;
            }
            return false;
        }
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            if (step == 0) {
                seen.replaceQuestion = box->text();
                seen.replaceButtons = ButtonTexts(box);
            } else {
                seen.createQuestion = box->text();
            }
            ++step;
            QTimer::singleShot(0, box, [box] { box->button(QMessageBox::No)->click(); });
        }
        return false;
    });
    // After each "No" the file dialog is the active modal again and gets its next step.
    dialog.Execute(nullptr);
    return seen;
}

} // namespace

class KeysAndLanguageTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { InstallTranslations(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void theWindowShowsTheProgramsIcon() {
        WindowFixture w;
        const QIcon icon = w.form->windowIcon();
        QVERIFY(!icon.isNull());
        QVERIFY(icon.availableSizes().contains(QSize(16, 16)));
        QVERIFY(icon.availableSizes().contains(QSize(256, 256)));
        // The same picture the desktop shows for the installed program.
        const QImage installed(QStringLiteral(ZRK_SOURCE_DIR "/resources/icons/zrk201-48.png"));
        QVERIFY(!installed.isNull());
        QCOMPARE(icon.pixmap(QSize(48, 48)).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                 installed.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }

    void keysPressTheirButtons() {
        WindowFixture w;
        auto& c = w.c();
        w.form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
        QStringList opened;
        SetShellOpenHook([&](const QString& target) { opened << target; });
        QList<TPictureDialogKind> dialogs;
        TPictureDialog::SetHook([&](TPictureDialog& dialog) {
            dialogs << dialog.Kind();
            return false; // cancelled
        });
        QSignalSpy printed(c.BitBtn5, &QAbstractButton::clicked);

        // The keys act wherever the focus is in the window, also in a combo box's text.
        c.ComboBox1->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_O, Qt::ControlModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::ControlModifier);
        c.BitBtn5->setEnabled(false);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(printed.count(), 0); // a disabled button is not pressed by its key either
        SetShellOpenHook({});
        TPictureDialog::SetHook({});

        QCOMPARE(opened.size(), 1);
        QVERIFY(opened.front().endsWith(QStringLiteral("/zrk.hlp")));
        QCOMPARE(dialogs, (QList<TPictureDialogKind>{TPictureDialogKind::Open, TPictureDialogKind::Save}));
        QCOMPARE(w.errors, QStringList());
        // The keys are the usual ones and say so to assistive tools.
        QCOMPARE(c.BitBtn6->accessibleDescription(),
                 QKeySequence(Qt::CTRL | Qt::Key_S).toString(QKeySequence::NativeText));
        QCOMPARE(c.BitBtn5->accessibleDescription(),
                 QKeySequence(Qt::CTRL | Qt::Key_P).toString(QKeySequence::NativeText));
    }

    void glyphButtonsHaveNamesAndNoCaption() {
        WindowFixture w;
        auto& c = w.c();
        QCOMPARE(c.BitBtn4->accessibleName(), QStringLiteral("Справка"));
        QCOMPARE(c.BitBtn8->accessibleName(), QStringLiteral("Предыдущая страница"));
        QCOMPARE(c.BitBtn9->accessibleName(), QStringLiteral("Следующая страница"));
        for (QAbstractButton* glyph :
             {static_cast<QAbstractButton*>(c.BitBtn4), static_cast<QAbstractButton*>(c.BitBtn8),
              static_cast<QAbstractButton*>(c.BitBtn9)}) {
            QVERIFY(glyph->text().isEmpty()); // the names are for screen readers, not on the buttons
            QVERIFY(glyph->toolTip().isEmpty());
        }
        QCOMPARE(c.BitBtn4->geometry(), QRect(512, 496, 25, 25));
        QCOMPARE(c.BitBtn8->geometry(), QRect(88, 16, 65, 25));
        QCOMPARE(c.BitBtn9->geometry(), QRect(184, 16, 65, 25));
    }

    void qtsDialogsSpeakRussianWithTheRussianTranslations() {
        QVERIFY(InstallTranslations(QLocale(QLocale::Russian, QLocale::Russia)));
        const SaveDialogTexts seen = RunSaveDialog();
        QCOMPARE(seen.lookIn, QStringLiteral("Перейти к:"));
        QCOMPARE(seen.fileName, QStringLiteral("&Имя файла:"));
        QVERIFY2(seen.replaceQuestion.contains(QStringLiteral("уже существует")),
                 qPrintable(seen.replaceQuestion));
        QVERIFY(seen.replaceQuestion.startsWith(QStringLiteral("scan.jpg")));
        QCOMPARE(seen.replaceButtons, (QStringList{QStringLiteral("&Да"), QStringLiteral("&Нет")}));
        QVERIFY2(seen.createQuestion.contains(QStringLiteral("не существует")),
                 qPrintable(seen.createQuestion));

        QPrinter printer;
        QPrintDialog print(&printer);
        QCOMPARE(print.windowTitle(), QStringLiteral("Печать"));
        QMessageBox question(QMessageBox::Question, QString(), QString(),
                             QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(ButtonTexts(&question), (QStringList{QStringLiteral("OK"), QStringLiteral("Отмена")}));
    }

    void theSameDialogsStayEnglishInAnEnglishSession() {
        InstallTranslations(QLocale(QLocale::English, QLocale::UnitedStates));
        const SaveDialogTexts seen = RunSaveDialog();
        QCOMPARE(seen.lookIn, QStringLiteral("Look in:"));
        QVERIFY(seen.replaceQuestion.contains(QStringLiteral("already exists")));
        QVERIFY(seen.createQuestion.contains(QStringLiteral("does not exist")));
    }

    // Run with LANG=ru_RU.UTF-8 (a test of its own): the system's locale chooses the translations.
    void theSystemLocaleChoosesTheLanguage() {
        if (QLocale::system().language() != QLocale::Russian)
            QSKIP("runs in a Russian session only");
        QVERIFY(InstallTranslations());
        QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Перейти к:"));
        QMessageBox question(QMessageBox::Question, QString(), QString(), QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(ButtonTexts(&question), (QStringList{QStringLiteral("&Да"), QStringLiteral("&Нет")}));
        // The program's own texts are its own.
        WindowFixture w;
        QCOMPARE(w.c().BitBtn6->text(), QStringLiteral("Сохранить"));
    }
};

static RegisterWindowTest<KeysAndLanguageTest> registered;
#include "KeysLanguageTest.moc"
