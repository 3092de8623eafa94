// The program's entry: the application, its one window and the message loop.
#include "pas1.h"

#include <QApplication>
#include <QFont>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zrk201"));

    // The window's font: 8-point "MS Sans Serif" at 96 pixels per inch, or the nearest font the
    // desktop has with Cyrillic letters.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    QApplication::setFont(font);

    TForm1 form1;
    form1.show();
    return application.exec();
}
