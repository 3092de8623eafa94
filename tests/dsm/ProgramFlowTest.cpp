// The program's TWAIN component against this source manager, the way the main window uses it: choose
// the first source, open and enable it, scan from its dialog, and inside the image handler take the
// picture, then disable and close the source. Twice, since the second page follows the first.
#include "DsmFixture.h"

#include "Bitmap.h"
#include "Folders.h"
#include "TwainManager.h"

#include <QApplication>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSpinBox>

#include <memory>

namespace {

class TBuildFolders : public TSystemFolders {
public:
    std::string Path(TSystemFolder folder) const override {
        return folder == TSystemFolder(0) ? std::string(ZRK_DSM_DIR) : std::string();
    }
};

QWidget* VisibleScanDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("scanDialog") && widget->isVisible())
            return widget;
    return nullptr;
}

} // namespace

TEST_F(DsmTest, TheProgramsComponentScansTwoPagesInARow) {
    // The component opens the source manager itself.
    ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &window_), TWRC_SUCCESS);
    managerOpen_ = false;
    TBuildFolders folders;
    SetSystemFolders(&folders);
    auto manager = std::make_unique<TTwainManager>();
    int pages = 0;
    int width = 0, height = 0;
    TPixelFormat format = TPixelFormat::pf32bit;
    TTwainSource* source = nullptr;
    manager->OnTwainAcquire = [&](TObject*, int, TBitmap* image, bool& cancel) {
        ++pages;
        width = image->Width();
        height = image->Height();
        format = image->PixelFormat();
        cancel = true;
        source->SetEnabled(false);
        source->SetLoaded(false);
    };
    manager->SetLibraryLoaded(true);
    manager->SetSourceManagerLoaded(true);
    ASSERT_TRUE(manager->SourceManagerLoaded());
    ASSERT_EQ(manager->SourceCount(), 2);
    source = manager->SourceAt(0);
    ASSERT_NE(source, nullptr);

    for (int page = 1; page <= 2; ++page) {
        SCOPED_TRACE(page);
        source->SetLoaded(true);
        ASSERT_TRUE(source->Loaded());
        ResetDevice(source->Record());
        source->SetEnabled(true);
        ASSERT_TRUE(source->Enabled());
        QWidget* dialog = VisibleScanDialog();
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QDoubleSpinBox*>(QStringLiteral("width"))->setValue(50);
        dialog->findChild<QDoubleSpinBox*>(QStringLiteral("height"))->setValue(60);
        dialog->findChild<QSpinBox*>(QStringLiteral("resolution"))->setValue(100);
        dialog->findChild<QPushButton*>(QStringLiteral("scan"))->click();
        QElapsedTimer timer;
        timer.start();
        while (pages < page && timer.elapsed() < 20000)
            Pump(10);
        ASSERT_EQ(pages, page);
        EXPECT_EQ(width, 196); // 50 mm at 100 dpi
        EXPECT_EQ(height, 236);
        EXPECT_EQ(format, TPixelFormat::pf24bit);
        Pump(20);
        EXPECT_EQ(VisibleScanDialog(), nullptr) << "the dialog goes once the program has its page";
        EXPECT_FALSE(source->Loaded());
    }
    manager.reset();
    SetSystemFolders(nullptr);
}
