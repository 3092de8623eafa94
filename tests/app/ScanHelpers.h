// Driving a scan through the widgets a person uses: the source manager's selection dialog and the
// scanner's own dialog are answered by finding their controls.
#pragma once

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <optional>

// The program finds the source manager library in its current folder: a scan test works in the folder
// of the one just built, and goes back to where it was when it ends.
class TInSourceManagerFolder {
public:
    TInSourceManagerFolder() : previous_(QDir::currentPath()) {
        QDir::setCurrent(QStringLiteral(ZRK_DSM_DIR));
    }
    ~TInSourceManagerFolder() { QDir::setCurrent(previous_); }
    TInSourceManagerFolder(const TInSourceManagerFolder&) = delete;
    TInSourceManagerFolder& operator=(const TInSourceManagerFolder&) = delete;

private:
    QString previous_;
};

inline QWidget* TopLevel(const QString& name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible())
            return w;
    return nullptr;
}

// Picks the first "frontend-tester" scanner in the source manager's selection dialog once it shows.
inline void ChooseTestScannerWhenAsked() {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || dialog->objectName() != QStringLiteral("selectSource"))
            return;
        auto* list = dialog->findChild<QListWidget*>(QStringLiteral("sources"));
        QVERIFY(list);
        // The list fills once SANE has answered.
        const QList<QListWidgetItem*> testers = list->findItems(QStringLiteral("test:0"), Qt::MatchContains);
        if (testers.isEmpty())
            return;
        list->setCurrentItem(testers.front());
        dialog->findChild<QPushButton*>(QStringLiteral("choose"))->click();
        poll->deleteLater();
    });
    poll->start(20);
}

// Scans one page in colour at the given resolution (dots per inch) through the scanner's own dialog.
inline void ScanInColour(int resolution = 50) {
    QWidget* dialog = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((dialog = TopLevel(QStringLiteral("scanDialog"))) != nullptr, 20000);
    auto* mode = dialog->findChild<QComboBox*>(QStringLiteral("mode"));
    QVERIFY(mode);
    const int colour = mode->findText(QStringLiteral("Цвет"), Qt::MatchStartsWith);
    QVERIFY(colour >= 0);
    mode->setCurrentIndex(colour);
    if (auto* spin = dialog->findChild<QSpinBox*>(QStringLiteral("resolution")))
        spin->setValue(resolution);
    else if (auto* list = dialog->findChild<QComboBox*>(QStringLiteral("resolution")))
        list->setCurrentIndex(std::max(0, list->findText(QString::number(resolution), Qt::MatchStartsWith)));
    dialog->findChild<QPushButton*>(QStringLiteral("scan"))->click();
}
