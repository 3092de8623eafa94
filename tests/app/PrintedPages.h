// The pages the window prints, as they reach CUPS's PDF printer: found in the printer's output folder,
// rendered to a picture and taken away, so that no page is left behind for the next print to find.
#pragma once

#include "WindowFixture.h"

#include <QDateTime>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPrinterInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

#include <pwd.h>
#include <unistd.h>

inline bool PrinterHere() {
    return !qEnvironmentVariableIsSet("ZRK_TEST_NO_PRINTER") && !QPrinterInfo::defaultPrinter().isNull();
}

// Skips a test that needs the PDF printer where there is none, unless the run requires it.
#define REQUIRE_PRINTER()                                                                                    \
    do {                                                                                                     \
        if (!PrinterHere()) {                                                                                \
            if (qEnvironmentVariableIsSet("ZRK_REQUIRE_PRINTER") &&                                          \
                !qEnvironmentVariableIsSet("ZRK_TEST_NO_PRINTER"))                                           \
                QFAIL("CUPS has no default printer");                                                        \
            QSKIP("no printer here");                                                                        \
        }                                                                                                    \
    } while (false)

// Where the PDF printer puts its files for this user.
inline QString PdfOutputFolder() {
    QString out = QStringLiteral("${HOME}/PDF");
    QFile conf(QStringLiteral("/etc/cups/cups-pdf.conf"));
    if (conf.open(QIODevice::ReadOnly))
        for (const QByteArray& line : conf.readAll().split('\n'))
            if (line.startsWith("Out "))
                out = QString::fromUtf8(line.mid(4).trimmed());
    const passwd* user = getpwuid(getuid());
    return out.replace(QStringLiteral("${HOME}"), QString::fromLocal8Bit(user ? user->pw_dir : ""));
}

inline QStringList PdfFiles(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, {QStringLiteral("*.pdf")}, QDir::Files);
    while (it.hasNext())
        files << it.next();
    return files;
}

// Presses "Печать" and renders the page that reaches the PDF printer at a low resolution; a null
// picture when the window reported an error or no page came within a minute. The tests that print
// never run at the same time (they hold one lock in the test run), and each waits for its own page.
inline QImage PrintAndRender(WindowFixture& w, int dpi = 20) {
    const QString folder = PdfOutputFolder();
    // The printer reuses file names: a new page is a file written after the click.
    const QDateTime clicked = QDateTime::currentDateTime().addSecs(-1);
    QTest::mouseClick(w.c().BitBtn5, Qt::LeftButton);
    if (!w.errors.isEmpty())
        return {};
    QString printed;
    QElapsedTimer waited;
    waited.start();
    // A page is there once its file is complete: a PDF ends with its end-of-file mark.
    const auto complete = [](const QString& f) {
        QFile file(f);
        if (!file.open(QIODevice::ReadOnly) || file.size() < 5)
            return false;
        file.seek(std::max<qint64>(0, file.size() - 1024));
        return file.readAll().contains("%%EOF");
    };
    while (printed.isEmpty() && waited.elapsed() < 60000) {
        for (const QString& f : PdfFiles(folder))
            if (QFileInfo(f).lastModified() >= clicked && complete(f))
                printed = f;
        if (printed.isEmpty())
            QTest::qWait(50);
    }
    if (printed.isEmpty())
        return {};
    QTemporaryDir pages;
    const QString prefix = pages.filePath(QStringLiteral("page"));
    QProcess::execute(QStringLiteral("pdftoppm"),
                      {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-png"), printed, prefix});
    QFile::remove(printed);
    if (qEnvironmentVariableIsSet("ZRK_KEEP_PAGES"))
        QFile::copy(prefix + QStringLiteral("-1.png"),
                    qEnvironmentVariable("ZRK_KEEP_PAGES") + QStringLiteral("/") +
                        QString::fromLatin1(QTest::currentTestFunction()) + QStringLiteral(".png"));
    return QImage(prefix + QStringLiteral("-1.png"));
}

// Where the printed picture lies on the page: the printable area leaves a thin white margin.
inline QRect PrintedArea(const QImage& page) {
    QRect area;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            if (std::min({c.red(), c.green(), c.blue()}) < 235)
                area |= QRect(x, y, 1, 1);
        }
    return area;
}
