// Printing through CUPS: the page arrives at the PDF printer filled edge to edge with the picture; with
// no printer at all, the program says so.
#include "WindowFixture.h"

#include "TestMain.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QImage>
#include <QPrinterInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <pwd.h>
#include <unistd.h>

namespace {

// Where the PDF printer puts its files for this user.
QString PdfOutputFolder() {
    QString out = QStringLiteral("${HOME}/PDF");
    QFile conf(QStringLiteral("/etc/cups/cups-pdf.conf"));
    if (conf.open(QIODevice::ReadOnly))
        for (const QByteArray& line : conf.readAll().split('\n'))
            if (line.startsWith("Out "))
                out = QString::fromUtf8(line.mid(4).trimmed());
    const passwd* user = getpwuid(getuid());
    return out.replace(QStringLiteral("${HOME}"), QString::fromLocal8Bit(user ? user->pw_dir : ""));
}

QStringList PdfFiles(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, {QStringLiteral("*.pdf")}, QDir::Files);
    while (it.hasNext())
        files << it.next();
    return files;
}

} // namespace

class PrintTest : public QObject {
    Q_OBJECT

private slots:
    void aPrintFillsThePageWithTheControlsPartOfThePicture() {
        if (qEnvironmentVariableIsSet("ZRK_TEST_NO_PRINTER"))
            QSKIP("this run has no printer");
        if (QPrinterInfo::defaultPrinter().isNull()) {
            if (qEnvironmentVariableIsSet("ZRK_REQUIRE_PRINTER"))
                QFAIL("CUPS has no default printer");
            QSKIP("no printer here");
        }
        const QString folder = PdfOutputFolder();
        // The printer reuses file names: a new page is a file written after the click.
        const QDateTime clicked = QDateTime::currentDateTime().addSecs(-1);
        WindowFixture w;
        QTest::mouseClick(w.c().BitBtn5, Qt::LeftButton);
        QCOMPARE(w.errors, QStringList());

        QString printed;
        QElapsedTimer waited;
        waited.start();
        while (printed.isEmpty() && waited.elapsed() < 60000) {
            for (const QString& f : PdfFiles(folder))
                if (QFileInfo(f).lastModified() >= clicked && QFileInfo(f).size() > 0)
                    printed = f;
            QTest::qWait(200);
        }
        QVERIFY2(!printed.isEmpty(), qPrintable(QStringLiteral("no PDF appeared in ") + folder));
        QTest::qWait(500); // let the printer finish writing

        QTemporaryDir pages;
        const QString prefix = pages.filePath(QStringLiteral("page"));
        QCOMPARE(QProcess::execute(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("20"),
                                                                QStringLiteral("-png"), printed, prefix}),
                 0);
        QImage page(prefix + QStringLiteral("-1.png"));
        QVERIFY(!page.isNull());
        // Right after start the image control is 97 × 113: that corner of the sample (blue sky and
        // the white card) fills the whole page, corner to corner.
        const QColor topLeft = page.pixelColor(2, 2),
                     bottomRight = page.pixelColor(page.width() - 3, page.height() - 3);
        QVERIFY2(topLeft.blue() > topLeft.red() + 40, qPrintable(topLeft.name()));
        QVERIFY2(bottomRight.lightness() > 200, qPrintable(bottomRight.name()));
        QFile::remove(printed);
    }

    void withoutAPrinterTheProgramSaysSo() {
        if (!qEnvironmentVariableIsSet("ZRK_TEST_NO_PRINTER"))
            QSKIP("runs in the test run without CUPS");
        QVERIFY(QPrinterInfo::defaultPrinter().isNull());
        WindowFixture w;
        QTest::mouseClick(w.c().BitBtn5, Qt::LeftButton);
        QCOMPARE(w.errors, QStringList{QStringLiteral("There is no default printer currently selected.")});
    }
};

static RegisterWindowTest<PrintTest> registered;
#include "print_test.moc"
