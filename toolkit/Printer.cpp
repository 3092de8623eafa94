#include "Printer.h"

#include "Canvas.h"
#include "Exceptions.h"
#include "PrinterSetupDialog.h"
#include "RunFolder.h"
#include "SafeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cups/cups.h>

#include <algorithm>

namespace {

// A queue as CUPS knows it now; freed with the holder.
struct TCupsDest {
    cups_dest_t* dest = nullptr;
    explicit TCupsDest(const QString& name)
        : dest(cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.toUtf8().constData(), nullptr)) {}
    ~TCupsDest() {
        if (dest)
            cupsFreeDests(1, dest);
    }
    TCupsDest(const TCupsDest&) = delete;
    TCupsDest& operator=(const TCupsDest&) = delete;
};

EPrinter PrinterGone(const QString& name) {
    return EPrinter(QStringLiteral("Принтер «%1» больше не доступен. Выберите принтер в «Настройка печати» "
                                   "и повторите печать")
                        .arg(name));
}

const char* SidesOption(QPrinter::DuplexMode duplex) {
    switch (duplex) {
    case QPrinter::DuplexLongSide:
    case QPrinter::DuplexAuto:
        return "two-sided-long-edge";
    case QPrinter::DuplexShortSide:
        return "two-sided-short-edge";
    case QPrinter::DuplexNone:
        break;
    }
    return "one-sided";
}

} // namespace

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
    // The queue chosen in the set-up may have gone since, or stopped taking jobs: nothing is sent then,
    // rather than a job that never prints.
    const TCupsDest dest(printer.printerName());
    if (!dest.dest)
        throw PrinterGone(printer.printerName());
    const char* accepting =
        cupsGetOption("printer-is-accepting-jobs", dest.dest->num_options, dest.dest->options);
    if (accepting && QByteArray(accepting) == "false")
        throw EPrinter(QStringLiteral("Принтер «%1» сейчас не принимает задания; ничего не напечатано")
                           .arg(printer.printerName()));
}

void TPrinter::SetCopies(int copies) {
    copies_ = std::clamp(copies, 1, 99);
}

bool TPrinter::MakesCopies() {
    QPrinter& printer = Device();
    if (printer.outputFormat() != QPrinter::NativeFormat || printer.printerName().isEmpty())
        return false;
    // CUPS makes collated copies of a whole document itself for any printer; an uncollated count goes
    // on to the printer's own driver, and some drivers (the PDF printer's among them) make one copy
    // whatever the count. Uncollated copies are sent by the program.
    if (!collate_ && copies_ > 1)
        return false;
    const TCupsDest dest(printer.printerName());
    if (!dest.dest)
        return false;
    bool makes = false;
    if (cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest.dest)) {
        if (ipp_attribute_t* copies =
                cupsFindDestSupported(CUPS_HTTP_DEFAULT, dest.dest, info, CUPS_COPIES)) {
            int upper = 0;
            ippGetRange(copies, 0, &upper);
            makes = upper >= copies_;
        }
        cupsFreeDestInfo(info);
    }
    return makes;
}

bool TPrinter::TwoSided() {
    return Device().duplex() != QPrinter::DuplexNone;
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
    const bool makesCopies = MakesCopies();
    printer.setCopyCount(makesCopies ? copies_ : 1);
    printer.setCollateCopies(collate_);
    copiesToDraw_ = makesCopies ? 1 : copies_;
    auto painter = std::make_unique<QPainter>();
    if (!painter->begin(&printer))
        throw EPrinter(QString::fromLatin1(msg::InvalidPrinter));
    painter_ = std::move(painter);
    canvas_ = std::make_unique<TCanvas>(painter_.get());
}

