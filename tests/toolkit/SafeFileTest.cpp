// Saving through a temporary file: a failure never damages the file that was there.
#include "SafeFile.h"
#include "Bitmap.h"
#include "BmpSupport.h"
#include "Exceptions.h"
#include "JpegImage.h"
#include "TestPictures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <random>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testpictures;
using namespace testsupport;

namespace {

// Passes writes on to another device until `limit` bytes have gone through, then refuses them, as a
// full disk does.
class FailingDevice : public QIODevice {
public:
    FailingDevice(QIODevice* target, qint64 limit) : target_(target), limit_(limit) { open(WriteOnly); }
    qint64 written() const { return written_; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        const qint64 n = std::min(size, limit_ - written_);
        if (n <= 0)
            return -1;
        if (target_ && target_->write(data, n) != n)
            return -1;
        written_ += n;
        return n;
    }

private:
    QIODevice* target_;
    qint64 limit_;
    qint64 written_ = 0;
};

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

TEST(SafeFile, CompleteWriteReplacesTheFileAndLeavesNothingElse) {
    QTemporaryDir dir;
    const QString target = dir.filePath("page.bmp");
    WriteFile(target, "old content");
    SaveFileSafely(target, [](QIODevice& d) { WriteBytes(d, "new", 3); });
    EXPECT_EQ(ReadAll(target), "new");
    EXPECT_EQ(Entries(dir.path()), QStringList{"page.bmp"});
}

TEST(SafeFile, FailureHalfWayKeepsTheEarlierFile) {
    QTemporaryDir dir;
    const QString target = dir.filePath("scan.jpg");
    WriteFile(target, "the good picture");
    try {
        SaveFileSafely(target, [](QIODevice& d) {
            WriteBytes(d, "half of the new", 15);
            throw EWriteError();
        });
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message(), "Cannot create file " + target);
    }
    EXPECT_EQ(ReadAll(target), "the good picture");
    EXPECT_EQ(Entries(dir.path()), QStringList{"scan.jpg"});

    // Errors of another kind pass through unchanged, also without touching the file.
    EXPECT_THROW(SaveFileSafely(target,
                                [](QIODevice& d) {
                                    WriteBytes(d, "x", 1);
                                    throw EJPEG(42);
                                }),
                 EJPEG);
    EXPECT_EQ(ReadAll(target), "the good picture");
    EXPECT_EQ(Entries(dir.path()), QStringList{"scan.jpg"});
}

TEST(SafeFile, DeviceRefusingBytesMidWayThroughABitmap) {
    const TBitmap picture = ColourPicture(249, 393);
    FailingDevice alone(nullptr, 5000);
    EXPECT_THROW(picture.SaveToStream(alone), EWriteError);
    EXPECT_EQ(alone.written(), 5000);

    QTemporaryDir dir;
    const QString target = dir.filePath("scan.bmp");
    const QByteArray earlier = SaveToBytes(ColourPicture(3, 3));
    WriteFile(target, earlier);
    EXPECT_THROW(SaveFileSafely(target,
                                [&](QIODevice& file) {
                                    FailingDevice disk(&file, 100000);
                                    picture.SaveToStream(disk);
                                }),
                 EFCreateError);
    EXPECT_EQ(ReadAll(target), earlier);
    EXPECT_EQ(Entries(dir.path()), QStringList{"scan.bmp"});

    // A JPEG refused half-way, whether compressed before or while it is written.
    TJPEGImage jpeg;
    jpeg.Assign(&picture);
    FailingDevice refusing(nullptr, 100);
    EXPECT_THROW(jpeg.SaveToStream(refusing), EWriteError);
    jpeg.Compress();
    FailingDevice small(nullptr, 100);
    EXPECT_THROW(jpeg.SaveToStream(small), EWriteError);
}

// The replaced file is let go of without being opened for reading: a named pipe in its place does not
// make the save wait for a writer.
TEST(SafeFile, ANamedPipeInThePlaceOfTheFileIsReplacedWithoutWaiting) {
    QTemporaryDir dir;
    const QString target = dir.filePath("scan.bmp");
    ASSERT_EQ(::mkfifo(QFile::encodeName(target).constData(), 0600), 0);
    SaveFileSafely(target, [](QIODevice& d) { WriteBytes(d, "new", 3); });
    EXPECT_TRUE(QFileInfo(target).isFile());
    EXPECT_EQ(ReadAll(target), "new");
}

