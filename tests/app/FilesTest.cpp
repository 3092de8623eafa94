// Opening and saving through the window's dialogs (answered by the test), and the busy animation.
#include "WindowFixture.h"

#include "Animate.h"
#include "Bitmap.h"
#include "JpegImage.h"
#include "ModalScript.h"
#include "Picture.h"
#include "PictureDialogs.h"
#include "RowParts.h"
#include "TestMain.h"
#include "TestPictures.h"
#include "TwainManager.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace {

// Answers the next dialogs with these names and filter indexes; records what each dialog offered.
struct DialogAnswers {
    struct Answer {
        QString name;
        int filter;
        bool confirm = true;
    };
    QList<Answer> answers;
    QList<QPair<QString, int>> offered;
    DialogAnswers() {
        TPictureDialog::SetHook([this](TPictureDialog& dialog) {
            offered.append({dialog.FileName(), dialog.FilterIndex()});
            const Answer a = answers.takeFirst();
            if (!a.confirm)
                return false;
            dialog.SetFileName(a.name);
            dialog.SetFilterIndex(a.filter);
            return true;
        });
    }
    ~DialogAnswers() { TPictureDialog::SetHook({}); }
};

// Runs a test in a fresh current folder and restores the old one.
struct InFolder {
    QTemporaryDir dir;
    QString previous = QDir::currentPath();
    InFolder() { QDir::setCurrent(dir.path()); }
    ~InFolder() { QDir::setCurrent(previous); }
    QString operator()(const QString& name) const { return dir.filePath(name); }
};

void Save(WindowFixture& w, DialogAnswers& answers, const QString& name, int filter) {
    answers.answers.append({name, filter});
    QTest::mouseClick(w.c().BitBtn6, Qt::LeftButton);
}

void Open(WindowFixture& w, DialogAnswers& answers, const QString& name, int filter) {
    answers.answers.append({name, filter});
    QTest::mouseClick(w.c().BitBtn7, Qt::LeftButton);
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Every file of a folder with a checksum of its contents.
std::map<QString, QByteArray> Checksums(const QString& folder) {
    std::map<QString, QByteArray> sums;
    for (const QFileInfo& f : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden)) {
        QFile file(f.absoluteFilePath());
        if (file.open(QIODevice::ReadOnly))
            sums[f.fileName()] = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
    }
    return sums;
}

// Runs the window's "Сохранить" through the real dialog, answered by the script, until the dialog is
// done.
void SaveThroughTheDialog(WindowFixture& w, ModalScript& script) {
    QTest::mouseClick(w.c().BitBtn6, Qt::LeftButton);
    QVERIFY(script.Done());
}

// How many distinct frames of the busy animation have been painted, for threads that wait for them.
struct FramesSeen {
    std::mutex lock;
    std::condition_variable changed;
    std::set<int> frames;
};
FramesSeen g_framesSeen;

// Every thread of a rebuild starts only once the animation has painted three frames (a minute only
// ends a hung case), so that a rebuild lasts several frames of the animation.
std::thread StartLate(std::function<void()> body) {
    return std::thread([body = std::move(body)] {
        {
            std::unique_lock held(g_framesSeen.lock);
            g_framesSeen.changed.wait_for(held, std::chrono::minutes(1),
                                          [] { return g_framesSeen.frames.size() >= 3; });
        }
        body();
    });
}

// The frames of an animation control as they are painted.
struct PaintedFrames : QObject {
    TAnimate& animation;
    std::vector<int> frames;
    explicit PaintedFrames(TAnimate& a) : animation(a) {
        const std::lock_guard held(g_framesSeen.lock);
        g_framesSeen.frames.clear();
        animation.installEventFilter(this);
    }
    ~PaintedFrames() override { animation.removeEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            frames.push_back(animation.CurrentFrame());
            {
                const std::lock_guard held(g_framesSeen.lock);
                g_framesSeen.frames.insert(animation.CurrentFrame());
            }
            g_framesSeen.changed.notify_all();
        }
        return false;
    }
};

} // namespace

