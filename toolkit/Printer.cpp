#include "Printer.h"

#include "Canvas.h"
#include "Exceptions.h"
#include "PrinterSetupDialog.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

TPrinter::TPrinter() = default;

TPrinter::~TPrinter() {
    Abort();
}

QPrinter& TPrinter::Device() {
    if (!printer_) {
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer_->setFullPage(false);
    }
    return *printer_;
}

void TPrinter::CheckPrinter() {
    QPrinter& printer = Device();
    // A printer chosen in the set-up dialog, or printing to a file, needs no default printer.
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
        return;
    if (printer.printerName().isEmpty()) {
        const QPrinterInfo fallback = QPrinterInfo::defaultPrinter();
        if (fallback.isNull())
            throw EPrinter(QString::fromLatin1(msg::NoDefaultPrinter));
        printer.setPrinterName(fallback.printerName());
    }
}

int TPrinter::PageWidth() {
    CheckPrinter();
    QPrinter& printer = Device();
    return printer.pageLayout().paintRectPixels(printer.resolution()).width();
}

int TPrinter::PageHeight() {
    CheckPrinter();
    QPrinter& printer = Device();
    return printer.pageLayout().paintRectPixels(printer.resolution()).height();
}

void TPrinter::BeginDoc() {
    CheckPrinter();
    if (painter_)
        throw EPrinter(QStringLiteral("Printing in progress"));
    QPrinter& printer = Device();
    printer.setDocName(title_);
    auto painter = std::make_unique<QPainter>();
    if (!painter->begin(&printer))
        throw EPrinter(QString::fromLatin1(msg::InvalidPrinter));
    painter_ = std::move(painter);
    canvas_ = std::make_unique<TCanvas>(painter_.get());
}

void TPrinter::EndDoc() {
    if (!painter_)
        return;
    canvas_.reset();
    const bool sent = painter_->end();
    painter_.reset();
    if (!sent)
        throw EPrinter(QString::fromLatin1(msg::InvalidPrinter));
}

void TPrinter::Abort() {
    if (!painter_)
        return;
    canvas_.reset();
    if (printer_)
        printer_->abort();
    painter_->end();
    painter_.reset();
}

TCanvas& TPrinter::Canvas() {
    if (!canvas_)
        throw EPrinter(QStringLiteral("Printer is not currently printing"));
    return *canvas_;
}

bool TPrinter::ExecuteSetupDialog(QWidget* parent) {
    QPrinter& printer = Device();
    if (printer.printerName().isEmpty()) {
        const QPrinterInfo fallback = QPrinterInfo::defaultPrinter();
        if (!fallback.isNull())
            printer.setPrinterName(fallback.printerName());
    }
    TPrinterSetupDialog dialog(TPrinterChoice::Of(printer), parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    dialog.Choice().ApplyTo(printer);
    return true;
}

namespace {
std::unique_ptr<TPrinter>& PrinterSlot() {
    static std::unique_ptr<TPrinter> printer;
    return printer;
}
} // namespace

TPrinter& Printer() {
    std::unique_ptr<TPrinter>& printer = PrinterSlot();
    if (!printer) {
        printer = std::make_unique<TPrinter>();
        // The printer goes with the application, while Qt's print support is still there.
        qAddPostRoutine([] { PrinterSlot().reset(); });
    }
    return *printer;
}
