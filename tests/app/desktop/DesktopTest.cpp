// The window on a real X display under a real window manager (openbox on a virtual display started
// here), and whole runs of the program with a fresh home and temporary folder: what a person sees and
// what a run leaves behind.
#include "pas1.h"
#include "ui_pas1.h"

#include "Application.h"
#include "Dialogs.h"
#include "ModalScript.h"
#include "RunFolder.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

#include <map>
#include <string>
#include <vector>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char WarningText[] = "Внимание!";

// ---------------------------------------------------------------------------------------------------
// One run of the program, as its entry runs it, driven as a person would: the warning, the open dialog
// (cancelled), the save dialog (a page into the working folder), the help. Then it ends as asked:
// "close" closes the window, "term" waits to be asked to end, "kill" dies on the spot.

int Run(int argc, char** argv, const std::string& ending) {
    QApplication application(argc, argv);
    RunFolder::RemoveLeftovers();
    Application::EndOnTerminationRequest();

    ModalScript script;
    script.Answer(QMessageBox::Ok)
        .CancelFileDialog()
        .TypeInFileDialog(QDir::home().filePath(QStringLiteral("ZRK/page")), 2)
        .Answer(QMessageBox::Yes);
    TForm1 form;
    form.show();
    Ui::TForm1& c = form.Controls();
    c.BitBtn7->click();
    c.BitBtn6->click();
    if (!script.Done() || !QFileInfo::exists(QDir::home().filePath(QStringLiteral("ZRK/page.bmp")))) {
        std::fputs("the dialogs did not go as planned\n", stderr);
        return 2;
    }
    c.BitBtn4->click();
    // The help reaches the "browser" (a script that keeps a copy of what it was given).
    const QString opened = qEnvironmentVariable("ZRK_TEST_OPENED");
    QElapsedTimer waited;
    waited.start();
    while (!QFileInfo::exists(opened) && waited.elapsed() < 20000)
        QTest::qWait(100);
    if (!QFileInfo::exists(opened)) {
        std::fputs("the help was not opened\n", stderr);
        return 3;
    }
    if (ending == "kill")
        ::raise(SIGKILL);
    if (ending == "term") {
        std::puts("ready");
        std::fflush(stdout);
        return application.exec();
    }
    form.close();
    return 0;
}

// ---------------------------------------------------------------------------------------------------
// The display and the window manager, started before the application.

std::vector<pid_t> started;

// In a child before exec: output to nowhere.
void Silence(int fd) {
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0)
        ::dup2(null, fd);
}

pid_t Spawn(const std::vector<std::string>& arguments, int keepOpen = -1) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        std::vector<char*> argv;
        for (const std::string& a : arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (keepOpen != STDOUT_FILENO)
            Silence(STDOUT_FILENO);
        Silence(STDERR_FILENO);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    if (pid > 0)
        started.push_back(pid);
    return pid;
}

// Starts Xvfb on a free display and openbox on it; returns the display's name, or empty.
std::string StartDesktop(const std::string& windowManagerHome) {
    int pipe[2];
    if (::pipe(pipe) != 0)
        return {};
    // -noreset: a server that resets when its last client leaves drops the clients connecting
    // meanwhile (openbox, started while a probe of the root window disconnects).
    if (Spawn({"Xvfb", "-displayfd", std::to_string(pipe[1]), "-screen", "0", "1280x1024x24", "-nolisten",
               "tcp", "-noreset"},
              pipe[1]) <= 0)
        return {};
    ::close(pipe[1]);
    std::string number;
    char ch;
    while (::read(pipe[0], &ch, 1) == 1 && ch != '\n')
        number += ch;
    ::close(pipe[0]);
    if (number.empty())
        return {};
    const std::string display = ":" + number;
    ::setenv("DISPLAY", display.c_str(), 1);
    const std::string home = windowManagerHome;
    const pid_t wm = ::fork();
    if (wm == 0) {
        ::setenv("HOME", home.c_str(), 1);
        Silence(STDOUT_FILENO);
        Silence(STDERR_FILENO);
        ::execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    started.push_back(wm);
    // The window manager is ready once it has announced itself on the root window.
    for (int tries = 0; tries < 600; ++tries) { // a minute only ends a window manager that never starts
        if (std::system("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'") == 0)
            return display;
        ::usleep(100000);
    }
    return {};
}

void StopDesktop() {
    for (auto it = started.rbegin(); it != started.rend(); ++it) {
        ::kill(*it, SIGTERM);
        ::waitpid(*it, nullptr, 0);
    }
}

// ---------------------------------------------------------------------------------------------------

QString Xprop(WId window, const char* property) {
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-id"), QString::number(window), QString::fromLatin1(property)});
    xprop.waitForFinished();
    return QString::fromLocal8Bit(xprop.readAllStandardOutput());
}

void Screenshot(const QString& name) {
    QDir().mkpath(QStringLiteral(ZRK_SCREENSHOT_DIR));
    QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                 QStringLiteral(ZRK_SCREENSHOT_DIR "/") + name});
}

