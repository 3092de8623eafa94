// The source manager's selection dialog: it opens at once, shows that it is looking for scanners,
// and lists them as soon as SANE has answered. "Выбрать" takes the chosen one; "Искать снова" looks
// again (a scanner switched on meanwhile, a network scanner that answered late).
#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

class TSelectDialog : public QDialog {
public:
    explicit TSelectDialog(QWidget* owner);

    // The list is emptied and the dialog says that it is looking.
    void ShowLooking();
    // The scanners found, one row each, with the row to start at. With no rows the dialog says that
    // no scanner was found and what to check.
    void ShowDevices(const QStringList& rows, int preselected);

    bool Looking() const { return looking_; }
    // The chosen row once accepted, -1 without one.
    int ChosenRow() const;
    // Rows shown by the last ShowDevices.
    int RowCount() const;

    std::function<void()> onSearchAgain;

private:
    void UpdateButtons();

    bool looking_ = false;
    QListWidget* list_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* busy_ = nullptr;
    QPushButton* choose_ = nullptr;
    QPushButton* again_ = nullptr;
    QPushButton* cancel_ = nullptr;
};
