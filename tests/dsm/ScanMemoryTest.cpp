// What the scanner's window remembers per device, in the run and across runs (a new TScanMemory over
// the same file stands for the next run), and how remembered settings are fitted to a device.
#include "ScanMemory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TScanSettings Settings(const std::string& mode, int depth, int dpi, double l, double t, double w, double h) {
    TScanSettings s;
    s.mode = mode;
    s.depth = depth;
    s.resolution = dpi;
    s.hasArea = true;
    s.left = l;
    s.top = t;
    s.width = w;
    s.height = h;
    return s;
}

// A flatbed of 216 x 297 mm with lineart, grey and colour, 75 to 1200 dpi.
TDeviceLimits Flatbed() {
    TDeviceLimits limits;
    limits.modes = {{QStringLiteral("Чёрно-белый"), "Gray", 1},
                    {QStringLiteral("Оттенки серого"), "Gray", 8},
                    {QStringLiteral("Цветной"), "Color", 8}};
    limits.minResolution = 75;
    limits.maxResolution = 1200;
    limits.hasArea = true;
    limits.maxX = 216;
    limits.maxY = 297;
    return limits;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

TEST(ScanMemory, KeepsEachDevicesSettingsForTheRunAndTheNextRun) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("zrk201/scanners.json"));
    TScanSettings page = Settings("Gray", 8, 600, 10, 20, 100.5, 140.25);
    page.extra = {{"read-delay", "yes"}}; // not a setting of the window: never remembered
    {
        TScanMemory run(path);
        EXPECT_FALSE(run.Recall("test:0"));
        EXPECT_TRUE(run.Remember("test:0", page));
        EXPECT_TRUE(run.Remember("test:1", Settings("Color", 8, 150, 0, 0, 210, 297)));
        const auto again = run.Recall("test:0");
        ASSERT_TRUE(again);
        EXPECT_EQ(again->resolution, 600);
    }
    TScanMemory next(path);
    const auto recalled = next.Recall("test:0");
    ASSERT_TRUE(recalled);
    EXPECT_EQ(recalled->mode, "Gray");
    EXPECT_EQ(recalled->depth, 8);
    EXPECT_EQ(recalled->resolution, 600);
    EXPECT_TRUE(recalled->hasArea);
    EXPECT_DOUBLE_EQ(recalled->left, 10);
    EXPECT_DOUBLE_EQ(recalled->top, 20);
    EXPECT_DOUBLE_EQ(recalled->width, 100.5);
    EXPECT_DOUBLE_EQ(recalled->height, 140.25);
    EXPECT_TRUE(recalled->extra.empty());
    ASSERT_TRUE(next.Recall("test:1"));
    EXPECT_EQ(next.Recall("test:1")->mode, "Color");
    EXPECT_FALSE(next.Recall("pixma:04A91234"));

    // Another run that remembers a device keeps what this run wrote for the others.
    TScanMemory other(path);
    EXPECT_TRUE(other.Remember("test:1", Settings("Gray", 1, 300, 0, 0, 50, 50)));
    TScanMemory third(path);
    ASSERT_TRUE(third.Recall("test:0"));
    EXPECT_EQ(third.Recall("test:0")->resolution, 600);
    EXPECT_EQ(third.Recall("test:1")->resolution, 300);
}

TEST(ScanMemory, ADamagedFileIsIgnoredAndAnUnwritableOneOnlyCostsTheNextRun) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("scanners.json"));
    for (const QByteArray& damaged :
         {QByteArray("{\"devices\": {\"test:0\": {\"mode\": \"Gray\", \"depth\": 8, \"resolu"),
          QByteArray("[1, 2, 3]"), QByteArray("\xff\xfe\x00garbage", 10),
          QByteArray("{\"devices\": {\"test:0\": {\"mode\": 5, \"depth\": \"x\", \"resolution\": []}}}"),
          QByteArray("{\"devices\": {\"test:0\": {\"mode\": \"Gray\", \"depth\": 8, \"resolution\": 300,"
                     " \"area\": {\"left\": \"wide\"}}}}")}) {
        SCOPED_TRACE(damaged.toStdString());
        WriteFile(path, damaged);
        TScanMemory memory(path);
        EXPECT_FALSE(memory.Recall("test:0"));
        // Remembering over a damaged file replaces it with a good one.
        EXPECT_TRUE(memory.Remember("test:0", Settings("Gray", 8, 300, 0, 0, 210, 297)));
        TScanMemory next(path);
        ASSERT_TRUE(next.Recall("test:0"));
        EXPECT_EQ(next.Recall("test:0")->resolution, 300);
    }

    // A file that cannot be written (its folder is a file; permissions would not stop root): the run
    // still remembers, and what lies there stays as it was.
    const QString blocker = folder.filePath(QStringLiteral("blocker"));
    WriteFile(blocker, "not a folder");
    TScanMemory memory(blocker + QStringLiteral("/scanners.json"));
    EXPECT_FALSE(memory.Remember("test:0", Settings("Color", 8, 200, 0, 0, 100, 100)));
    ASSERT_TRUE(memory.Recall("test:0"));
    EXPECT_EQ(memory.Recall("test:0")->resolution, 200);
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("not a folder"));
}

