// The run's own folder in the temporary folder, what earlier runs left there, and the save dialog's
// name completion.
#include "RunFolder.h"
#include "PictureDialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Points the temporary folder somewhere else while a test runs.
struct TemporaryFolderAt {
    QByteArray previous = qgetenv("TMPDIR");
    explicit TemporaryFolderAt(const QString& folder) { qputenv("TMPDIR", folder.toLocal8Bit()); }
    ~TemporaryFolderAt() {
        if (previous.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", previous);
    }
};

// A folder laid out as a run leaves it: its owner mark and a file.
QString LeftRunFolder(const QString& temporary, const QString& name, bool marked = true) {
    const QString folder = QDir(temporary).filePath(name);
    QDir().mkpath(folder);
    if (marked) {
        QFile mark(QDir(folder).filePath(QStringLiteral(".owner")));
        mark.open(QIODevice::WriteOnly);
    }
    QFile copy(QDir(folder).filePath(QStringLiteral("zrk.hlp.html")));
    copy.open(QIODevice::WriteOnly);
    copy.write("<html></html>");
    return folder;
}

} // namespace

TEST(RunFolder, IsOneFolderOfThisRunAndHoldsQtsOwnSettings) {
    const QString folder = RunFolder::Path();
    ASSERT_FALSE(folder.isEmpty());
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_TRUE(QFileInfo(folder).fileName().startsWith(QStringLiteral("zrk201-run-")));
    EXPECT_EQ(RunFolder::Path(), folder);

    // Qt's widgets open their settings like this; they land in the run folder, not in the user's
    // configuration.
    RunFolder::KeepQtStateInRun();
    QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
    settings.setValue(QStringLiteral("FileDialog/history"), QStringLiteral("file:///somewhere"));
    settings.sync();
    EXPECT_TRUE(settings.fileName().startsWith(folder + QLatin1Char('/')))
        << settings.fileName().toStdString();
    EXPECT_TRUE(QFileInfo::exists(settings.fileName()));
}

TEST(RunFolder, AFolderLeftByARunThatIsGoneIsRemovedAndOthersStay) {
    QTemporaryDir temporary;
    TemporaryFolderAt redirected(temporary.path());
    const QString gone = LeftRunFolder(temporary.path(), QStringLiteral("zrk201-run-gone01"));
    const QString unmarked = LeftRunFolder(temporary.path(), QStringLiteral("zrk201-run-young1"), false);
    const QString foreign = LeftRunFolder(temporary.path(), QStringLiteral("someone-else"));
    const QString running = LeftRunFolder(temporary.path(), QStringLiteral("zrk201-run-alive1"));
    QDir(temporary.path()).mkpath(QStringLiteral("target"));
    QFile::link(QDir(temporary.path()).filePath(QStringLiteral("target")),
                QDir(temporary.path()).filePath(QStringLiteral("zrk201-run-link01")));

    // Another process holds the lock of a run that is still going.
    QProcess holder;
    // The holder says when it has the lock (a minute only ends a hung start).
    holder.start(QStringLiteral("flock"),
                 {QStringLiteral("--no-fork"), running, QStringLiteral("sh"), QStringLiteral("-c"),
                  QStringLiteral("echo held; exec sleep 600")});
    ASSERT_TRUE(holder.waitForStarted());
    QByteArray said;
    while (!said.contains("held")) {
        ASSERT_TRUE(holder.waitForReadyRead(60000));
        said += holder.readAllStandardOutput();
    }

    RunFolder::RemoveLeftovers();
    EXPECT_FALSE(QFileInfo::exists(gone));
    EXPECT_TRUE(QFileInfo::exists(unmarked)); // still being made
    EXPECT_TRUE(QFileInfo::exists(foreign));
    EXPECT_TRUE(QFileInfo::exists(QDir(running).filePath(QStringLiteral("zrk.hlp.html"))));
    EXPECT_TRUE(QFileInfo(QDir(temporary.path()).filePath(QStringLiteral("zrk201-run-link01"))).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(QDir(temporary.path()).filePath(QStringLiteral("target"))));
    holder.kill();
    holder.waitForFinished();

    // Once its holder is gone, that folder is a leftover too.
    RunFolder::RemoveLeftovers();
    EXPECT_FALSE(QFileInfo::exists(running));
}

TEST(SaveDialog, TheChosenTypesExtensionIsAddedOnlyWhenTheNameLacksIt) {
    TPictureDialog save(TPictureDialogKind::Save);
    save.SetFilter(QStringLiteral("JPEG Image File (*.jpg)|*.jpg|Bitmaps (*.bmp)|*.bmp|All files|*.*"));
    EXPECT_EQ(save.FilterExtension(1), QStringLiteral(".jpg"));
    EXPECT_EQ(save.FilterExtension(2), QStringLiteral(".bmp"));
    EXPECT_EQ(save.FilterExtension(3), QString());
    EXPECT_EQ(save.FilterExtension(4), QString());

    const struct {
        const char* typed;
        int filter;
        const char* written;
    } cases[] = {
        {"/d/scan", 1, "/d/scan.jpg"},         {"/d/scan.jpg", 1, "/d/scan.jpg"},
        {"/d/SCAN.JPG", 1, "/d/SCAN.JPG"},     {"/d/scan.Bmp", 2, "/d/scan.Bmp"},
        {"/d/scan.bmp", 1, "/d/scan.bmp.jpg"}, {"/d/scan.jpeg", 1, "/d/scan.jpeg.jpg"},
        {"/d/page.jpg", 2, "/d/page.jpg.bmp"}, {"/d/photo.x.jpg", 1, "/d/photo.x.jpg"},
        {"/d/anything", 3, "/d/anything"},     {"/d/scanjpg", 1, "/d/scanjpg.jpg"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(save.CompletedName(QString::fromUtf8(c.typed), c.filter), QString::fromUtf8(c.written))
            << c.typed << " under filter " << c.filter;
}
