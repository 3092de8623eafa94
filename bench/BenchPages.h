// Pages for the benchmarks: an A4 sheet at 300 and 600 dots per inch, of random pixels (the hardest
// case for the tone pass) or like a scan (shading, grain and blocks of text, which compresses as
// scans do), and the application the window and the image control need.
#pragma once

#include "Bitmap.h"
#include "GreyPage.h"

#include <QApplication>

#include <cstdint>
#include <random>

namespace benchpages {

inline int Width(int dpi) {
    return dpi == 600 ? 4960 : 2480;
}
inline int Height(int dpi) {
    return dpi == 600 ? 7016 : 3508;
}

inline TBitmap RandomPage(int dpi) {
    TBitmap page;
    page.SetSize(Width(dpi), Height(dpi));
    std::mt19937 random(1);
    for (int y = 0; y < page.Height(); ++y) {
        std::uint8_t* row = page.ScanLine(y);
        for (int x = 0; x < 3 * page.Width(); ++x)
            row[x] = std::uint8_t(random());
    }
    return page;
}

inline TBitmap ScanLikePage(int dpi) {
    TBitmap page;
    page.SetSize(Width(dpi), Height(dpi));
    std::mt19937 random(7);
    const int scale = dpi / 300;
    for (int y = 0; y < page.Height(); ++y) {
        std::uint8_t* row = page.ScanLine(y);
        for (int x = 0; x < page.Width(); ++x) {
            const bool ink = (y / (40 * scale)) % 3 == 1 && (x / (25 * scale)) % 4 != 3;
            const int base = ink ? 30 : 220 + (x + y) / scale % 20;
            for (int c = 0; c < 3; ++c)
                row[3 * x + c] = std::uint8_t(base + int(random() % 8) - c);
        }
    }
    return page;
}

// A black-and-white page as the ring keeps it: 8 bits, the 256 greys in order.
inline TBitmap GreyScanLikePage(int dpi, int seed = 7) {
    TBitmap page;
    page.SetSize(Width(dpi), Height(dpi));
    std::mt19937 random{std::uint32_t(seed)};
    const int scale = dpi / 300;
    for (int y = 0; y < page.Height(); ++y) {
        std::uint8_t* row = page.ScanLine(y);
        for (int x = 0; x < page.Width(); ++x) {
            const bool ink = (y / (40 * scale)) % 3 == 1 && (x / (25 * scale)) % 4 != 3;
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] =
                std::uint8_t((ink ? 30 : 220 + (x + y) / scale % 20) + int(random() % 8));
        }
    }
    return *GreyPageOf(page);
}

// Bytes in one page of 24-bit rows (each padded to a multiple of four).
inline std::size_t PageBytes(int dpi) {
    return std::size_t((3 * Width(dpi) + 3) / 4 * 4) * std::size_t(Height(dpi));
}

// The application, made by the benchmarks' main before any benchmark runs (and gone before the
// program's statics are).
inline QApplication& App() {
    return *static_cast<QApplication*>(QCoreApplication::instance());
}

} // namespace benchpages
