// Opening files that are broken or made to hurt: the program says what is wrong in its own words and
// keeps the picture it had.
#include "WindowFixture.h"

#include "Bitmap.h"
#include "JpegImage.h"
#include "Picture.h"
#include "PictureDialogs.h"
#include "TestMain.h"

#include <QTemporaryDir>
#include <QtTest>

#include <jpeglib.h>
// jerror.h after jpeglib.h: the library's message codes.
#include <jerror.h>

namespace {

// Answers the next open dialog with this name and filter index.
struct OpenAnswer {
    OpenAnswer(const QString& name, int filter) {
        TPictureDialog::SetHook([name, filter](TPictureDialog& dialog) {
            dialog.SetFileName(name);
            dialog.SetFilterIndex(filter);
            return true;
        });
    }
    ~OpenAnswer() { TPictureDialog::SetHook({}); }
};

void WriteFile(const QString& name, const QByteArray& bytes) {
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class HostileOpenTest : public QObject {
    Q_OBJECT

private slots:
    void aJpegCutOffInItsImageDataIsRefusedAndThePictureStays() {
        QTemporaryDir dir;
        WindowFixture w;
        auto& c = w.c();
        // A JPEG of the current picture, cut off half way through its image data.
        TJPEGImage jpeg;
        jpeg.SetCompressionQuality(90);
        jpeg.Assign(c.OrImage1->PictureResult()->Bitmap());
        jpeg.Compress();
        const QByteArray whole = jpeg.Data();
        const int scan = whole.indexOf(QByteArray::fromHex("FFDA"));
        QVERIFY(scan > 0);
        WriteFile(dir.filePath("cut.jpg"), whole.left((scan + int(whole.size())) / 2));

        const TBitmap before = *c.OrImage1->PictureResult()->Bitmap();
        {
            OpenAnswer answer(dir.filePath("cut.jpg"), 1);
            QTest::mouseClick(c.BitBtn7, Qt::LeftButton);
        }
        QCOMPARE(w.errors, QStringList{QStringLiteral("JPEG error #%1.").arg(JWRN_HIT_MARKER)});
        const TBitmap* after = c.OrImage1->PictureResult()->Bitmap();
        QVERIFY(after != nullptr);
        QCOMPARE(after->Width(), before.Width());
        QCOMPARE(after->Height(), before.Height());
        for (int y = 0; y < before.Height(); y += 7)
            QCOMPARE(after->Pixel(before.Width() / 2, y), before.Pixel(before.Width() / 2, y));
    }

    void tinyFilesClaimingHugePicturesAreRefusedAtOnce() {
        QTemporaryDir dir;
        WindowFixture w;
        auto& c = w.c();
        TJPEGImage jpeg;
        jpeg.Assign(c.OrImage1->PictureResult()->Bitmap());
        jpeg.Compress();
        QByteArray huge = jpeg.Data();
        const int sof = huge.indexOf(QByteArray::fromHex("FFC0"));
        huge[sof + 5] = char(14142 >> 8), huge[sof + 6] = char(14142 & 0xFF);
        huge[sof + 7] = char(14142 >> 8), huge[sof + 8] = char(14142 & 0xFF);
        WriteFile(dir.filePath("huge.jpg"), huge);
        // 30000 x 30000 in RLE8, drawn by nothing but ends of line.
        QByteArray rle;
        for (int i = 0; i < 28000; ++i)
            rle += QByteArray(2, '\0');
        rle += QByteArray::fromHex("0001");
        QByteArray bmp = QByteArray::fromHex("424D") + QByteArray(12, '\0');
        QByteArray info(40, '\0');
        auto put = [](QByteArray& d, int at, quint32 v) {
            for (int i = 0; i < 4; ++i)
                d[at + i] = char(v >> (8 * i));
        };
        put(info, 0, 40), put(info, 4, 30000), put(info, 8, 30000), put(info, 12, 1 | (8 << 16)),
            put(info, 16, 1);
        bmp += info + QByteArray(1024, '\0') + rle;
        put(bmp, 10, 14 + 40 + 1024);
        WriteFile(dir.filePath("huge.bmp"), bmp);

        {
            OpenAnswer answer(dir.filePath("huge.jpg"), 1);
            QTest::mouseClick(c.BitBtn7, Qt::LeftButton);
        }
        {
            OpenAnswer answer(dir.filePath("huge.bmp"), 3);
            QTest::mouseClick(c.BitBtn7, Qt::LeftButton);
        }
        QCOMPARE(w.errors, (QStringList{QStringLiteral("JPEG error #%1.").arg(JWRN_JPEG_EOF),
                                        QStringLiteral("Bitmap image is not valid.")}));
        QCOMPARE(c.OrImage1->PictureResult()->Width(), 249);
    }
};

static RegisterWindowTest<HostileOpenTest> registered;
#include "hostile_open_test.moc"