class FilesTest : public QObject {
    Q_OBJECT

private slots:
    void saveAppendsTheExtensionOfTheChosenTypeOnlyWhenTheNameLacksIt() {
        InFolder folder;
        WindowFixture w;
        DialogAnswers answers;
        Save(w, answers, folder("scan"), 1);
        QVERIFY(QFile::exists(folder("scan.jpg")));
        Save(w, answers, folder("scan.jpg"), 1);
        Save(w, answers, folder("copy.JPG"), 1);
        Save(w, answers, folder("page.bmp"), 1);
        Save(w, answers, folder("page"), 2);
        QCOMPARE(QDir(folder.dir.path()).entryList(QDir::Files),
                 (QStringList{QStringLiteral("copy.JPG"), QStringLiteral("page.bmp"),
                              QStringLiteral("page.bmp.jpg"), QStringLiteral("scan.jpg")}));
        QFile written(folder("page.bmp.jpg"));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(written.read(2) == QByteArray("\xFF\xD8")); // a JPEG, whatever the name says
        QFile bitmap(folder("page.bmp"));
        QVERIFY(bitmap.open(QIODevice::ReadOnly));
        QVERIFY(bitmap.read(2) == QByteArray("BM"));
        // Each use offers the filter and the name confirmed last.
        QCOMPARE(answers.offered.value(1), qMakePair(folder("scan.jpg"), 1));
        QCOMPARE(answers.offered.value(4), qMakePair(folder("page.bmp.jpg"), 1));
        QCOMPARE(w.errors, QStringList());
    }

    // Through Qt's file dialog: the questions name the file that is written, and nothing else in the
    // folder changes.
    void typingANameWhoseFileExistsAsksToReplaceThatFile() {
        InFolder folder;
        WriteFile(folder("page.bmp"), "an older page");
        WriteFile(folder("scan.jpg"), "an older scan");
        WriteFile(folder("page"), "not a picture at all");
        const auto before = Checksums(folder.dir.path());
        WindowFixture w;
        QStringList questions;

        // "No" goes back to the dialog; cancelling it then leaves everything as it was.
        ModalScript refused;
        refused.TypeInFileDialog(folder("page"), 2).Answer(QMessageBox::No, &questions).CancelFileDialog();
        SaveThroughTheDialog(w, refused);
        QCOMPARE(questions,
                 QStringList{QStringLiteral("page.bmp already exists.\nDo you want to replace it?")});
        QVERIFY(Checksums(folder.dir.path()) == before);

        ModalScript replaced;
        replaced.TypeInFileDialog(folder("page"), 2).Answer(QMessageBox::Yes, &questions);
        SaveThroughTheDialog(w, replaced);
        auto after = Checksums(folder.dir.path());
        QCOMPARE(QFileInfo(folder("page.bmp")).size(), qint64(14 + 40 + 393 * 748));
        QVERIFY(after.at(QStringLiteral("page")) == before.at(QStringLiteral("page")));
        QVERIFY(after.at(QStringLiteral("scan.jpg")) == before.at(QStringLiteral("scan.jpg")));
        QCOMPARE(after.size(), before.size());
        QCOMPARE(w.errors, QStringList());
    }

    void choosingAnExistingFileReplacesThatFileAndNoOther() {
        InFolder folder;
        WriteFile(folder("scan.jpg"), "an older scan");
        WriteFile(folder("scan.jpg.jpg"), "a file that must stay");
        WriteFile(folder("other.bmp"), "another file");
        const auto before = Checksums(folder.dir.path());
        WindowFixture w;
        QStringList questions;
        ModalScript script;
        script.TypeInFileDialog(folder("scan.jpg"), 1).Answer(QMessageBox::Yes, &questions);
        SaveThroughTheDialog(w, script);
        QCOMPARE(questions,
                 QStringList{QStringLiteral("scan.jpg already exists.\nDo you want to replace it?")});
        const auto after = Checksums(folder.dir.path());
        QCOMPARE(after.size(), before.size());
        QVERIFY(after.at(QStringLiteral("scan.jpg.jpg")) == before.at(QStringLiteral("scan.jpg.jpg")));
        QVERIFY(after.at(QStringLiteral("other.bmp")) == before.at(QStringLiteral("other.bmp")));
        TJPEGImage written;
        written.LoadFromFile(folder("scan.jpg"));
        QCOMPARE(written.Width(), 249);

        // A new name is asked about with the extension it will be written with.
        ModalScript created;
        created.TypeInFileDialog(folder("fresh"), 1).Answer(QMessageBox::Yes, &questions);
        SaveThroughTheDialog(w, created);
        QCOMPARE(questions.value(1),
                 QStringLiteral("fresh.jpg\nThis file does not exist.\nDo you want to create it?"));
        QVERIFY(QFile::exists(folder("fresh.jpg")));
        QVERIFY(!QFile::exists(folder("fresh")));
        QCOMPARE(w.errors, QStringList());
    }

