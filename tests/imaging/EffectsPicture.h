// Test pictures for the pixel routines: 24-bit rows that may carry padding after each row (filled with a
// fixed pattern, so that a read beyond a row changes a result and a write beyond a row shows) and may be
// stored bottom-up (negative stride).
#pragma once

#include "PixelRows.h"

#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

class TestPicture {
public:
    static constexpr std::uint8_t Guard = 0xA5;

    TestPicture(int width, int height, int padding = 0, bool bottomUp = false)
        : w(width), h(height), rowBytes(3 * std::ptrdiff_t(width) + padding), bottomUp_(bottomUp),
          bytes(std::size_t(rowBytes) * std::size_t(height), Guard) {}

    int w, h;
    std::ptrdiff_t rowBytes;

    std::uint8_t& at(int x, int y, int c) { return bytes[Offset(x, y, c)]; }
    std::uint8_t at(int x, int y, int c) const { return bytes[Offset(x, y, c)]; }

    PixelRows Rows() {
        if (bytes.empty())
            return PixelRows{nullptr, rowBytes, w, h};
        if (bottomUp_)
            return PixelRows{bytes.data() + (h - 1) * rowBytes, -rowBytes, w, h};
        return PixelRows{bytes.data(), rowBytes, w, h};
    }

    void Fill(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                at(x, y, 0) = blue;
                at(x, y, 1) = green;
                at(x, y, 2) = red;
            }
    }

    void FillRandom(std::mt19937& rng) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c)
                    at(x, y, c) = std::uint8_t(rng());
    }

    // Pixels drawn from a few colours, so that neighbouring pixels are often alike.
    void FillFromColours(std::mt19937& rng, const std::vector<std::uint32_t>& rgb) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::uint32_t colour = rgb[rng() % rgb.size()];
                at(x, y, 0) = std::uint8_t(colour);
                at(x, y, 1) = std::uint8_t(colour >> 8);
                at(x, y, 2) = std::uint8_t(colour >> 16);
            }
    }

    bool PaddingIntact() const {
        for (int y = 0; y < h; ++y)
            for (std::ptrdiff_t i = 3 * std::ptrdiff_t(w); i < rowBytes; ++i)
                if (bytes[std::size_t(y * rowBytes + i)] != Guard)
                    return false;
        return true;
    }

    // "" when both hold the same pixels, else where they first differ.
    std::string DifferenceFrom(const TestPicture& other) const {
        if (w != other.w || h != other.h)
            return "sizes differ";
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c)
                    if (at(x, y, c) != other.at(x, y, c)) {
                        std::ostringstream s;
                        s << "pixel (" << x << ", " << y << ") channel " << c << ": " << int(at(x, y, c))
                          << " vs " << int(other.at(x, y, c)) << " in a " << w << " x " << h << " picture";
                        return s.str();
                    }
        return {};
    }

private:
    std::size_t Offset(int x, int y, int c) const {
        const int row = bottomUp_ ? h - 1 - y : y;
        return std::size_t(row * rowBytes + 3 * x + c);
    }

    bool bottomUp_;

public:
    std::vector<std::uint8_t> bytes;
};