// Every file and folder under a folder, with a checksum of each file; the working folder left out.
std::map<QString, QByteArray> Contents(const QString& folder) {
    std::map<QString, QByteArray> contents;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(folder).relativeFilePath(path);
        if (relative == QLatin1String("ZRK") || relative.startsWith(QLatin1String("ZRK/")))
            continue;
        QFile file(path);
        contents[relative] = it.fileInfo().isFile() && file.open(QIODevice::ReadOnly)
                                 ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
                                 : QByteArray("folder");
    }
    return contents;
}

QString Names(const std::map<QString, QByteArray>& contents) {
    QStringList names;
    for (const auto& [name, sum] : contents)
        names << name;
    return names.join(QLatin1Char(' '));
}

// A fresh home, temporary and runtime folder, a folder to run in with the help file, and a "browser".
struct FreshSession {
    QTemporaryDir root;
    QString home = root.filePath(QStringLiteral("home")), temporary = root.filePath(QStringLiteral("tmp")),
            runtime = root.filePath(QStringLiteral("runtime")), work = root.filePath(QStringLiteral("run")),
            opened = root.filePath(QStringLiteral("opened.html"));

    FreshSession() {
        for (const QString& f : {home, temporary, runtime, work, root.filePath(QStringLiteral("share")),
                                 root.filePath(QStringLiteral("etc"))})
            QDir().mkpath(f);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::copy(QStringLiteral(ZRK_SOURCE_DIR "/resources/zrk.hlp"),
                    QDir(work).filePath(QStringLiteral("zrk.hlp")));
        for (const QString& marker : {QDir(home).filePath(QStringLiteral("notes.txt")),
                                      QDir(temporary).filePath(QStringLiteral("keep.txt"))}) {
            QFile f(marker);
            f.open(QIODevice::WriteOnly);
            f.write("the user's own");
        }
        QFile browser(root.filePath(QStringLiteral("browser")));
        browser.open(QIODevice::WriteOnly);
        browser.write(QStringLiteral(
                          "#!/bin/sh\nf=\"${1#file://}\"\ncp \"$f\" \"%1.part\" && echo \"$f\" > \"%1.from\" "
                          "&& mv \"%1.part\" \"%1\"\n")
                          .arg(opened)
                          .toLocal8Bit());
        browser.close();
        browser.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // The desktop's choice for web pages is that browser.
        QDir().mkpath(root.filePath(QStringLiteral("share/applications")));
        QFile entry(root.filePath(QStringLiteral("share/applications/zrk-test-browser.desktop")));
        entry.open(QIODevice::WriteOnly);
        entry.write(QStringLiteral(
                        "[Desktop Entry]\nType=Application\nName=Browser\nExec=%1 %f\nMimeType=text/html;\n")
                        .arg(browser.fileName())
                        .toLocal8Bit());
        QFile choice(root.filePath(QStringLiteral("etc/mimeapps.list")));
        choice.open(QIODevice::WriteOnly);
        choice.write("[Default Applications]\ntext/html=zrk-test-browser.desktop\n");
    }

    std::map<QString, QByteArray> HomeAndTemporary() const {
        auto contents = Contents(home);
        for (const auto& [name, sum] : Contents(temporary))
            contents[QStringLiteral("TMP/") + name] = sum;
        return contents;
    }