    void theFileDialogsCannotBeResized() {
        InFolder folder;
        WindowFixture w;
        for (QPushButton* button : {w.c().BitBtn7, w.c().BitBtn6}) {
            QSize minimum, maximum;
            ModalScript script;
            script.CancelFileDialog(nullptr, &minimum, &maximum);
            QTest::mouseClick(button, Qt::LeftButton);
            QVERIFY(script.Done());
            QVERIFY(minimum.width() > 300);
            QCOMPARE(minimum, maximum);
        }
    }

    void theSampleSavedAsBmpRightAfterStartHasTheExactSize() {
        InFolder folder;
        WindowFixture w;
        DialogAnswers answers;
        Save(w, answers, folder("sample"), 2);
        QCOMPARE(QFileInfo(folder("sample.bmp")).size(), qint64(14 + 40 + 393 * 748));
    }

    void aSavedBlackAndWhitePageIsAThreeComponentJpegThatOpensAgain() {
        InFolder folder;
        WindowFixture w;
        DialogAnswers answers;
        auto& c = w.c();
        c.ComboBox2->setCurrentIndex(0);
        emit c.ComboBox2->activated(0); // black-and-white
        Save(w, answers, folder("page"), 1);
        TJPEGImage jpeg;
        jpeg.LoadFromFile(folder("page.jpg"));
        QVERIFY(!jpeg.Grayscale());
        QCOMPARE(jpeg.Width(), 249);

        c.ComboBox2->setCurrentIndex(1);
        emit c.ComboBox2->activated(1); // colour again: the opened page is grey all the same
        Open(w, answers, folder("page.jpg"), 2);
        QCOMPARE(w.errors, QStringList());
        const TBitmap* original = c.OrImage1->PictureOriginal()->Bitmap();
        QVERIFY(original != nullptr);
        const TColor p = original->Pixel(10, 10);
        QVERIFY(qAbs(int(RedOf(p)) - int(BlueOf(p))) <= 2);
        QCOMPARE(c.Image1->Picture()->Width(), 249);
    }

    void openingTheWrongKindOfFileSaysSoAndKeepsThePicture() {
        InFolder folder;
        WindowFixture w;
        DialogAnswers answers;
        auto& c = w.c();
        Save(w, answers, folder("a"), 2); // a.bmp
        Save(w, answers, folder("b"), 1); // b.jpg
        const TBitmap before = *c.OrImage1->PictureResult()->Bitmap();

        Open(w, answers, folder("a.bmp"), 1);
        Open(w, answers, folder("b.jpg"), 3);
        Open(w, answers, folder("missing.jpg"), 1);
        QCOMPARE(w.errors,
                 (QStringList{QStringLiteral("JPEG error #53."), QStringLiteral("Bitmap image is not valid."),
                              QStringLiteral("Cannot open file %1.").arg(folder("missing.jpg"))}));
        QVERIFY(c.OrImage1->PictureOriginal()->Bitmap() != nullptr);
        QVERIFY(c.OrImage1->PictureResult()->Bitmap()->SharesPixelsWith(before) ||
                c.OrImage1->PictureResult()->Bitmap()->Pixel(5, 5) == before.Pixel(5, 5));
    }

