// The windows a person sees: the source's scan dialog and the manager's selection dialog, driven
// through their controls as a person would.
#include "DsmFixture.h"
#include "ShownWindows.h"

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <cstring>
#include <functional>

namespace {

QWidget* ScanDialog() {
    return ShownWindow("scanDialog");
}

// Runs `act` on the modal dialog once it shows and `ready` holds for it.
void WhenModalShows(std::function<void(QWidget*)> act, std::function<bool(QWidget*)> ready = {}) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act, ready] {
        if (QWidget* modal = QApplication::activeModalWidget(); modal && (!ready || ready(modal))) {
            timer->stop();
            timer->deleteLater();
            act(modal);
        }
    });
    timer->start(10);
}

// The selection dialog has finished looking for scanners.
bool DoneLooking(QWidget* modal) {
    auto* looking = modal->findChild<QProgressBar*>(QStringLiteral("looking"));
    return looking && looking->isHidden();
}

// A small area at a low resolution, so the dialog's scans are quick.
void ChooseSmallScan(QWidget* dialog) {
    Child<QDoubleSpinBox>(dialog, "width")->setValue(30);
    Child<QDoubleSpinBox>(dialog, "height")->setValue(40);
    if (auto* resolution = Child<QSpinBox>(dialog, "resolution"))
        resolution->setValue(50);
}

} // namespace

TEST_F(DsmTest, ScanDialogStartsAtAFullA4SheetAndScans) {
    TW_IDENTITY source = OpenFirst();
    ResetDevice(source);
    ASSERT_EQ(Enable(source, true), TWRC_SUCCESS);
    QWidget* dialog = ScanDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_DOUBLE_EQ(Child<QDoubleSpinBox>(dialog, "width")->value(), 210.0);
    EXPECT_DOUBLE_EQ(Child<QDoubleSpinBox>(dialog, "height")->value(), 297.0);
    EXPECT_DOUBLE_EQ(Child<QDoubleSpinBox>(dialog, "left")->value(), 0.0);
    auto* mode = Child<QComboBox>(dialog, "mode");
    ASSERT_NE(mode, nullptr);
    QStringList modes;
    for (int i = 0; i < mode->count(); ++i)
        modes << mode->itemText(i);
    EXPECT_EQ(modes, (QStringList{QStringLiteral("Чёрно-белый"), QStringLiteral("Оттенки серого"),
                                  QStringLiteral("Цветной")}));
    EXPECT_EQ(mode->currentText(), QStringLiteral("Цветной"));
    EXPECT_EQ(Child<QSpinBox>(dialog, "resolution")->value(), 150);
    auto* scan = Child<QPushButton>(dialog, "scan");
    ASSERT_NE(scan, nullptr);
    EXPECT_EQ(scan->text(), QStringLiteral("Сканировать"));
    EXPECT_EQ(Child<QPushButton>(dialog, "close")->text(), QStringLiteral("Закрыть"));

    // Lineart at 50 dpi over 30 x 40 mm.
    mode->setCurrentIndex(0);
    ChooseSmallScan(dialog);
    scan->click();
    EXPECT_FALSE(scan->isEnabled()) << "locked while scanning";
    ASSERT_EQ(WaitForEvent(source), MSG_XFERREADY);
    TW_IMAGEINFO info{};
    ASSERT_EQ(Call(&source, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    EXPECT_EQ(+info.PixelType, TWPT_BW);
    EXPECT_EQ(+info.BitsPerPixel, 1);
    EXPECT_EQ(+info.XResolution.Whole, 50);
    EXPECT_EQ(+info.ImageWidth, 59); // 30 mm at 50 dpi
    EXPECT_EQ(+info.ImageLength, 78);
    Transfer(source, TMechanism::memory);
    TW_UINT16 count = 0;
    ASSERT_EQ(EndTransfer(source, count), TWRC_SUCCESS);
    EXPECT_TRUE(scan->isEnabled()) << "ready for the next page";

    EXPECT_EQ(Disable(source), TWRC_SUCCESS);
    Pump(20);
    EXPECT_EQ(ScanDialog(), nullptr) << "disabling hides the dialog";
}

TEST_F(DsmTest, ClosingTheScanDialogAsksToCloseTheSource) {
    TW_IDENTITY source = OpenFirst();
    ResetDevice(source);
    ASSERT_EQ(Enable(source, true), TWRC_SUCCESS);
    QWidget* dialog = ScanDialog();
    ASSERT_NE(dialog, nullptr);
    Child<QPushButton>(dialog, "close")->click();
    EXPECT_EQ(WaitForEvent(source), MSG_CLOSEDSREQ);
    EXPECT_EQ(Disable(source), TWRC_SUCCESS);
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source), TWRC_SUCCESS);
}