    // Starts a run that ends as asked.
    void Start(QProcess& run, const char* ending) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CURRENT_DESKTOP",
              "DESKTOP_SESSION", "SESSION_MANAGER", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("TMPDIR"), temporary);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        // Web pages go to the "browser", whatever else this machine has.
        env.insert(QStringLiteral("XDG_DATA_DIRS"),
                   root.filePath(QStringLiteral("share")) + QStringLiteral(":/usr/local/share:/usr/share"));
        env.insert(QStringLiteral("XDG_CONFIG_DIRS"), root.filePath(QStringLiteral("etc")));
        env.insert(QStringLiteral("BROWSER"), root.filePath(QStringLiteral("browser")));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   QStringLiteral("unix:path=/nonexistent/zrk-no-bus"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("ZRK_TEST_OPENED"), opened);
        run.setProcessEnvironment(env);
        run.setWorkingDirectory(work);
        run.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--run"), QString::fromLatin1(ending)});
    }
};

} // namespace

class DesktopTest : public QObject {
    Q_OBJECT

private slots:
    void theWindowOffersNoMaximiseAndKeepsItsSize() {
        SetMessageDlgHook([](const QString&, const QString&, TMsgDlgType) { return TModalResult::mrOk; });
        TForm1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QString actions;
        QTRY_VERIFY_WITH_TIMEOUT((actions = Xprop(form.winId(), "_NET_WM_ALLOWED_ACTIONS"))
                                     .contains(QStringLiteral("_NET_WM_ACTION_MOVE")),
                                 60000);
        QVERIFY2(actions.contains(QStringLiteral("_NET_WM_ACTION_MINIMIZE")), qPrintable(actions));
        QVERIFY2(actions.contains(QStringLiteral("_NET_WM_ACTION_CLOSE")), qPrintable(actions));
        QVERIFY2(!actions.contains(QStringLiteral("MAXIMIZE")), qPrintable(actions));
        QVERIFY2(!actions.contains(QStringLiteral("_NET_WM_ACTION_RESIZE")), qPrintable(actions));
        QTest::qWait(300);
        Screenshot(QStringLiteral("window-openbox.png"));

        // Asking the window manager to maximise changes nothing.
        form.showMaximized();
        QTest::qWait(800);
        QCOMPARE(form.size(), QSize(570, 543));
        QVERIFY(!Xprop(form.winId(), "_NET_WM_STATE").contains(QStringLiteral("MAXIMIZED")));
        SetMessageDlgHook({});
    }

