// The ring as one document: "Печать всех страниц" through CUPS's PDF printer in collated and
// uncollated copies, the same pages printed to a file by the program's own copies, "Сохранить все
// страницы в PDF…" and the PDF type of "Сохранить", the set-up kept for the next run, and the faults.
#include "WindowFixture.h"

#include "TestMain.h"

#include "Bitmap.h"
#include "ModalScript.h"
#include "Picture.h"
#include "PictureDialogs.h"
#include "PrintedPages.h"
#include "Printer.h"
#include "TestPictures.h"
#include "TwainManager.h"

#include <QCheckBox>
#include <QMenu>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QSpinBox>
#include <QtTest>

namespace {

// The grey levels the test pages are told apart by.
constexpr int Levels[] = {40, 130, 220};

// Delivers a page as the TWAIN component does: 8-bit grey, of one level.
void Deliver(TForm1& form, int level) {
    TBitmap page;
    page.SetPixelFormat(TPixelFormat::pf8bit);
    page.SetColorTable(testpictures::GreyTable());
    page.SetSize(120, 170);
    for (int y = 0; y < page.Height(); ++y)
        std::fill_n(page.ScanLine(y), page.Width(), std::uint8_t(level));
    bool cancel = false;
    form.Twain1TwainAcquire(&form.Twain1(), 0, &page, cancel);
}

QAction* Item(WindowFixture& w, const char* name) {
    return w.form->PopupMenu1()->findChild<QAction*>(QString::fromLatin1(name));
}

// Whether an item is enabled when the menu opens.
bool EnabledOnOpening(WindowFixture& w, const char* name) {
    emit w.form->PopupMenu1()->aboutToShow();
    return Item(w, name)->isEnabled();
}

QString RunTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.waitForFinished(120000);
    return QString::fromUtf8(process.readAll());
}

// The grey level in the middle of each page of a PDF file, in page order.
QList<int> PageLevels(const QString& pdf) {
    QTemporaryDir dir;
    RunTool(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("10"), QStringLiteral("-png"),
                                         pdf, dir.filePath(QStringLiteral("p"))});
    QList<int> levels;
    QStringList pages = QDir(dir.path()).entryList({QStringLiteral("p-*.png")}, QDir::Files, QDir::Name);
    for (const QString& page : pages) {
        const QImage image(dir.filePath(page));
        levels << qGray(image.pixel(image.width() / 2, image.height() / 2));
    }
    return levels;
}

QList<int> Expected(std::initializer_list<int> pages) {
    QList<int> levels;
    for (int page : pages)
        levels << Levels[page];
    return levels;
}

bool Near(const QList<int>& a, const QList<int>& b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (qAbs(a[i] - b[i]) > 12)
            return false;
    return true;
}

QString LevelsText(const QList<int>& levels) {
    QStringList texts;
    for (int level : levels)
        texts << QString::number(level);
    return texts.join(QLatin1Char(' '));
}

// Triggers "Печать всех страниц" and gives the PDF the printer wrote for it (taken away), or an empty
// name when the window reported an error or nothing came within two minutes.
QString PrintAllAndTake(WindowFixture& w, const QString& keep) {
    const QString folder = PdfOutputFolder();
    const QDateTime clicked = QDateTime::currentDateTime().addSecs(-1);
    Item(w, "N2")->trigger();
    if (!w.errors.isEmpty())
        return {};
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 120000) {
        // The job is done once CUPS lists it no more among the pending ones.
        if (RunTool(QStringLiteral("lpstat"), {QStringLiteral("-o")}).trimmed().isEmpty())
            for (const QString& f : PdfFiles(folder))
                if (QFileInfo(f).lastModified() >= clicked && QFileInfo(f).size() > 0) {
                    QFile::remove(keep);
                    QFile::rename(f, keep);
                    return keep;
                }
        QTest::qWait(200);
    }
    return {};
}

