// "Сохранить" onto devices that are slow or fail (the tests' own file system), and of an empty picture.
#include "WindowFixture.h"

#include "Animate.h"
#include "Bitmap.h"
#include "FaultyMount.h"
#include "Picture.h"
#include "PictureDialogs.h"
#include "TestMain.h"
#include "TestPictures.h"
#include "TwainManager.h"

#include <QTemporaryDir>
#include <QtTest>

#include <set>

namespace {

// Answers the next save dialog with a name and the filter index.
struct SaveAnswer {
    SaveAnswer(const QString& name, int filter) {
        TPictureDialog::SetHook([name, filter](TPictureDialog& dialog) {
            dialog.SetFileName(name);
            dialog.SetFilterIndex(filter);
            return true;
        });
    }
    ~SaveAnswer() { TPictureDialog::SetHook({}); }
};

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class SaveDeviceTest : public QObject {
    Q_OBJECT

private slots:
    void anEmptyPictureIsRefusedAndNothingIsWritten() {
        QTemporaryDir dir;
        WindowFixture w;
        w.c().OrImage1->PictureResult()->Assign(static_cast<const TGraphic*>(nullptr));
        for (int filter : {1, 2}) {
            const SaveAnswer answer(dir.filePath("page"), filter);
            QTest::mouseClick(w.c().BitBtn6, Qt::LeftButton);
        }
        QCOMPARE(w.errors, QStringList(2, QStringLiteral("Нечего сохранять: изображение пустое.")));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void aDeviceThatFailsIsReportedAndTheOldFileStays() {
        if (!TFaultyMount::Possible())
            QSKIP("no /dev/fuse here");
        WindowFixture w;
        for (const char* step : {"write", "fsync", "close"}) {
            const TFaultyMount mount(ZRK_FAULTY_FS, {QString("--fail=") + step, "--errno=ENOSPC"});
            QVERIFY(mount.Mounted());
            WriteFile(mount.Backing() + "/page.jpg", "the good page");
            const SaveAnswer answer(mount.MountPoint() + "/page", 1);
            QTest::mouseClick(w.c().BitBtn6, Qt::LeftButton);
            QCOMPARE(w.errors,
                     QStringList{QStringLiteral("Cannot create file %1/page.jpg.").arg(mount.MountPoint())});
            w.errors.clear();
            QCOMPARE(ReadAll(mount.Backing() + "/page.jpg"), QByteArray("the good page"));
            QCOMPARE(QDir(mount.Backing()).entryList(QDir::Files | QDir::Hidden), QStringList{"page.jpg"});
        }
    }

    // A 600-dpi page onto a stick that writes 1 MB a second: the save takes seconds, and all the while
    // the window's timers run and the busy animation plays; asked to close meanwhile, the window closes
    // once the save has ended.
    void aSlowDeviceNeverHoldsUpTheWindow() {
        if (!TFaultyMount::Possible())
            QSKIP("no /dev/fuse here");
        QTemporaryDir folder;
        const QString previous = QDir::currentPath();
        QDir::setCurrent(folder.path());
        QVERIFY(QFile::copy(QStringLiteral(ZRK_SOURCE_DIR "/resources/p_bar.avi"), "p_bar.avi"));
        {
            WindowFixture w;
            TBitmap page = testpictures::Coordinates(4960, 7016);
            bool cancel = false;
            w.form->Twain1TwainAcquire(&w.form->Twain1(), 0, &page, cancel);

            const TFaultyMount mount(ZRK_FAULTY_FS, {"--rate=1000000"});
            QVERIFY(mount.Mounted());
            int ticks = 0;
            QTimer timer(w.form.get());
            QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
            timer.start(50);
            std::set<int> frames;
            bool openWhileSaving = false;
            QObject::connect(&timer, &QTimer::timeout, [&] {
                if (w.c().Animate1->isVisible())
                    frames.insert(w.c().Animate1->CurrentFrame());
                // Closing the window waits for the save.
                if (ticks == 10)
                    w.form->close();
                if (ticks == 20)
                    openWhileSaving = w.form->isVisible();
            });
            const SaveAnswer answer(mount.MountPoint() + "/page", 1);
            QTest::mouseClick(w.c().BitBtn6, Qt::LeftButton);
            timer.stop();
            QCOMPARE(w.errors, QStringList());
            const qint64 size = QFileInfo(mount.Backing() + "/page.jpg").size();
            qInfo("%lld bytes saved at 1 MB/s, %d ticks of 50 ms, %zu frames", size, ticks, frames.size());
            // At least two seconds of writing, forty ticks' worth; a window held up would count none.
            QVERIFY2(size > 2000000, qPrintable(QString::number(size)));
            QVERIFY2(ticks >= 20, qPrintable(QStringLiteral("%1 ticks for %2 bytes").arg(ticks).arg(size)));
            QVERIFY2(frames.size() >= 3, qPrintable(QStringLiteral("%1 frames").arg(frames.size())));
            QVERIFY(!w.c().Animate1->isVisible());
            QVERIFY(openWhileSaving);
            QTRY_VERIFY_WITH_TIMEOUT(!w.form->isVisible(), 60000);
        }
        QDir::setCurrent(previous);
    }
};

static RegisterWindowTest<SaveDeviceTest> registered;

#include "SaveDeviceTest.moc"