TEST(ScanMemory, WithoutAFileItRemembersForTheRunOnly) {
    TScanMemory memory{QString()};
    EXPECT_FALSE(memory.Remember("test:0", Settings("Gray", 8, 300, 0, 0, 100, 100)));
    ASSERT_TRUE(memory.Recall("test:0"));
}

TEST(ScanMemory, RememberedSettingsAreFittedToWhatTheDeviceTakesNow) {
    const TDeviceLimits flatbed = Flatbed();
    const TScanSettings defaults = DefaultSettings(flatbed);

    // Everything fits: taken as remembered.
    TScanSettings fitted = FitToDevice(Settings("Gray", 1, 600, 5, 6, 100, 200), flatbed, defaults);
    EXPECT_EQ(fitted.mode, "Gray");
    EXPECT_EQ(fitted.depth, 1);
    EXPECT_EQ(fitted.resolution, 600);
    EXPECT_DOUBLE_EQ(fitted.left, 5);
    EXPECT_DOUBLE_EQ(fitted.height, 200);

    // A mode, a resolution or an area the device no longer offers falls back field by field.
    fitted = FitToDevice(Settings("Halftone", 1, 2400, 100, 100, 150, 150), flatbed, defaults);
    EXPECT_EQ(fitted.mode, defaults.mode);
    EXPECT_EQ(fitted.depth, defaults.depth);
    EXPECT_EQ(fitted.resolution, defaults.resolution);
    EXPECT_DOUBLE_EQ(fitted.left, defaults.left);
    EXPECT_DOUBLE_EQ(fitted.width, defaults.width);
    EXPECT_DOUBLE_EQ(fitted.height, defaults.height);

    fitted = FitToDevice(Settings("Color", 16, 0, -5, 0, 0, 10), flatbed, defaults);
    EXPECT_EQ(fitted.depth, defaults.depth) << "colour at 16 bits is not among the device's modes";
    EXPECT_EQ(fitted.resolution, defaults.resolution);
    EXPECT_DOUBLE_EQ(fitted.width, defaults.width) << "an empty area or one off the glass is not taken";

    // A device with a list of resolutions takes only those; rounding at the glass's edge is kept on it.
    TDeviceLimits listed = flatbed;
    listed.resolutions = {75, 150, 300};
    fitted = FitToDevice(Settings("Color", 8, 200, 0, 0, 216.04, 297), listed, DefaultSettings(listed));
    EXPECT_EQ(fitted.resolution, 150);
    EXPECT_DOUBLE_EQ(fitted.width, 216);
    fitted = FitToDevice(Settings("Color", 8, 300, 0, 0, 216, 297), listed, DefaultSettings(listed));
    EXPECT_EQ(fitted.resolution, 300);

    // A device without a scan area keeps its own.
    TDeviceLimits noArea = flatbed;
    noArea.hasArea = false;
    EXPECT_FALSE(
        FitToDevice(Settings("Color", 8, 300, 0, 0, 50, 50), noArea, DefaultSettings(noArea)).hasArea);
}

// The source and the further options are kept with the rest, in the order the options were set, and
// the device used last is kept too; a source the device no longer offers is not offered again.
TEST(ScanMemoryTest, SourceOptionsAndTheLastDeviceOutliveTheRun) {
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("scanners.json"));
    TScanSettings settings = Settings("Gray", 8, 300, 5, 6, 100, 120);
    settings.source = "ADF Duplex";
    settings.options = {{"enable-test-options", "yes"}, {"brightness", "12.5"}, {"gamma", "1,2,3"}};
    {
        TScanMemory memory(file);
        EXPECT_TRUE(memory.Remember("HP ScanJet (10.0.0.5)", settings));
        EXPECT_TRUE(memory.RememberLastDevice("HP ScanJet (10.0.0.5)"));
    }
    TScanMemory next(file);
    EXPECT_EQ(next.LastDevice(), "HP ScanJet (10.0.0.5)");
    const std::optional<TScanSettings> recalled = next.Recall("HP ScanJet (10.0.0.5)");
    ASSERT_TRUE(recalled.has_value());
    EXPECT_EQ(recalled->source, "ADF Duplex");
    EXPECT_EQ(recalled->options, settings.options);

    TDeviceLimits limits = Flatbed();
    limits.sources = {{QStringLiteral("Планшет"), "Flatbed"}, {QStringLiteral("Автоподатчик"), "ADF"}};
    TScanSettings defaults;
    defaults.source = "Flatbed";
    EXPECT_EQ(FitToDevice(*recalled, limits, defaults).source, "Flatbed");
    limits.sources.push_back({QStringLiteral("Автоподатчик, обе стороны"), "ADF Duplex"});
    EXPECT_EQ(FitToDevice(*recalled, limits, defaults).source, "ADF Duplex");
    EXPECT_EQ(FitToDevice(*recalled, limits, defaults).options, settings.options);
}
