// The program's entry: the application, its one window and the message loop.
#include "pas1.h"

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

    TForm1 form1;
    CloseEndsProgram closeEndsProgram;
    form1.installEventFilter(&closeEndsProgram);
    form1.show();
    return application.exec();
}