    void cancellingChangesNothing() {
        InFolder folder;
        WindowFixture w;
        DialogAnswers answers;
        auto& c = w.c();
        c.Image1->Picture()->Assign(static_cast<const TGraphic*>(nullptr)); // as after browsing an empty slot
        answers.answers.append({QString(), 0, false});
        QTest::mouseClick(c.BitBtn7, Qt::LeftButton);
        QVERIFY(c.Image1->Picture()->Graphic() == nullptr); // the view is not refreshed
        answers.answers.append({QString(), 0, false});
        QTest::mouseClick(c.BitBtn6, Qt::LeftButton);
        QVERIFY(QDir(folder.dir.path()).isEmpty());
        QCOMPARE(w.errors, QStringList());
    }

    void aFileThatCannotBeCreatedIsReportedAndNothingIsWritten() {
        InFolder folder;
        WindowFixture w;
        DialogAnswers answers;
        const QString name = folder("no/such/folder/scan");
        Save(w, answers, name, 1);
        QCOMPARE(w.errors, QStringList{QStringLiteral("Cannot create file %1.jpg.").arg(name)});
    }

    void theBusyAnimationPlaysOnlyDuringATrackBarChange() {
        InFolder folder;
        QVERIFY(QFile::copy(QStringLiteral(ZRK_SOURCE_DIR "/resources/p_bar.avi"), folder("p_bar.avi")));
        WindowFixture w;
        auto& c = w.c();
        QTest::keyClick(c.TrackBar1, Qt::Key_Right);
        QCOMPARE(c.OrImage1->PicBrightness(), 25);
        QVERIFY(!c.Animate1->isVisible());
        QVERIFY(!c.Animate1->Active());
        QCOMPARE(w.errors, QStringList());
    }

    void theAnimationMovesWhileALongRebuildHoldsUpTheWindow() {
        InFolder folder;
        QVERIFY(QFile::copy(QStringLiteral(ZRK_SOURCE_DIR "/resources/p_bar.avi"), folder("p_bar.avi")));
        WindowFixture w;
        auto& c = w.c();
        // A page large enough for its rebuild to be shared between threads.
        TBitmap page = testpictures::ColourPicture(1200, 900);
        bool cancel = false;
        w.form->Twain1TwainAcquire(&w.form->Twain1(), 0, &page, cancel);
        QCoreApplication::processEvents();

        const TThreadStarter previous = SetThreadStarter(&StartLate);
        PaintedFrames painted(*c.Animate1);
        bool posted = false;
        QTimer::singleShot(0, [&] { posted = true; });
        c.TrackBar1->SetPosition(11); // the change handler runs at once, a rebuild of several frames
        SetThreadStarter(previous);

        QCOMPARE(c.OrImage1->PicBrightness(), 25);
        const std::set<int> distinct(painted.frames.begin(), painted.frames.end());
        QVERIFY2(distinct.size() >= 3, qPrintable(QStringLiteral("%1 frames painted").arg(distinct.size())));
        // Each paint shows another frame (in turn, at the file's rate, as the clock gives them).
        QVERIFY(std::adjacent_find(painted.frames.begin(), painted.frames.end()) == painted.frames.end());
        // Nothing else ran meanwhile: the event posted before the change is handled only afterwards.
        QVERIFY(!posted);
        QCoreApplication::processEvents();
        QVERIFY(posted);
        QVERIFY(!c.Animate1->isVisible());
        QCOMPARE(w.errors, QStringList());
    }

    void anAnimationFileThatDoesNotPlayStopsEveryTrackBarChange() {
        InFolder folder;
        QFile broken(folder("p_bar.avi"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("RIFF....AVI not really");
        broken.close();
        WindowFixture w;
        auto& c = w.c();
        QTest::keyClick(c.TrackBar1, Qt::Key_Right);
        QTest::keyClick(c.TrackBar1, Qt::Key_Right);
        QCOMPARE(c.OrImage1->PicBrightness(), 0);
        QCOMPARE(c.Label5->text(), QStringLiteral("0"));
        QVERIFY(c.Animate1->isVisible());
        QCOMPARE(w.errors.count(QStringLiteral("Cannot open AVI.")), 4); // key press and release, twice
    }
};

static RegisterWindowTest<FilesTest> registered;
#include "FilesTest.moc"
