// TPrinter: the printer the program prints to, over Qt Print Support and CUPS. One document at a time:
// BeginDoc starts a document and its first page, Canvas draws on the page, EndDoc sends the job. A
// document made elsewhere as a PDF goes to the same printer as one job through PrintDocument.
#pragma once

#include <QRectF>
#include <QString>

#include <functional>
#include <memory>

class QIODevice;

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

    // How many copies of each document are printed (1 to 99), and whether each copy is complete before
    // the next one starts (collated) or each page comes as many times in a row (uncollated).
    int Copies() const { return copies_; }
    void SetCopies(int copies);
    bool Collate() const { return collate_; }
    void SetCollate(bool collate) { collate_ = collate; }
    // Whether the print service makes the copies itself, so that a document is sent once with the count
    // (CUPS says so for its queues, for collated copies); otherwise the program sends every copy.
    bool MakesCopies();
    // Whether both sides of each sheet are printed (the set-up's two-sided printing).
    bool TwoSided();

    bool Printing() const { return painter_ != nullptr; }
    void BeginDoc();
    // How many times the document begun last must be drawn: 1 when the printer makes the copies.
    int CopiesToDraw() const { return copiesToDraw_; }
    // Ends the page and starts the next one of the same document.
    void NewPage();
    void EndDoc();
    // Drops a document that could not be finished; nothing is sent.
    void Abort();
    TCanvas& Canvas();

    // The sheet of the chosen paper and orientation, and its printable area on it, in points from the
    // sheet's top-left corner.
    QRectF SheetPoints();
    QRectF PrintableAreaPoints();
    // Sends a PDF document, written by `write`, as one job with the copies, collation, two-sided
    // printing and colour of the set-up (its copies only when the printer makes them). The job goes to
    // the print service only once the document is complete; a printer that is gone or refuses the job
    // raises EPrinter and nothing is printed. Printing to a file writes the PDF there.
    void PrintDocument(const std::function<void(QIODevice&)>& write);

    // The printer set-up dialog (printer, paper, orientation, the printer's own properties); the choice
    // holds for the next print. Returns whether it was confirmed.
    bool ExecuteSetupDialog(QWidget* parent);

    // The underlying printer (tests print to a file through it).
    QPrinter& Device();

    // The set-up chosen last (printer, paper, orientation, two-sided printing, copies, collation), kept in
    // a file between runs. A printer that has gone since leaves the default printer in its place.
    void LoadSetup(const QString& fileName);
    void SaveSetup(const QString& fileName);
    // "$XDG_CONFIG_HOME/zrk201/printer.json" (the configuration folder defaults to ~/.config).
    static QString SetupFileName();

private:
    void CheckPrinter();

    std::unique_ptr<QPrinter> printer_;
    std::unique_ptr<QPainter> painter_;
    std::unique_ptr<TCanvas> canvas_;
    QString title_;
    int copies_ = 1;
    bool collate_ = true;
    int copiesToDraw_ = 1;
};

// The program's one printer.
TPrinter& Printer();
