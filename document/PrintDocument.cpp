// Printing a document as one job.
#include "Document.h"

#include "Printer.h"

namespace document {

void PrintPages(TPrinter& printer, const TPages& pages) {
    // Each page over the printable area of its sheet, as "Печать" prints one.
    const TSheet sheet{printer.SheetPoints(), printer.PrintableAreaPoints()};
    TPages sheets;
    if (printer.MakesCopies()) {
        sheets = pages;
    } else {
        for (int index :
             SheetOrder(int(pages.size()), printer.Copies(), printer.Collate(), printer.TwoSided()))
            sheets.push_back(index < 0 ? nullptr : pages[std::size_t(index)]);
    }
    printer.PrintDocument([&](QIODevice& out) { WritePdf(out, sheets, sheet); });
}

} // namespace document
