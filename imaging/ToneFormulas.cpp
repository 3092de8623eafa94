#include "ToneFormulas.h"

#include <array>
#include <cmath>

namespace tone {

namespace {
// π to the precision of the extended format.
constexpr long double Pi = 3.141592653589793238462643383279502884L;
} // namespace

int Posterize(int c, int n) {
    const double quotient = double(c) / double(n);
    return Mul32(std::int32_t(std::nearbyint(quotient)), n);
}

std::uint8_t SplitLightStep(int c) {
    const long double angle = (static_cast<long double>(c) / 255.0L) * Pi / 2.0L;
    const long double product = std::sin(angle) * 255.0L;
    const double rounded = static_cast<double>(product);
    return static_cast<std::uint8_t>(std::nearbyint(rounded));
}

std::uint8_t GrayLevelExtended(int r, int g, int b) {
    const long double sum = (static_cast<long double>(r) * 0.3L + static_cast<long double>(g) * 0.59L) +
                            static_cast<long double>(b) * 0.11L;
    return static_cast<std::uint8_t>(std::nearbyint(sum));
}

namespace {

// For every red and green, the blues that make a half are b0, b0 + 100 and b0 + 200 (as far as they are
// bytes), b0 below 100, since 11 is invertible modulo 100 (11 × 91 = 1001). Bit k of the entry for
// (red, green) says whether the half with blue b0 + 100 k rounds up; a blue's k is blue div 100.
struct HalfTable {
    std::array<std::uint8_t, 65536 + 3> up{};

    HalfTable() {
        for (int r = 0; r < 256; ++r)
            for (int g = 0; g < 256; ++g) {
                const int b0 = ((91 * (50 - 30 * r - 59 * g)) % 100 + 100) % 100;
                std::uint8_t bits = 0;
                for (int k = 0, b = b0; b < 256; ++k, b += 100) {
                    const int whole = (30 * r + 59 * g + 11 * b) / 100;
                    if (GrayLevelExtended(r, g, b) > whole)
                        bits = std::uint8_t(bits | 1 << k);
                }
                up[std::size_t(r << 8 | g)] = bits;
            }
    }
};

const HalfTable& Halves() {
    static const HalfTable table;
    return table;
}

} // namespace

const std::uint8_t* GrayHalfTable() {
    return Halves().up.data();
}

bool GrayHalfRoundsUp(int r, int g, int b) {
    return (Halves().up[std::size_t(r << 8 | g)] >> (b / 100)) & 1;
}

std::uint8_t GrayLevel(int r, int g, int b) {
    // The exact sum is (30 R + 59 G + 11 B) / 100. Away from a half, the extended evaluation (whose
    // error is far below 0.01) rounds it the same way; at a half its own rounding errors decide.
    const int hundredths = 30 * r + 59 * g + 11 * b;
    const int whole = hundredths / 100;
    const int rest = hundredths - whole * 100;
    if (rest < 50)
        return static_cast<std::uint8_t>(whole);
    if (rest > 50)
        return static_cast<std::uint8_t>(whole + 1);
    return static_cast<std::uint8_t>(whole + int(GrayHalfRoundsUp(r, g, b)));
}

} // namespace tone