// An attribute of the last completed job, as CUPS keeps it ("copies (integer) = 2").
QString LastJobAttribute(const QString& name) {
    const QStringList jobs =
        RunTool(QStringLiteral("lpstat"),
                {QStringLiteral("-W"), QStringLiteral("completed"), QStringLiteral("-o")})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    int last = 0;
    for (const QString& job : jobs)
        last = std::max(last, job.section(QLatin1Char(' '), 0, 0).section(QLatin1Char('-'), -1).toInt());
    const QString attributes =
        RunTool(QStringLiteral("ipptool"),
                {QStringLiteral("-tv"), QStringLiteral("ipp://localhost/jobs/%1").arg(last),
                 QStringLiteral("get-job-attributes.test")});
    const QRegularExpression line(QStringLiteral("\\b%1 \\([^)]*\\) = (\\S+)").arg(name));
    return line.match(attributes).captured(1);
}

void PrintToFile(const QString& file) {
    Printer().Device().setOutputFileName(file);
}

void PrintToQueue() {
    Printer().Device().setOutputFileName(QString());
    Printer().Device().setPrinterName(QPrinterInfo::defaultPrinter().printerName());
}

} // namespace

class DocumentPrintTest : public QObject {
    Q_OBJECT

private slots:
    void theItemsAreThereFromTwoPagesOn() {
        WindowFixture w;
        QCOMPARE(Item(w, "N2")->text(), QStringLiteral("Печать всех страниц"));
        QCOMPARE(Item(w, "N3")->text(), QStringLiteral("Сохранить все страницы в PDF…"));
        // The start-up picture is not a page.
        QVERIFY(!EnabledOnOpening(w, "N2"));
        QVERIFY(!EnabledOnOpening(w, "N3"));
        Deliver(*w.form, Levels[0]);
        QVERIFY(!EnabledOnOpening(w, "N2"));
        QVERIFY(EnabledOnOpening(w, "N3"));
        Deliver(*w.form, Levels[1]);
        QVERIFY(EnabledOnOpening(w, "N2"));
        // Twelve pages: the last ten, oldest first.
        for (int i = 0; i < 10; ++i)
            Deliver(*w.form, 100 + i);
        const document::TPages pages = w.form->RingPages();
        QCOMPARE(pages.size(), std::size_t(10));
        for (int i = 0; i < 10; ++i)
            QCOMPARE(int(pages[std::size_t(i)]->ScanLine(0)[0]), 100 + i);
    }

    // Two copies chosen in the set-up, collated and then not: one job each, its copies made by CUPS.
    void theRingPrintsAsOneJobInCopies() {
        REQUIRE_PRINTER();
        WindowFixture w;
        for (int level : Levels)
            Deliver(*w.form, level);
        QTemporaryDir kept;
        for (bool collate : {true, false}) {
            ModalScript script;
            script.Then([&](QWidget* active) -> std::function<void()> {
                auto* copies = active->findChild<QSpinBox*>(QStringLiteral("Copies"));
                if (!copies)
                    return {};
                return [&, active, copies] {
                    copies->setValue(2);
                    active->findChild<QCheckBox*>(QStringLiteral("Collate"))->setChecked(collate);
                    active->findChild<QPushButton*>(QStringLiteral("OK"))->click();
                };
            });
            Item(w, "N1")->trigger();
            QVERIFY(script.Done());
            QCOMPARE(Printer().Copies(), 2);
            // CUPS makes collated copies; uncollated ones the program sends itself, page by page.
            QCOMPARE(Printer().MakesCopies(), collate);
            const QString pdf = PrintAllAndTake(w, kept.filePath(QStringLiteral("job.pdf")));
            QCOMPARE(w.errors, QStringList());
            QVERIFY(!pdf.isEmpty());
            const QList<int> levels = PageLevels(pdf);
            const QList<int> expected = collate ? Expected({0, 1, 2, 0, 1, 2}) : Expected({0, 0, 1, 1, 2, 2});
            QVERIFY2(Near(levels, expected), qPrintable(LevelsText(levels)));
            QCOMPARE(LastJobAttribute(QStringLiteral("copies")),
                     collate ? QStringLiteral("2") : QStringLiteral("1"));
            QCOMPARE(LastJobAttribute(QStringLiteral("sides")), QStringLiteral("one-sided"));
        }
        // The set-up is kept for the next run.
        QFile setup(TPrinter::SetupFileName());
        QVERIFY(setup.open(QIODevice::ReadOnly));
        const QByteArray keptSetup = setup.readAll();
        QVERIFY2(keptSetup.contains("\"copies\": 2") && keptSetup.contains("\"collate\": false"),
                 keptSetup.constData());
        Printer().SetCopies(1);
        Printer().SetCollate(true);
    }