TEST_F(DsmTest, ScanDialogShowsDeviceErrorsAndStaysUsable) {
    TW_IDENTITY source = OpenFirst();
    TScanRequest jammed;
    jammed.extra = {{"read-return-value", "SANE_STATUS_JAMMED"}};
    ASSERT_EQ(setOptionsFor(source, jammed), 1);
    ASSERT_EQ(Enable(source, true), TWRC_SUCCESS);
    QWidget* dialog = ScanDialog();
    ASSERT_NE(dialog, nullptr);
    ChooseSmallScan(dialog);
    auto* scan = Child<QPushButton>(dialog, "scan");
    scan->click();
    for (int i = 0; i < 500 && !scan->isEnabled(); ++i)
        Pump(10);
    EXPECT_TRUE(scan->isEnabled());
    EXPECT_TRUE(Child<QLabel>(dialog, "message")->text().contains(QStringLiteral("застряла бумага")))
        << Child<QLabel>(dialog, "message")->text().toStdString();
    EXPECT_EQ(WaitForEvent(source, 200), MSG_NULL) << "no image and no close request";
    EXPECT_EQ(Condition(&source), TWCC_PAPERJAM);
    EXPECT_EQ(Disable(source), TWRC_SUCCESS);
}

TEST_F(DsmTest, ClosingTheDialogDuringAScanStopsIt) {
    TW_IDENTITY source = OpenFirst();
    TScanRequest slow;
    slow.extra = {{"read-limit", "yes"},
                  {"read-limit-size", "64"},
                  {"read-delay", "yes"},
                  {"read-delay-duration", "200000"}};
    ASSERT_EQ(setOptionsFor(source, slow), 1);
    ASSERT_EQ(Enable(source, true), TWRC_SUCCESS);
    QWidget* dialog = ScanDialog();
    ASSERT_NE(dialog, nullptr);
    Child<QPushButton>(dialog, "scan")->click();
    Pump(100);
    Child<QPushButton>(dialog, "close")->click();
    EXPECT_EQ(WaitForEvent(source, 5000), MSG_CLOSEDSREQ);
    EXPECT_EQ(Disable(source), TWRC_SUCCESS);
}

TEST_F(DsmTest, SelectionDialogChoosesASource) {
    const std::vector<TW_IDENTITY> sources = List();
    ASSERT_EQ(sources.size(), 2u);
    WhenModalShows(
        [](QWidget* modal) {
            Child<QListWidget>(modal, "sources")->setCurrentRow(1);
            Child<QPushButton>(modal, "choose")->click();
        },
        DoneLooking);
    TW_IDENTITY chosen{};
    ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &chosen), TWRC_SUCCESS);
    EXPECT_EQ(std::memcmp(&chosen, &sources[1], sizeof chosen), 0) << "the listed record, byte for byte";
    TW_IDENTITY byDefault{};
    ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &byDefault), TWRC_SUCCESS);
    EXPECT_EQ(std::memcmp(&byDefault, &sources[1], sizeof byDefault), 0) << "the last choice is the default";

    // The next selection starts at the last choice; cancelling it chooses nothing.
    int preselected = -1;
    WhenModalShows(
        [&preselected](QWidget* modal) {
            preselected = Child<QListWidget>(modal, "sources")->currentRow();
            Child<QPushButton>(modal, "cancel")->click();
        },
        DoneLooking);
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &chosen), TWRC_CANCEL);
    EXPECT_EQ(preselected, 1);
}

// SANE reads its configuration folder once per process, so the next two tests run in processes of
// their own (see CMakeLists.txt) and are skipped in the others.
TEST_F(DsmTest, SelectionWithoutScannersSaysWhatToCheck) {
    if (SaneFolder() != ZRK_DSM_NO_SANE)
        GTEST_SKIP() << "runs with the empty configuration only";
    ASSERT_TRUE(List().empty());
    QString text;
    bool chooseEnabled = true;
    WhenModalShows(
        [&](QWidget* modal) {
            text = Child<QLabel>(modal, "status")->text();
            chooseEnabled = Child<QPushButton>(modal, "choose")->isEnabled();
            Child<QPushButton>(modal, "cancel")->click();
        },
        DoneLooking);
    TW_IDENTITY chosen{};
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &chosen), TWRC_FAILURE);
    EXPECT_EQ(Condition(nullptr), TWCC_NODS);
    EXPECT_TRUE(text.contains(QStringLiteral("не найдены"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("scanimage -L"))) << text.toStdString();
    EXPECT_FALSE(chooseEnabled) << "nothing to choose";
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &chosen), TWRC_FAILURE);
}

