// The program's entry: the application, its one window and the message loop.
#include "pas1.h"

#include "Application.h"
#include "RunFolder.h"
#include "Translations.h"

#include <QApplication>
#include <QEvent>
#include <QFont>

namespace {

// Closing the main window ends the program, also while a scanner's own window is still open.
class CloseEndsProgram : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Close)
            QCoreApplication::quit();
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zrk201"));
    // The desktop entry the running program belongs to (its icon and name in task bars).
    QGuiApplication::setDesktopFileName(QStringLiteral("zrk201"));
    QApplication::setWindowIcon(TForm1::ProgramIcon());
    // Qt's dialogs speak the user's language; the program's own texts are Russian anyway.
    InstallTranslations();

    // The window's font: 8-point "MS Sans Serif" at 96 pixels per inch, or the nearest font the
    // desktop has with Cyrillic letters.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    QApplication::setFont(font);

    // Nothing outlives a run: what a killed run left in the temporary folder goes now, and a request
    // to end from outside ends this run in order, so its own folder goes too.
    RunFolder::RemoveLeftovers();
    Application::EndOnTerminationRequest();

    TForm1 form1;
    if (const int signal = Application::TerminationRequest())
        return 128 + signal; // asked to end while the start-up warning was open
    CloseEndsProgram closeEndsProgram;
    form1.installEventFilter(&closeEndsProgram);
    form1.show();
    return application.exec();
}