    void theWarningIsCentredOnTheScreen() {
        QRect frame;
        ModalScript script;
        script.Then([&](QWidget* active) -> std::function<void()> {
            auto* box = qobject_cast<QMessageBox*>(active);
            // Once the window manager has framed it (whether or not it gave it the focus).
            if (!box || box->frameGeometry().height() <= box->height())
                return {};
            return [&, box] {
                // The box settles in its place within a moment, whether or not it is activated.
                const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
                QElapsedTimer waited;
                waited.start();
                do {
                    QTest::qWait(100);
                    frame = box->frameGeometry();
                } while (waited.elapsed() < 60000 &&
                         (qAbs(frame.x() - (screen.width() - frame.width()) / 2) > 1 ||
                          qAbs(frame.y() - (screen.height() - frame.height()) / 2) > 1));
                QTest::qWait(300);
                frame = box->frameGeometry();
                Screenshot(QStringLiteral("warning-openbox.png"));
                box->button(QMessageBox::Ok)->click();
            };
        });
        // A box that is never seen framed is closed after a while, so the test fails instead of waiting.
        QTimer giveUp;
        giveUp.setSingleShot(true);
        QObject::connect(&giveUp, &QTimer::timeout, [] {
            if (QWidget* active = QApplication::activeModalWidget())
                active->close();
        });
        giveUp.start(20000);
        MessageDlg(QString::fromUtf8(WarningText) +
                       QStringLiteral(" В этой версии программы необходимо "
                                      "устанавливать границы области сканирования на "
                                      "полный размер листа формата А4!"),
                   TMsgDlgType::mtWarning);
        QVERIFY(script.Done());
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(qAbs(frame.x() - (screen.width() - frame.width()) / 2) <= 1,
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(frame.x())
                                .arg(frame.y())
                                .arg(frame.width())
                                .arg(frame.height())));
        QVERIFY2(qAbs(frame.y() - (screen.height() - frame.height()) / 2) <= 1,
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(frame.x())
                                .arg(frame.y())
                                .arg(frame.width())
                                .arg(frame.height())));
    }

    // A run that uses both dialogs and the help leaves the home and temporary folder as they were
    // (its working folder aside); the help reached the browser while the run was going.
    void aRunLeavesHomeAndTemporaryFolderAsTheyWere() {
        FreshSession session;
        const auto before = session.HomeAndTemporary();
        QProcess run;
        session.Start(run, "close");
        QVERIFY(run.waitForFinished(60000));
        QVERIFY2(run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0,
                 run.readAllStandardError().constData());
        QCOMPARE(Names(session.HomeAndTemporary()), Names(before));
        QVERIFY(session.HomeAndTemporary() == before);
        QVERIFY(QFileInfo::exists(QDir(session.home).filePath(QStringLiteral("ZRK/page.bmp"))));

        QFile given(session.opened + QStringLiteral(".from"));
        QVERIFY(given.open(QIODevice::ReadOnly));
        const QString from = QString::fromLocal8Bit(given.readAll().trimmed());
        QVERIFY2(from.startsWith(session.temporary + QStringLiteral("/zrk201-run-")), qPrintable(from));
        QFile help(QStringLiteral(ZRK_SOURCE_DIR "/resources/zrk.hlp")), copy(session.opened);
        QVERIFY(help.open(QIODevice::ReadOnly) && copy.open(QIODevice::ReadOnly));
        QVERIFY(help.readAll() == copy.readAll());
    }

    // Asked to end from outside, a run ends in order and cleans up; killed outright, it leaves its
    // folder, which the next run removes when it starts.
    void aRunAskedToEndCleansUpAndAKilledRunsLeftoversGoNextTime() {
        FreshSession session;
        const auto before = session.HomeAndTemporary();
        {
            QProcess run;
            session.Start(run, "term");
            QVERIFY(run.waitForReadyRead(60000));
            QCOMPARE(run.readLine().trimmed(), QByteArray("ready"));
            ::kill(pid_t(run.processId()), SIGTERM);
            QVERIFY(run.waitForFinished(20000));
            QCOMPARE(run.exitCode(), 128 + SIGTERM);
            QCOMPARE(Names(session.HomeAndTemporary()), Names(before));
        }
        QFile::remove(session.opened);
        {
            QProcess run;
            session.Start(run, "kill");
            QVERIFY(run.waitForFinished(60000));
            QCOMPARE(run.exitStatus(), QProcess::CrashExit);
            QVERIFY(Names(session.HomeAndTemporary()).contains(QStringLiteral("TMP/zrk201-run-")));
        }
        QFile::remove(session.opened);
        {
            QProcess run;
            session.Start(run, "close");
            QVERIFY(run.waitForFinished(60000));
            QCOMPARE(run.exitCode(), 0);
            QCOMPARE(Names(session.HomeAndTemporary()), Names(before));
        }
    }
};

int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[1]) == "--run")
        return Run(1, argv, argv[2]);

    char scratch[] = "/tmp/zrk-desktop-XXXXXX";
    if (!::mkdtemp(scratch))
        return 1;
    // The window tests make the working folder in the home folder, and Qt needs a runtime folder on a
    // display: both the test's own.
    const std::string home = std::string(scratch) + "/home", runtime = std::string(scratch) + "/runtime";
    ::mkdir(home.c_str(), 0700);
    ::mkdir(runtime.c_str(), 0700);
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    const std::string display = StartDesktop(scratch);
    int failed = 1;
    if (display.empty()) {
        std::fputs("could not start Xvfb and openbox\n", stderr);
    } else {
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        QApplication application(argc, argv);
        DesktopTest test;
        failed = QTest::qExec(&test, argc, argv);
    }
    StopDesktop();
    QDir(QString::fromLocal8Bit(scratch)).removeRecursively();
    return failed;
}

#include "DesktopTest.moc"
