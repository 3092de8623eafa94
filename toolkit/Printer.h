// TPrinter: the printer the program prints to, over Qt Print Support and CUPS. One document at a time:
// BeginDoc starts a document and its first page, Canvas draws on the page, EndDoc sends the job.
#pragma once

#include <QString>

#include <memory>

class QPrinter;
class QPainter;
class QWidget;
class TCanvas;

class TPrinter {
public:
    TPrinter();
    ~TPrinter();
    TPrinter(const TPrinter&) = delete;
    TPrinter& operator=(const TPrinter&) = delete;

    // The printable area of the current printer's page, in its device pixels. Raise
    // "There is no default printer currently selected" when there is no printer at all.
    int PageWidth();
    int PageHeight();

    // The document's name as the print queue shows it.
    const QString& Title() const { return title_; }
    void SetTitle(const QString& title) { title_ = title; }

    bool Printing() const { return painter_ != nullptr; }
    void BeginDoc();
    void EndDoc();
    // Drops a document that could not be finished; nothing is sent.
    void Abort();
    TCanvas& Canvas();

    // The printer set-up dialog (printer, paper, orientation, the printer's own properties); the choice
    // holds for the next print. Returns whether it was confirmed.
    bool ExecuteSetupDialog(QWidget* parent);

    // The underlying printer (tests print to a file through it).
    QPrinter& Device();

private:
    void CheckPrinter();

    std::unique_ptr<QPrinter> printer_;
    std::unique_ptr<QPainter> painter_;
    std::unique_ptr<TCanvas> canvas_;
    QString title_;
};

// The program's one printer.
TPrinter& Printer();
