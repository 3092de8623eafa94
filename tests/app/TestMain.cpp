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
    // What the scanners' windows remember is this run's alone.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication app(argc, argv);
    // ZRK_TEST_CLASSES names the classes to run (all when unset); ZRK_TEST_SKIP_CLASSES those to leave out.
    const QStringList only =
        qEnvironmentVariable("ZRK_TEST_CLASSES").split(QLatin1Char(','), Qt::SkipEmptyParts);
    const QStringList skip =
        qEnvironmentVariable("ZRK_TEST_SKIP_CLASSES").split(QLatin1Char(','), Qt::SkipEmptyParts);
    int failed = 0;
    for (const auto& make : WindowTestClasses()) {
        const std::unique_ptr<QObject> test = make();
        const QString name = QString::fromLatin1(test->metaObject()->className());
        if ((!only.isEmpty() && !only.contains(name)) || skip.contains(name))
            continue;
        failed += QTest::qExec(test.get(), argc, argv);
    }
    return failed;
}