    // Printing to a file, the program makes the copies itself; black-and-white pages stay grey.
    void printedToAFileTheProgramMakesTheCopies() {
        WindowFixture w;
        for (int level : Levels)
            Deliver(*w.form, level);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("copies.pdf"));
        PrintToFile(file);
        Printer().SetCopies(2);
        for (bool collate : {true, false}) {
            Printer().SetCollate(collate);
            QVERIFY(!Printer().MakesCopies());
            Item(w, "N2")->trigger();
            QCOMPARE(w.errors, QStringList());
            const QList<int> levels = PageLevels(file);
            const QList<int> expected = collate ? Expected({0, 1, 2, 0, 1, 2}) : Expected({0, 0, 1, 1, 2, 2});
            QVERIFY2(Near(levels, expected), qPrintable(LevelsText(levels)));
        }
        const QString images = RunTool(QStringLiteral("pdfimages"), {QStringLiteral("-list"), file});
        QCOMPARE(images.count(QRegularExpression(QStringLiteral(" gray +1 +8 +jpeg"))), 6);
        QCOMPARE(images.count(QStringLiteral(" rgb ")), 0);
        Printer().SetCopies(1);
        Printer().SetCollate(true);
        PrintToQueue();
    }

    // "Сохранить все страницы в PDF…" and the third type of "Сохранить": the extension added when
    // missing, and an A4 sheet per page.
    void theRingAndTheCurrentPageSaveAsPdf() {
        WindowFixture w;
        for (int level : Levels)
            Deliver(*w.form, level);
        QTemporaryDir dir;
        TPictureDialog::SetHook([&](TPictureDialog& dialog) {
            dialog.SetFileName(dir.filePath(QStringLiteral("contract")));
            dialog.SetFilterIndex(1);
            return true;
        });
        Item(w, "N3")->trigger();
        QCOMPARE(w.errors, QStringList());
        const QString all = dir.filePath(QStringLiteral("contract.pdf"));
        QVERIFY2(Near(PageLevels(all), Expected({0, 1, 2})), qPrintable(LevelsText(PageLevels(all))));

        TPictureDialog::SetHook([&](TPictureDialog& dialog) {
            dialog.SetFileName(dir.filePath(QStringLiteral("page.pdf")));
            dialog.SetFilterIndex(3);
            return true;
        });
        QTest::mouseClick(w.c().BitBtn6, Qt::LeftButton);
        TPictureDialog::SetHook({});
        QCOMPARE(w.errors, QStringList());
        const QString one = dir.filePath(QStringLiteral("page.pdf"));
        QVERIFY(QFileInfo::exists(one));
        QVERIFY(!QFileInfo::exists(one + QStringLiteral(".pdf")));
        const QString info = RunTool(QStringLiteral("pdfinfo"), {one});
        QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))) &&
                     info.contains(QStringLiteral("595 x 842 pts")),
                 qPrintable(info));
        // The working picture is the last page, grey.
        QVERIFY(Near(PageLevels(one), Expected({2})));
        QVERIFY(RunTool(QStringLiteral("pdfimages"), {QStringLiteral("-list"), one})
                    .contains(QStringLiteral(" gray ")));
    }

    // The set-up of an earlier run comes back; a printer that has gone leaves the default one.
    void theSetUpOfTheLastRunComesBack() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("printer.json"));
        const QString queue = QPrinterInfo::defaultPrinter().printerName();
        for (const QString& name : {queue, QStringLiteral("ZrkQueueLongGone")}) {
            QFile setup(file);
            QVERIFY(setup.open(QIODevice::WriteOnly | QIODevice::Truncate));
            setup.write(QStringLiteral("{\"printer\": \"%1\", \"paper\": %2, \"orientation\": \"landscape\", "
                                       "\"duplex\": 0, \"copies\": 3, \"collate\": false}")
                            .arg(name)
                            .arg(int(QPageSize::A5))
                            .toUtf8());
            setup.close();
            TPrinter printer;
            printer.LoadSetup(file);
            QCOMPARE(printer.Copies(), 3);
            QCOMPARE(printer.Collate(), false);
            QCOMPARE(printer.Device().pageLayout().pageSize().id(), QPageSize::A5);
            QCOMPARE(printer.Device().pageLayout().orientation(), QPageLayout::Landscape);
            QCOMPARE(printer.Device().printerName(), queue);
        }
    }

    void faultsAreToldAndNothingIsPrinted() {
        WindowFixture w;
        Deliver(*w.form, Levels[0]);
        Deliver(*w.form, Levels[1]);
        if (qEnvironmentVariableIsSet("ZRK_TEST_NO_PRINTER")) {
            Item(w, "N2")->trigger();
            QCOMPARE(w.errors,
                     QStringList{QStringLiteral("There is no default printer currently selected.")});
            return;
        }
        REQUIRE_PRINTER();
        // Queues of this test's own, beside the PDF printer: one that goes away after it was chosen, one
        // that refuses jobs.
        const QString ppd = QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd");
        for (const char* queue : {"ZrkGoneSoon", "ZrkRefusing"})
            if (QProcess::execute(QStringLiteral("lpadmin"),
                                  {QStringLiteral("-p"), QString::fromLatin1(queue), QStringLiteral("-E"),
                                   QStringLiteral("-v"), QStringLiteral("cups-pdf:/"), QStringLiteral("-P"),
                                   ppd}) != 0)
                QSKIP("no right to add print queues here");
        QProcess::execute(QStringLiteral("cupsreject"), {QStringLiteral("ZrkRefusing")});
        Printer().Device().setPrinterName(QStringLiteral("ZrkGoneSoon"));
        QCOMPARE(Printer().Device().printerName(), QStringLiteral("ZrkGoneSoon"));
        QProcess::execute(QStringLiteral("lpadmin"), {QStringLiteral("-x"), QStringLiteral("ZrkGoneSoon")});
        Item(w, "N2")->trigger();
        QTest::mouseClick(w.c().BitBtn5, Qt::LeftButton);
        const QString gone = QStringLiteral("Принтер «ZrkGoneSoon» больше не доступен. Выберите принтер в "
                                            "«Настройка печати» и повторите печать.");
        QCOMPARE(w.errors, (QStringList{gone, gone}));

        w.errors.clear();
        Printer().Device().setPrinterName(QStringLiteral("ZrkRefusing"));
        Item(w, "N2")->trigger();
        QTest::mouseClick(w.c().BitBtn5, Qt::LeftButton);
        QProcess::execute(QStringLiteral("lpadmin"), {QStringLiteral("-x"), QStringLiteral("ZrkRefusing")});
        const QString refusing =
            QStringLiteral("Принтер «ZrkRefusing» сейчас не принимает задания; ничего не напечатано.");
        QCOMPARE(w.errors, (QStringList{refusing, refusing}));
        PrintToQueue();
    }
};

static RegisterWindowTest<DocumentPrintTest> registered;
#include "DocumentPrintTest.moc"
