// A document: pages printed as one job or saved as one PDF file. A page is a 24-bit picture or an 8-bit
// one whose colour table is the 256 greys in order (how the ring keeps a black-and-white page); a page of
// greys only goes into the document as one grey channel, so no colour data is made or sent for it.
#pragma once

#include <QRectF>
#include <QString>

#include <vector>

class QIODevice;
class TBitmap;
class TPrinter;

namespace document {

// The pages in order; nullptr stands for a blank page (the back of a sheet printed on both sides).
using TPages = std::vector<const TBitmap*>;

// Where the pages lie on each sheet of a PDF, in points from the sheet's top-left corner: every page is
// stretched over the picture area, its proportions not kept, as a printed page is.
struct TSheet {
    QRectF Paper;
    QRectF Picture;
};

// An A4 sheet with the picture over the whole of it.
TSheet A4Sheet();

// The JPEG quality of the pictures in a PDF: a scanned page at 300 dots per inch takes about a megabyte
// and looks the same as the page.
inline constexpr int PdfQuality = 85;

// The order of the pages when the program makes `copies` copies of `pages` pages itself, as page
// indices: collated 0 1 2 0 1 2, uncollated 0 0 1 1 2 2. Printed on both sides, the copies are made of
// sheets, each copy starting on a sheet of its own: collated 0 1 2 -1 0 1 2 -1, uncollated 0 1 0 1 2 -1
// 2 -1, where -1 is the blank back of a sheet.
std::vector<int> SheetOrder(int pages, int copies, bool collate, bool twoSided = false);

// Whether every pixel of a page is grey.
bool IsGreyPage(const TBitmap& page);

// Writes the pages as a PDF, one sheet per page. Raises EWriteError when the device refuses bytes.
void WritePdf(QIODevice& out, const TPages& pages, const TSheet& sheet);

// Saves the pages as one PDF of A4 sheets in place of `fileName`, through the program's one safe save:
// a save that fails leaves the file that was there as it was and raises EFCreateError.
void SavePdf(const QString& fileName, const TPages& pages);

// Prints the pages as one job on the printer, each over the printable area of its own sheet, with the
// copies, collation and two-sided printing of the set-up. Raises EPrinter when there is no printer, when
// it has gone or when it refuses the job; nothing is printed then.
void PrintPages(TPrinter& printer, const TPages& pages);

} // namespace document
