#include "ToneFormulas.h"

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
    return GrayLevelExtended(r, g, b);
}

} // namespace tone