void TPrinter::NewPage() {
    if (!painter_)
        throw EPrinter(QStringLiteral("Printer is not currently printing"));
    if (!printer_->newPage())
        throw EPrinter(QString::fromLatin1(msg::InvalidPrinter));
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
    TPrinterChoice current = TPrinterChoice::Of(printer);
    current.copies = copies_;
    current.collate = collate_;
    TPrinterSetupDialog dialog(current, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    dialog.Choice().ApplyTo(printer);
    SetCopies(dialog.Choice().copies);
    collate_ = dialog.Choice().collate;
    SaveSetup(SetupFileName());
    return true;
}

QRectF TPrinter::SheetPoints() {
    CheckPrinter();
    return Device().pageLayout().fullRect(QPageLayout::Point);
}

QRectF TPrinter::PrintableAreaPoints() {
    CheckPrinter();
    return Device().pageLayout().paintRect(QPageLayout::Point);
}

void TPrinter::PrintDocument(const std::function<void(QIODevice&)>& write) {
    CheckPrinter();
    QPrinter& printer = Device();
    if (printer.outputFormat() == QPrinter::PdfFormat) {
        SaveFileSafely(printer.outputFileName(), write);
        return;
    }
    // The whole document is made before the job is created, so that a failure while making it
    // leaves nothing in the queue.
    const QString runFolder = RunFolder::Path();
    QTemporaryFile document(
        QDir(runFolder.isEmpty() ? QDir::tempPath() : runFolder).filePath(QStringLiteral("job-XXXXXX.pdf")));
    if (!document.open())
        throw EFCreateError(document.fileTemplate());
    try {
        write(document);
    } catch (const EWriteError&) {
        throw EFCreateError(document.fileName());
    }
    if (!document.flush())
        throw EFCreateError(document.fileName());

    const QByteArray name = printer.printerName().toUtf8();
    const bool makesCopies = MakesCopies();
    cups_option_t* options = nullptr;
    int count = 0;
    count = cupsAddOption(CUPS_COPIES, QByteArray::number(makesCopies ? copies_ : 1).constData(), count,
                          &options);
    count = cupsAddOption("Collate", collate_ ? "True" : "False", count, &options);
    count = cupsAddOption(CUPS_SIDES, SidesOption(printer.duplex()), count, &options);
    count = cupsAddOption(CUPS_PRINT_COLOR_MODE,
                          printer.colorMode() == QPrinter::GrayScale ? CUPS_PRINT_COLOR_MODE_MONOCHROME
                                                                     : CUPS_PRINT_COLOR_MODE_COLOR,
                          count, &options);
    const QString media = printer.pageLayout().pageSize().key();
    if (!media.isEmpty())
        count = cupsAddOption(CUPS_MEDIA, media.toUtf8().constData(), count, &options);
    const int job = cupsPrintFile2(CUPS_HTTP_DEFAULT, name.constData(),
                                   QFile::encodeName(document.fileName()).constData(),
                                   title_.toUtf8().constData(), count, options);
    cupsFreeOptions(count, options);
    if (job == 0) {
        if (!TCupsDest(printer.printerName()).dest)
            throw PrinterGone(printer.printerName());
        throw EPrinter(QStringLiteral("Принтер «%1» не принял задание (%2); ничего не напечатано")
                           .arg(printer.printerName(), QString::fromUtf8(cupsLastErrorString())));
    }
}

QString TPrinter::SetupFileName() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(folder).filePath(QStringLiteral("zrk201/printer.json"));
}

void TPrinter::LoadSetup(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QJsonObject setup = QJsonDocument::fromJson(file.read(64 * 1024)).object();
    if (setup.isEmpty())
        return;
    QPrinter& printer = Device();
    // A printer that has gone since leaves the default one, with the rest of the set-up.
    QPrinterInfo info = QPrinterInfo::printerInfo(setup.value(QLatin1String("printer")).toString());
    if (info.isNull())
        info = QPrinterInfo::defaultPrinter();
    TPrinterChoice choice = TPrinterChoice::Of(printer);
    choice.printerName = info.printerName();
    if (!info.isNull())
        choice.colorMode = info.defaultColorMode();
    const QPageSize paper(QPageSize::PageSizeId(setup.value(QLatin1String("paper")).toInt(-1)));
    if (paper.isValid() && paper.id() != QPageSize::Custom)
        choice.pageSize = paper;
    choice.orientation = setup.value(QLatin1String("orientation")).toString() == QLatin1String("landscape")
                             ? QPageLayout::Landscape
                             : QPageLayout::Portrait;
    const int duplex = setup.value(QLatin1String("duplex")).toInt(int(info.defaultDuplexMode()));
    if (info.supportedDuplexModes().contains(QPrinter::DuplexMode(duplex)))
        choice.duplex = QPrinter::DuplexMode(duplex);
    choice.resolution = 0;
    choice.ApplyTo(printer);
    SetCopies(setup.value(QLatin1String("copies")).toInt(1));
    collate_ = setup.value(QLatin1String("collate")).toBool(true);
}

void TPrinter::SaveSetup(const QString& fileName) {
    QPrinter& printer = Device();
    QJsonObject setup;
    setup.insert(QLatin1String("printer"), printer.printerName());
    setup.insert(QLatin1String("paper"), int(printer.pageLayout().pageSize().id()));
    setup.insert(QLatin1String("orientation"), printer.pageLayout().orientation() == QPageLayout::Landscape
                                                   ? QLatin1String("landscape")
                                                   : QLatin1String("portrait"));
    setup.insert(QLatin1String("duplex"), int(printer.duplex()));
    setup.insert(QLatin1String("copies"), copies_);
    setup.insert(QLatin1String("collate"), collate_);
    const QByteArray bytes = QJsonDocument(setup).toJson();
    // A set-up that cannot be kept costs only the next run's choice; this run goes on with it.
    try {
        QDir().mkpath(QFileInfo(fileName).absolutePath());
        SaveFileSafely(fileName, [&](QIODevice& out) { WriteBytes(out, bytes.constData(), bytes.size()); });
    } catch (const Exception&) {
    }
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
        printer->LoadSetup(TPrinter::SetupFileName());
        // The printer goes with the application, while Qt's print support is still there.
        qAddPostRoutine([] { PrinterSlot().reset(); });
    }
    return *printer;
}
