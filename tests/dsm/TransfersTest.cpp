// The transfers' own refusals (a memory buffer too small for a row, a file that cannot be written), after
// which the image stays at hand for another try, and the file written through a link.
#include "DsmFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstring>

TEST_F(DsmTest, MemoryTransferRefusesBuffersSmallerThanARow) {
    TW_IDENTITY source{};
    ASSERT_EQ(ScanHeadless(source, SmallGreyScan()), MSG_XFERREADY);
    std::vector<std::uint8_t> buffer(40);
    TW_IMAGEMEMXFER xfer{};
    xfer.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
    xfer.Memory.Length = TW_UINT32(buffer.size()); // a row is 72 bytes
    xfer.Memory.TheMem = buffer.data();
    EXPECT_EQ(Call(&source, DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer), TWRC_FAILURE);
    EXPECT_EQ(Condition(&source), TWCC_BADVALUE);
    // The image is still there, whole.
    EXPECT_EQ(Transfer(source, TMechanism::memory).height, 56);
}

TEST_F(DsmTest, FileTransferIntoAFolderThatDoesNotExistFails) {
    TW_IDENTITY source{};
    ASSERT_EQ(ScanHeadless(source, SmallGreyScan()), MSG_XFERREADY);
    TW_SETUPFILEXFER setup{};
    std::strcpy(setup.FileName, "/nonexistent-folder/scan.bmp");
    setup.Format = TWFF_BMP;
    ASSERT_EQ(Call(&source, DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
    EXPECT_EQ(Call(&source, DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(Condition(&source), TWCC_FILEWRITEERROR);
    setup.Format = TWFF_TIFF;
    EXPECT_EQ(Call(&source, DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_FAILURE) << "BMP only";
    TW_SETUPFILEXFER current{};
    ASSERT_EQ(Call(&source, DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, &current), TWRC_SUCCESS);
    EXPECT_STREQ(current.FileName, "/nonexistent-folder/scan.bmp");
    EXPECT_EQ(+current.Format, TWFF_BMP);
}

// The file named through a link is the one written, as every save of the program does: the link stays
// a link, and nothing else is left in the folder.
TEST_F(DsmTest, FileTransferThroughALinkWritesTheFileItNames) {
    TW_IDENTITY source{};
    ASSERT_EQ(ScanHeadless(source, SmallGreyScan()), MSG_XFERREADY);
    QTemporaryDir dir;
    const QString real = dir.filePath("real.bmp");
    const QString link = dir.filePath("link.bmp");
    QFile old(real);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    ASSERT_TRUE(QFile::link(real, link));
    TW_SETUPFILEXFER setup{};
    std::strcpy(setup.FileName, QFile::encodeName(link).constData());
    setup.Format = TWFF_BMP;
    ASSERT_EQ(Call(&source, DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
    ASSERT_EQ(Call(&source, DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    QFile written(real);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().startsWith("BM"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              (QStringList{"link.bmp", "real.bmp"}));
}
