// The pages of a document: their order when the program makes the copies, and which of them are grey.
#include "Document.h"

#include "Bitmap.h"

#include <QPageSize>

#include <cstring>

namespace document {

TSheet A4Sheet() {
    const QRectF a4(QPointF(0, 0), QPageSize(QPageSize::A4).sizePoints());
    return {a4, a4};
}

std::vector<int> SheetOrder(int pages, int copies, bool collate, bool twoSided) {
    std::vector<int> order;
    if (pages <= 0 || copies <= 0)
        return order;
    // The unit that is repeated: a page, or a sheet of two pages when both sides are printed.
    const int perUnit = twoSided ? 2 : 1;
    const int units = (pages + perUnit - 1) / perUnit;
    const auto addUnit = [&](int unit) {
        for (int side = 0; side < perUnit; ++side) {
            const int page = unit * perUnit + side;
            order.push_back(page < pages ? page : -1);
        }
    };
    order.reserve(std::size_t(units * perUnit) * std::size_t(copies));
    for (int outer = 0; outer < (collate ? copies : units); ++outer)
        for (int inner = 0; inner < (collate ? units : copies); ++inner)
            addUnit(collate ? inner : outer);
    return order;
}

bool IsGreyPage(const TBitmap& page) {
    if (page.Empty())
        return false;
    if (page.PixelFormat() == TPixelFormat::pf8bit) {
        const TColorTable& colors = page.ColorTable();
        if (colors.size() != 256)
            return false;
        for (std::size_t i = 0; i < colors.size(); ++i)
            if (colors[i].Red != i || colors[i].Green != i || colors[i].Blue != i)
                return false;
        return true;
    }
    if (page.PixelFormat() != TPixelFormat::pf24bit)
        return false;
    for (int y = 0; y < page.Height(); ++y) {
        const std::uint8_t* p = page.ConstScanLine(y);
        for (int x = 0; x < page.Width(); ++x, p += 3)
            if (p[0] != p[1] || p[1] != p[2])
                return false;
    }
    return true;
}

} // namespace document
