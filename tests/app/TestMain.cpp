#include "TestMain.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

std::vector<std::function<std::unique_ptr<QObject>()>>& WindowTestClasses() {
    static std::vector<std::function<std::unique_ptr<QObject>()>> classes;
    return classes;
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window makes its working folder in the home folder: keep the tests' own.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    QApplication app(argc, argv);
    int failed = 0;
    for (const auto& make : WindowTestClasses()) {
        const std::unique_ptr<QObject> test = make();
        failed += QTest::qExec(test.get(), argc, argv);
    }
    return failed;
}
