// The printer set-up dialog: which printer (every print queue the system has), the paper size, the
// orientation, the number of copies and their collation and, behind "Свойства...", the printer's own
// properties (colour, two-sided printing, resolution). "OK" keeps the choice for the following prints;
// "Отмена" leaves everything as it was.
#pragma once

#include <QDialog>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;
class QPushButton;
class QRadioButton;

// What the dialog chooses, read from a printer and written back to it.
struct TPrinterChoice {
    QString printerName;
    QPageSize pageSize;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QPrinter::ColorMode colorMode = QPrinter::Color;
    QPrinter::DuplexMode duplex = QPrinter::DuplexNone;
    int resolution = 0; // dots per inch; 0 leaves the printer's
    // Kept by the printer object, not by the device: the program makes the copies itself where the
    // printer cannot.
    int copies = 1;
    bool collate = true;

    static TPrinterChoice Of(const QPrinter& printer);
    void ApplyTo(QPrinter& printer) const;
};

class TPrinterSetupDialog : public QDialog {
    Q_OBJECT

public:
    TPrinterSetupDialog(const TPrinterChoice& current, QWidget* parent);

    const TPrinterChoice& Choice() const { return choice_; }

private:
    void ShowPrinter(const QString& name);
    void ShowProperties();

    TPrinterChoice choice_;
    QComboBox* printers_;
    QLabel* status_;
    QLabel* type_;
    QLabel* where_;
    QLabel* comment_;
    QPushButton* properties_;
    QComboBox* paper_;
    QRadioButton* portrait_;
    QRadioButton* landscape_;
    QSpinBox* copies_;
    QCheckBox* collate_;
    QPushButton* ok_;
};