// The program's own configuration lists the virtual scanners next to the machine's backends.
TEST_F(DsmTest, ProgramConfigurationListsTheTestScanners) {
    if (SaneFolder() != std::string(ZRK_DSM_PROGRAM_SANE) + ":")
        GTEST_SKIP() << "runs with the program's configuration only";
    int testers = 0;
    for (const TW_IDENTITY& source : List())
        testers += std::strncmp(source.ProductName, "frontend-tester", 15) == 0;
    EXPECT_EQ(testers, 2);
}

// The window offers again what the device was last scanned with, also after the source was closed,
// and keeps it in the settings file of the user's configuration folder; another device keeps its own.
TEST_F(DsmTest, ScanDialogRemembersEachDevicesSettings) {
    const std::vector<TW_IDENTITY> sources = List();
    ASSERT_EQ(sources.size(), 2u);
    TW_IDENTITY source = sources[0];
    ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source), TWRC_SUCCESS);
    ResetDevice(source);
    ASSERT_EQ(Enable(source, true), TWRC_SUCCESS);
    QWidget* dialog = ScanDialog();
    ASSERT_NE(dialog, nullptr);
    auto* mode = Child<QComboBox>(dialog, "mode");
    mode->setCurrentIndex(mode->findText(QStringLiteral("Оттенки серого")));
    Child<QSpinBox>(dialog, "resolution")->setValue(60);
    Child<QDoubleSpinBox>(dialog, "left")->setValue(10);
    Child<QDoubleSpinBox>(dialog, "top")->setValue(20);
    Child<QDoubleSpinBox>(dialog, "width")->setValue(30);
    Child<QDoubleSpinBox>(dialog, "height")->setValue(40);
    Child<QPushButton>(dialog, "scan")->click();
    ASSERT_EQ(WaitForEvent(source), MSG_XFERREADY);
    const TPicture page = Transfer(source, TMechanism::memory);
    EXPECT_EQ(page.width, 70); // 30 mm at 60 dpi
    TW_UINT16 count = 0;
    ASSERT_EQ(EndTransfer(source, count), TWRC_SUCCESS);
    ASSERT_EQ(Disable(source), TWRC_SUCCESS);
    ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source), TWRC_SUCCESS);
    Pump(20);

    // The next page: the same device, opened afresh.
    ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source), TWRC_SUCCESS);
    ASSERT_EQ(Enable(source, true), TWRC_SUCCESS);
    dialog = ScanDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Child<QComboBox>(dialog, "mode")->currentText(), QStringLiteral("Оттенки серого"));
    EXPECT_EQ(Child<QSpinBox>(dialog, "resolution")->value(), 60);
    EXPECT_DOUBLE_EQ(Child<QDoubleSpinBox>(dialog, "left")->value(), 10);
    EXPECT_DOUBLE_EQ(Child<QDoubleSpinBox>(dialog, "top")->value(), 20);
    EXPECT_DOUBLE_EQ(Child<QDoubleSpinBox>(dialog, "width")->value(), 30);
    EXPECT_DOUBLE_EQ(Child<QDoubleSpinBox>(dialog, "height")->value(), 40);
    ASSERT_EQ(Disable(source), TWRC_SUCCESS);
    ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source), TWRC_SUCCESS);
    Pump(20);

    // Kept for later runs, by maker, model and what tells the device from the other one alike.
    QFile file(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/zrk201/scanners.json"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    const QJsonObject stored =
        QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("devices")).toObject();
    const QJsonObject entry = stored.value(QStringLiteral("Noname frontend-tester (test:0)")).toObject();
    EXPECT_EQ(entry.value(QStringLiteral("resolution")).toInt(), 60);
    EXPECT_EQ(entry.value(QStringLiteral("mode")).toString(), QStringLiteral("Gray"));
    EXPECT_FALSE(stored.contains(QStringLiteral("Noname frontend-tester (test:1)")));

    // The other scanner still starts from its own defaults.
    TW_IDENTITY other = sources[1];
    ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &other), TWRC_SUCCESS);
    ASSERT_EQ(Enable(other, true), TWRC_SUCCESS);
    dialog = ScanDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Child<QComboBox>(dialog, "mode")->currentText(), QStringLiteral("Цветной"));
    EXPECT_EQ(Child<QSpinBox>(dialog, "resolution")->value(), 150);
    EXPECT_DOUBLE_EQ(Child<QDoubleSpinBox>(dialog, "width")->value(), 210.0);
    ASSERT_EQ(Disable(other), TWRC_SUCCESS);
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &other), TWRC_SUCCESS);
}
