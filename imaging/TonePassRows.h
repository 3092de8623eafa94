// Inside the tone pass: what the pass works out once from the settings, and the rows of its fast cases
// for each pixel path (TonePass.cpp holds the scalar ones and chooses; TonePassAvx2.cpp and
// TonePassAvx512.cpp the vector ones). Every form gives the same bytes as the scalar one.
#pragma once

#include "PixelRows.h"
#include "ToneFormulas.h"
#include "TonePass.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tonepass {

// Results from this size on are written past the caches.
constexpr long long kStreamedBytes = 8LL << 20;

// A grey level in hundredths (30 R + 59 G + 11 B, at most 25500) that is an exact half is marked so;
// the low byte then holds the level rounded down.
constexpr std::uint16_t kHalf = 0x100;

// Contrast, lightness, darkness and brightness alone (no posterize, solarize or split light) in
// arithmetic small enough for 16-bit lanes: every product of a channel distance (at most 255) and a
// setting's size stays below 65536, and the sum stays far inside a signed 16-bit value. Vector code
// works a channel out this way with a few multiplications instead of looking it up, which is several
// times cheaper where the processor has no byte permutes. `usable` only when the form gives exactly the
// table, which the tables check value by value.
struct ToneArithmetic {
    bool usable = false;
    std::uint16_t contrast = 0, lightness = 0, darkness = 0; // the settings' sizes
    // All ones where a part is taken negative: contrast for channels from 128 on (below 128 it is the
    // other way round), lightness, and darkness (which takes its part away when positive).
    int contrastSign = 0, lightnessSign = 0, darknessSign = 0;
    std::int16_t brightness = 0;

    // One channel, clamped to a byte. In 16-bit values and without branches, so that a loop of it makes
    // vector code with 16-bit lanes. Loops may leave out the lightness or darkness part where it is 0.
    template <bool Lightness = true, bool Darkness = true> int Channel(std::uint8_t c) const {
        using U = std::uint16_t;
        const auto part = [](U product, U sign) { return U(U(U(product / 255) ^ sign) - sign); };
        const U below128 = U(c < 128 ? 0xFFFF : 0);
        const U away = U(c < 128 ? 127 - c : c - 127);
        U sum = U(c + brightness + part(U(away * contrast), U(below128 ^ contrastSign)));
        if (Lightness)
            sum = U(sum + part(U((255 - c) * lightness), U(lightnessSign)));
        if (Darkness)
            sum = U(sum + part(U(c * darkness), U(darknessSign)));
        return std::min<int>(std::max<int>(std::int16_t(sum), 0), 255);
    }
};

// Everything about the settings that can be worked out once per pass. Without noise, each channel of a
// pixel goes through one table of 256 entries (which of two, for solarize, depends on the pixel), and
// the result is exactly that of the formulas.
struct Tables {
    bool solarize = false;
    int solarizeAbove = 0;                                // the mean that must be exceeded to invert
    std::array<std::array<std::int32_t, 256>, 2> sums;    // [solarized][channel]: the sum before noise
    std::array<std::array<std::uint8_t, 256>, 2> clamped; // the same, clamped and split-lit
    std::array<std::uint8_t, 256> split;                  // split light, all steps
    std::int32_t saturationFactor = 255;
    ToneArithmetic arithmetic; // the unsolarized table as arithmetic, where it can be
    // For grey pictures without noise or solarize, in plain code: hundredths of each unsolarized
    // channel's table value (red × 30, green × 59, blue × 11), and the grey level of each sum of
    // hundredths. (The vector code works these out as it goes.)
    std::array<std::uint16_t, 256> red30{}, green59{}, blue11{};
    std::vector<std::uint16_t> level;
    const std::uint8_t* halfTable = nullptr;

    Tables(const ToneSettings& s, bool grey, bool greyLevels);

    std::uint8_t Gray(int r, int g, int b) const {
        const int hundredths = 30 * r + 59 * g + 11 * b;
        const int whole = hundredths / 100;
        const int rest = hundredths - whole * 100;
        if (rest != 50)
            return std::uint8_t(whole + (rest > 50));
        return std::uint8_t(whole + int(tone::GrayHalfRoundsUp(r, g, b)));
    }

    // In the grey case, whether the extended evaluation takes a source pixel (blue, green, red) whose
    // adjusted channels weigh in at a half one lower than half up.
    bool HalfGoesDown(const std::uint8_t* p) const {
        const unsigned r = clamped[0][p[2]], g = clamped[0][p[1]], b = clamped[0][p[0]];
        return ((halfTable[r << 8 | g] >> ((b * 656) >> 16)) & 1) == 0; // (b × 656) >> 16 is b div 100
    }
};

// How far ahead of the pass the source is asked for. The processor's own prefetching follows one row
// at a time; asking a few kilobytes ahead keeps more of the page on its way from memory while the
// vector work runs (a fifth less time for a page that is not in the caches).
constexpr int kPrefetchAhead = 4096;

// Where the pass asks for the source ahead of itself: `kPrefetchAhead` bytes past the byte it is at,
// read on into the next row whichever way the rows lie in memory (past the last row, the asking goes
// nowhere useful, which costs nothing: a prefetch never faults). Addresses, not pointers, as they may
// lie outside the picture.
class TAhead {
public:
    TAhead(const std::uint8_t* row, const std::uint8_t* next, int bytes)
        : inRow_(std::uintptr_t(row) + kPrefetchAhead),
          intoNext_(std::uintptr_t(next ? next : row) + kPrefetchAhead - std::uintptr_t(bytes)),
          last_(bytes - kPrefetchAhead) {}

    // Asks for `lines` cache lines from `kPrefetchAhead` bytes past byte i of the row. (Always inlined:
    // GCC takes a function that does nothing but prefetch for one without effects and drops its calls.)
    __attribute__((always_inline)) void Lines(int i, int lines) const {
        const std::uintptr_t at = (i < last_ ? inRow_ : intoNext_) + std::uintptr_t(i);
        for (int line = 0; line < lines; ++line)
            __builtin_prefetch(reinterpret_cast<const void*>(at + 64u * unsigned(line)), 0, 3);
    }

private:
    std::uintptr_t inRow_, intoNext_;
    int last_;
};

// The vector rows keep grey levels in 16-bit positions, so rows wider than this go the plain way.
constexpr int kWidestVectorGreyRow = 65536 - 64;

// The main window's black-and-white case (grey, without noise or solarize) and the colour case that
// takes every byte through one table, over rows [yBegin, yEnd); `stream` writes the result past the
// caches. The vector forms exist on x86-64 only, and run only where ProcessorHas their path.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ZRK_HAVE_VECTOR_PATHS 1
void GreyRowsAvx512(const Tables& t, std::uint8_t invert, ConstPixelRows source, PixelRows result, int width,
                    int yBegin, int yEnd, bool stream);
void TableRowsAvx512(const Tables& t, std::uint8_t invert, ConstPixelRows source, PixelRows result, int width,
                     int yBegin, int yEnd, bool stream);
void GreyRowsAvx2(const Tables& t, std::uint8_t invert, ConstPixelRows source, PixelRows result, int width,
                  int yBegin, int yEnd, bool stream);
void TableRowsAvx2(const Tables& t, std::uint8_t invert, ConstPixelRows source, PixelRows result, int width,
                   int yBegin, int yEnd, bool stream);
#endif

} // namespace tonepass