TEST(SafeFile, WriteBehindWritesEveryPieceInOrderAfterWhatWasThere) {
    QTemporaryDir dir;
    const QByteArray name = QFile::encodeName(dir.filePath("pieces"));
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "head", 4), 4);
    QByteArray expected = "head";
    std::mt19937 random(7);
    {
        TWriteBehind writer(fd);
        for (int i = 0; i < 300; ++i) {
            QByteArray piece(int(random() % 70000), Qt::Uninitialized);
            for (char& c : piece)
                c = char(random());
            expected += piece;
            ASSERT_TRUE(writer.Write(piece.constData(), std::size_t(piece.size())));
        }
        EXPECT_TRUE(writer.Finish());
    }
    ::close(fd);
    EXPECT_EQ(ReadAll(dir.filePath("pieces")), expected);
}

TEST(SafeFile, WriteBehindReportsADiskThatTakesNoMore) {
    const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    TWriteBehind writer(fd);
    const std::vector<char> piece(100000, 'x');
    // The writes fail on the writer's thread; the pieces handed over after that are refused at once.
    bool refused = false;
    for (int i = 0; i < 1000 && !refused; ++i)
        refused = !writer.Write(piece.data(), piece.size());
    EXPECT_FALSE(writer.Finish());
    ::close(fd);
}

// A file that may grow no further than a limit stands for a disk that fills up as a JPEG is written
// while it is compressed: the save fails in the program's words and the earlier file stays.
TEST(SafeFile, AJpegThatFillsTheDiskKeepsTheEarlierFile) {
    std::mt19937 random(3);
    const TBitmap picture = RandomBitmap(900, 700, random);
    TJPEGImage jpeg;
    jpeg.SetCompressionQuality(100);
    jpeg.Assign(&picture);

    QTemporaryDir dir;
    const QString target = dir.filePath("scan.jpg");
    const QByteArray earlier = "the good picture";
    WriteFile(target, earlier);

    struct rlimit before {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = before;
    limited.rlim_cur = 600 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    bool failed = false;
    try {
        jpeg.SaveToFile(target);
    } catch (const EFCreateError& e) {
        failed = e.Message() == "Cannot create file " + target;
    }
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_TRUE(failed);
    EXPECT_EQ(ReadAll(target), earlier);
    EXPECT_EQ(Entries(dir.path()), QStringList{"scan.jpg"});

    // With room, the file is the very stream Compress makes.
    jpeg.SaveToFile(target);
    jpeg.Compress();
    EXPECT_GT(jpeg.Data().size(), 1000000); // many pieces of the encoder's output
    EXPECT_EQ(ReadAll(target), jpeg.Data());
}

TEST(SafeFile, MissingOrVanishingFolder) {
    QTemporaryDir dir;
    const QString nowhere = dir.filePath("gone/picture.bmp");
    try {
        ColourPicture(2, 2).SaveToFile(nowhere);
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message(), "Cannot create file " + nowhere);
    }
    EXPECT_FALSE(QFile::exists(nowhere));

    // The folder disappears while the file is being written.
    const QString folder = dir.filePath("sub");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString target = folder + "/picture.bmp";
    EXPECT_THROW(SaveFileSafely(target,
                                [&](QIODevice& d) {
                                    WriteBytes(d, "abc", 3);
                                    QDir(folder).removeRecursively();
                                    WriteBytes(d, "def", 3);
                                }),
                 EFCreateError);
    EXPECT_FALSE(QFile::exists(target));
}

TEST(SafeFile, TheNewFileKeepsTheModeAndTheLinkOfTheOld) {
    QTemporaryDir dir;
    // A new file gets the mode every new file gets here (the umask applied to 0666).
    const QString fresh = dir.filePath("fresh.bmp");
    QFile probe(dir.filePath("probe"));
    ASSERT_TRUE(probe.open(QIODevice::WriteOnly));
    probe.close();
    SaveFileSafely(fresh, [](QIODevice& d) { WriteBytes(d, "x", 1); });
    EXPECT_EQ(QFile(fresh).permissions(), QFile(probe.fileName()).permissions());

    // A file that was there keeps its mode.
    const QString kept = dir.filePath("kept.bmp");
    WriteFile(kept, "old");
    ASSERT_TRUE(QFile(kept).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    SaveFileSafely(kept, [](QIODevice& d) { WriteBytes(d, "new", 3); });
    EXPECT_EQ(QFile(kept).permissions() & 0x7077,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner); // owner, group, others
    EXPECT_EQ(ReadAll(kept), "new");

    // Saving through a link replaces the file it names; the link stays a link.
    const QString link = dir.filePath("link.bmp");
    ASSERT_TRUE(QFile::link(kept, link));
    SaveFileSafely(link, [](QIODevice& d) { WriteBytes(d, "newer", 5); });
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadAll(kept), "newer");
    EXPECT_EQ(Entries(dir.path()), (QStringList{"fresh.bmp", "kept.bmp", "link.bmp", "probe"}));
}
