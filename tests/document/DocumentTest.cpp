// The document's PDF as other programs read it (qpdf, pdfinfo, pdfimages, pdftoppm from poppler), the
// order of the sheets when the program makes the copies, and a save that fills the disk.
#include "Document.h"

#include "Bitmap.h"
#include "Exceptions.h"
#include "TestPictures.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>

#include <sys/resource.h>

using namespace testpictures;

namespace {

// Runs a tool and gives what it printed; the exit code goes to `code`.
QString RunTool(const QString& program, const QStringList& arguments, int* code = nullptr) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.waitForFinished(120000);
    if (code)
        *code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAll());
}

// A page like a scan at 150 dots per inch: soft shading, darker bands like lines of text, and (in
// colour) a hue that changes over the page. Grey pages are 8-bit with the grey table, as the ring keeps
// them, or 24-bit with equal channels, as the working picture is.
TBitmap ScanPage(int width, int height, bool colour, bool eightBit) {
    TBitmap page;
    page.SetSize(width, height);
    if (eightBit) {
        page.SetPixelFormat(TPixelFormat::pf8bit);
        page.SetColorTable(GreyTable());
    }
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = page.ScanLine(y);
        for (int x = 0; x < width; ++x) {
            const double band = 0.5 + 0.5 * std::sin(y * 0.05) * std::sin(x * 0.02);
            const int grey = 60 + int(150 * band) + (x + 2 * y) * 40 / (width + 2 * height);
            if (eightBit) {
                row[x] = std::uint8_t(grey);
            } else if (colour) {
                row[3 * x] = std::uint8_t(grey * x / width);
                row[3 * x + 1] = std::uint8_t(grey);
                row[3 * x + 2] = std::uint8_t(255 - grey * y / height);
            } else {
                row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = std::uint8_t(grey);
            }
        }
    }
    return page;
}

QImage AsRgb(const TBitmap& page) {
    QImage image(page.Width(), page.Height(), QImage::Format_RGB32);
    for (int y = 0; y < page.Height(); ++y)
        for (int x = 0; x < page.Width(); ++x) {
            const TColor c = page.Pixel(x, y);
            image.setPixel(x, y, qRgb(RedOf(c), GreenOf(c), BlueOf(c)));
        }
    return image;
}

double Psnr(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)})
                sum += double(d) * d;
        }
    const double mse = sum / (3.0 * a.width() * a.height());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(Document, SheetsOfCopiesMadeByTheProgram) {
    EXPECT_EQ(document::SheetOrder(3, 2, true), (std::vector<int>{0, 1, 2, 0, 1, 2}));
    EXPECT_EQ(document::SheetOrder(3, 2, false), (std::vector<int>{0, 0, 1, 1, 2, 2}));
    EXPECT_EQ(document::SheetOrder(2, 1, false), (std::vector<int>{0, 1}));
    EXPECT_TRUE(document::SheetOrder(0, 3, true).empty());
    // On both sides, each copy starts on a sheet of its own; an odd page leaves a blank back.
    EXPECT_EQ(document::SheetOrder(3, 2, true, true), (std::vector<int>{0, 1, 2, -1, 0, 1, 2, -1}));
    EXPECT_EQ(document::SheetOrder(3, 2, false, true), (std::vector<int>{0, 1, 0, 1, 2, -1, 2, -1}));
}

// Three pages, grey as the ring keeps it, colour, and grey with 24 bits: one A4 sheet each, grey ones
// with one channel, and each looks like its page.
TEST(Document, PdfOfThreePagesReadsBackAsTheirPages) {
    const TBitmap grey8 = ScanPage(1240, 1754, false, true);
    const TBitmap colour = ScanPage(1240, 1754, true, false);
    const TBitmap grey24 = ScanPage(620, 877, false, false);
    EXPECT_TRUE(document::IsGreyPage(grey8));
    EXPECT_FALSE(document::IsGreyPage(colour));
    EXPECT_TRUE(document::IsGreyPage(grey24));

    QTemporaryDir dir;
    const QString file = dir.filePath("pages.pdf");
    document::SavePdf(file, {&grey8, &colour, &grey24});

    int code = -1;
    const QString check = RunTool("qpdf", {"--check", file}, &code);
    EXPECT_EQ(code, 0) << check.toStdString();
    const QString info = RunTool("pdfinfo", {"-f", "1", "-l", "3", file});
    EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+3\\n"))) << info.toStdString();
    EXPECT_EQ(info.count(QRegularExpression("Page\\s+\\d size:\\s+595 x 842 pts")), 3) << info.toStdString();

    // "page num type width height color comp ..." for each picture, after two lines of heading.
    const QStringList images = RunTool("pdfimages", {"-list", file}).split('\n', Qt::SkipEmptyParts).mid(2);
    ASSERT_EQ(images.size(), 3);
    const char* spaces[] = {"gray", "rgb", "gray"};
    for (int i = 0; i < 3; ++i) {
        const QStringList columns = images[i].simplified().split(' ');
        EXPECT_EQ(columns.value(5), spaces[i]) << images[i].toStdString();
        EXPECT_EQ(columns.value(8), "jpeg") << images[i].toStdString();
    }

    RunTool("pdftoppm", {"-r", "150", file, dir.filePath("sheet")});
    const TBitmap* pages[] = {&grey8, &colour, &grey24};
    for (int i = 0; i < 3; ++i) {
        const QImage sheet =
            QImage(dir.filePath(QString("sheet-%1.ppm").arg(i + 1))).convertToFormat(QImage::Format_RGB32);
        ASSERT_FALSE(sheet.isNull());
        // 595 × 842 points at 150 dots per inch, rounded either way.
        EXPECT_LE(std::abs(sheet.width() - 1240) + std::abs(sheet.height() - 1754), 2);
        const QImage expected =
            AsRgb(*pages[i]).scaled(sheet.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        EXPECT_GE(Psnr(sheet, expected), 35.0) << "page " << i + 1;
    }
}

// The disk fills while the PDF is written: the error names the file, which is as it was, with nothing
// beside it.
TEST(Document, PdfThatFillsTheDiskKeepsTheEarlierFile) {
    const TBitmap page = ScanPage(1240, 1754, true, false);
    QTemporaryDir dir;
    const QString file = dir.filePath("pages.pdf");
    {
        QFile earlier(file);
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
        earlier.write("the good document");
    }
    struct rlimit before {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = before;
    limited.rlim_cur = 200 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    QString message;
    try {
        document::SavePdf(file, {&page, &page});
    } catch (const Exception& e) {
        message = e.Message();
    }
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(message, "Cannot create file " + file);
    EXPECT_EQ(ReadAll(file), "the good document");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"pages.pdf"});

    // With room; a blank back of a sheet is a page without a picture.
    document::SavePdf(file, {&page, nullptr});
    int code = -1;
    RunTool("qpdf", {"--check", file}, &code);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(RunTool("pdfinfo", {file}).contains(QRegularExpression("Pages:\\s+2\\n")));
    EXPECT_EQ(RunTool("pdfimages", {"-list", file}).count(" jpeg "), 1);
}
