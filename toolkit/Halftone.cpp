#include "Halftone.h"

#include <algorithm>
#include <array>

namespace {

constexpr int CubeLevels = 6;
constexpr int CubeStep = 51;
constexpr int GreyCount = 40;

// Greys evenly spread over 0..255 that are not already on the cube's diagonal.
constexpr std::array<int, GreyCount> GreyLevels() {
    std::array<int, GreyCount> levels{};
    for (int i = 0; i < GreyCount; ++i)
        levels[i] = ((i + 1) * 255 * 2 + 41) / (2 * 41);
    return levels;
}
constexpr std::array<int, GreyCount> Greys = GreyLevels();

int Square(int v) {
    return v * v;
}

} // namespace

const std::vector<TRGBQuad>& HalftonePalette() {
    static const std::vector<TRGBQuad> palette = [] {
        std::vector<TRGBQuad> p;
        p.reserve(256);
        for (int r = 0; r < CubeLevels; ++r)
            for (int g = 0; g < CubeLevels; ++g)
                for (int b = 0; b < CubeLevels; ++b)
                    p.push_back(TRGBQuad{std::uint8_t(b * CubeStep), std::uint8_t(g * CubeStep),
                                         std::uint8_t(r * CubeStep), 0});
        for (int v : Greys)
            p.push_back(TRGBQuad{std::uint8_t(v), std::uint8_t(v), std::uint8_t(v), 0});
        return p;
    }();
    return palette;
}

std::uint8_t HalftoneIndex(int r, int g, int b) {
    // The nearest cube colour rounds each channel on its own (the cube is a grid). The nearest grey
    // is the grey level nearest to the channels' mean, since the distance to (v, v, v) grows with
    // (v - mean)². The answer is the nearer of the two, the cube on a tie (lower index).
    const int cr = (r + CubeStep / 2) / CubeStep, cg = (g + CubeStep / 2) / CubeStep,
              cb = (b + CubeStep / 2) / CubeStep;
    const int cubeDistance =
        Square(r - cr * CubeStep) + Square(g - cg * CubeStep) + Square(b - cb * CubeStep);
    const int cubeIndex = (cr * CubeLevels + cg) * CubeLevels + cb;

    // Compare 3v against the channel sum to stay in integers.
    const int sum = r + g + b;
    const auto above =
        std::lower_bound(Greys.begin(), Greys.end(), 0, [sum](int level, int) { return 3 * level < sum; });
    int greyIndex = -1;
    int greyDistance = 0;
    for (auto it : {above - 1, above}) {
        if (it < Greys.begin() || it >= Greys.end())
            continue;
        const int v = *it;
        const int d = Square(r - v) + Square(g - v) + Square(b - v);
        if (greyIndex < 0 || d < greyDistance) {
            greyIndex = int(it - Greys.begin());
            greyDistance = d;
        }
    }
    if (greyIndex >= 0 && greyDistance < cubeDistance)
        return std::uint8_t(216 + greyIndex);
    return std::uint8_t(cubeIndex);
}
