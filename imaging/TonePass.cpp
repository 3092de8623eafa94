#include "TonePass.h"

#include "ToneFormulas.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <thread>
#include <vector>

using tone::Add32;
using tone::Mul32;

namespace {

inline std::uint8_t Clamp(std::int32_t v) {
    return std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Posterize (or the solarize inversion), then contrast, lightness, darkness and brightness: everything
// that happens to one channel before the noise offset is added and the sum is clamped.
std::int32_t ChannelSum(const ToneSettings& s, int c, bool solarized) {
    if (s.Posterize != 0)
        c = tone::Posterize(c, s.Posterize);
    else if (solarized)
        c = 255 - c;
    std::int32_t contrast = 0;
    if (s.Contrast != 0) {
        const std::int32_t d = Mul32(std::abs(127 - c), s.Contrast) / 255;
        contrast = c >= 128 ? d : -d;
    }
    const std::int32_t lightness = s.Lightness != 0 ? Mul32(255 - c, s.Lightness) / 255 : 0;
    const std::int32_t darkness =
        s.Darkness != 0 ? std::int32_t(0u - std::uint32_t(Mul32(c, s.Darkness))) / 255 : 0;
    return Add32(Add32(Add32(Add32(c, contrast), lightness), darkness), s.Brightness);
}

inline std::uint8_t Saturate(int c, int mean, std::int32_t factor) {
    return Clamp(Add32(Mul32(c - mean, factor) / 255, mean));
}

// Everything about the settings that can be worked out once per pass.
struct Tables {
    bool solarize = false;
    int solarizeAbove = 0;                                // the mean that must be exceeded to invert
    std::array<std::array<std::int32_t, 256>, 2> sums;    // [solarized][channel]: the sum before noise
    std::array<std::array<std::uint8_t, 256>, 2> clamped; // the same, clamped and split-lit
    std::array<std::uint8_t, 256> split;                  // split light, all steps
    std::array<int, 256> red30, green59, blue11;          // weighted channels in hundredths
    std::int32_t saturationFactor = 255;

    explicit Tables(const ToneSettings& s) {
        solarize = s.Posterize == 0 && s.Solarize != 0;
        solarizeAbove = 255 - s.Solarize;
        for (int c = 0; c < 256; ++c) {
            std::uint8_t v = std::uint8_t(c);
            for (int step = 0; step < s.Splitlight; ++step)
                v = tone::SplitLightStep(v);
            split[std::size_t(c)] = v;
            red30[std::size_t(c)] = 30 * c;
            green59[std::size_t(c)] = 59 * c;
            blue11[std::size_t(c)] = 11 * c;
        }
        for (int inverted = 0; inverted < 2; ++inverted)
            for (int c = 0; c < 256; ++c) {
                sums[std::size_t(inverted)][std::size_t(c)] = ChannelSum(s, c, inverted != 0);
                clamped[std::size_t(inverted)][std::size_t(c)] =
                    split[Clamp(sums[std::size_t(inverted)][std::size_t(c)])];
            }
        saturationFactor = Add32(s.Saturation, 255);
    }

    std::uint8_t Gray(int r, int g, int b) const {
        const int hundredths = red30[std::size_t(r)] + green59[std::size_t(g)] + blue11[std::size_t(b)];
        const int whole = hundredths / 100;
        const int rest = hundredths - whole * 100;
        if (rest != 50)
            return std::uint8_t(whole + (rest > 50));
        return tone::GrayLevelExtended(r, g, b);
    }
};

// The main window's case, black-and-white without noise or solarize: each channel goes through its
// table straight into hundredths of the grey level.
void GreyRows(const ToneSettings& s, const Tables& t, ConstPixelRows source, PixelRows result, int width,
              int yBegin, int yEnd) {
    std::array<int, 256> red, green, blue;
    for (std::size_t c = 0; c < 256; ++c) {
        red[c] = 30 * t.clamped[0][c];
        green[c] = 59 * t.clamped[0][c];
        blue[c] = 11 * t.clamped[0][c];
    }
    const std::uint8_t invert = s.Invert ? 255 : 0;
    for (int y = yBegin; y < yEnd; ++y) {
        const std::uint8_t* in = source.Row(y);
        std::uint8_t* out = result.Row(y);
        for (int x = 0; x < width; ++x, in += 3, out += 3) {
            const int hundredths = red[in[2]] + green[in[1]] + blue[in[0]];
            const int whole = hundredths / 100;
            const int rest = hundredths - whole * 100;
            std::uint8_t g = std::uint8_t(whole + (rest > 50));
            if (rest == 50) // a half: extended precision decides, from the adjusted channels
                g = tone::GrayLevelExtended(t.clamped[0][in[2]], t.clamped[0][in[1]], t.clamped[0][in[0]]);
            g ^= invert;
            out[0] = out[1] = out[2] = g;
        }
    }
}

void PassRows(const ToneSettings& s, const Tables& t, ConstPixelRows source, ConstPixelRows noise,
              PixelRows result, int width, int yBegin, int yEnd) {
    if (s.GrayScale && !noise.First && !t.solarize) {
        GreyRows(s, t, source, result, width, yBegin, yEnd);
        return;
    }
    const bool hasNoise = noise.First != nullptr;
    const bool saturate = !s.GrayScale && s.Saturation != 0;
    const std::uint8_t invert = s.Invert ? 255 : 0;
    for (int y = yBegin; y < yEnd; ++y) {
        const std::uint8_t* in = source.Row(y);
        const std::uint8_t* offsets = hasNoise ? noise.Row(y) : nullptr;
        std::uint8_t* out = result.Row(y);
        for (int x = 0; x < width; ++x, in += 3, out += 3) {
            const int b0 = in[0], g0 = in[1], r0 = in[2];
            const std::size_t variant = t.solarize && (r0 + g0 + b0) / 3 > t.solarizeAbove ? 1 : 0;
            int r, g, b;
            if (hasNoise) {
                const std::uint8_t* n = offsets + 3 * x;
                b = t.split[Clamp(Add32(t.sums[variant][std::size_t(b0)], n[0]))];
                g = t.split[Clamp(Add32(t.sums[variant][std::size_t(g0)], n[1]))];
                r = t.split[Clamp(Add32(t.sums[variant][std::size_t(r0)], n[2]))];
            } else {
                b = t.clamped[variant][std::size_t(b0)];
                g = t.clamped[variant][std::size_t(g0)];
                r = t.clamped[variant][std::size_t(r0)];
            }
            if (s.GrayScale) {
                r = g = b = t.Gray(r, g, b);
            } else if (saturate) {
                const int mean = (r + g + b) / 3;
                r = Saturate(r, mean, t.saturationFactor);
                g = Saturate(g, mean, t.saturationFactor);
                b = Saturate(b, mean, t.saturationFactor);
            }
            out[0] = std::uint8_t(b ^ invert);
            out[1] = std::uint8_t(g ^ invert);
            out[2] = std::uint8_t(r ^ invert);
        }
    }
}

// Below this many pixels a second thread costs more than it saves.
constexpr long long PixelsPerThread = 1 << 18;

} // namespace

void RunTonePass(const ToneSettings& settings, ConstPixelRows source, ConstPixelRows noise, PixelRows result,
                 int width, int height) {
    if (width <= 0 || height <= 0)
        return;
    const Tables tables(settings);
    const long long pixels = 1LL * width * height;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const int parts = int(std::min<long long>({cores, pixels / PixelsPerThread + 1, height}));
    if (parts <= 1) {
        PassRows(settings, tables, source, noise, result, width, 0, height);
        return;
    }
    std::vector<std::thread> helpers;
    helpers.reserve(std::size_t(parts - 1));
    for (int part = 1; part < parts; ++part) {
        const int begin = int(1LL * height * part / parts), end = int(1LL * height * (part + 1) / parts);
        helpers.emplace_back(PassRows, std::cref(settings), std::cref(tables), source, noise, result, width,
                             begin, end);
    }
    PassRows(settings, tables, source, noise, result, width, 0, int(1LL * height / parts));
    for (std::thread& helper : helpers)
        helper.join();
}
