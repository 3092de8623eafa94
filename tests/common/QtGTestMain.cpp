// Entry of every GoogleTest executable: a QApplication on the offscreen platform, so that widgets, fonts
// and images work without a display. Each run keeps what it configures (the scanners' remembered
// settings) in a configuration folder of its own, so that runs never see each other's settings.
#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
