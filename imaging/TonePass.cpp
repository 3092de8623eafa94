#include "TonePass.h"

#include "PixelPath.h"
#include "RowParts.h"
#include "ToneFormulas.h"
#include "TonePassRows.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
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

// The arithmetic form of the settings, usable where it fits 16-bit lanes and gives every value of the
// table.
tonepass::ToneArithmetic Arithmetic(const ToneSettings& s, const std::array<std::uint8_t, 256>& table) {
    tonepass::ToneArithmetic a;
    if (s.Posterize != 0 || s.Splitlight != 0)
        return a;
    const auto size = [](int v) { return v < 0 ? -std::int64_t(v) : std::int64_t(v); };
    if (size(s.Contrast) > 65535 / 128 || size(s.Lightness) > 65535 / 255 || size(s.Darkness) > 65535 / 255 ||
        size(s.Brightness) > 16384)
        return a;
    a.contrast = std::uint16_t(size(s.Contrast));
    a.lightness = std::uint16_t(size(s.Lightness));
    a.darkness = std::uint16_t(size(s.Darkness));
    a.contrastSign = s.Contrast < 0 ? -1 : 0;
    a.lightnessSign = s.Lightness < 0 ? -1 : 0;
    a.darknessSign = s.Darkness < 0 ? 0 : -1;
    a.brightness = std::int16_t(s.Brightness);
    for (int c = 0; c < 256; ++c)
        if (a.Channel(c) != table[std::size_t(c)])
            return a;
    a.usable = true;
    return a;
}

} // namespace

namespace tonepass {

Tables::Tables(const ToneSettings& s, bool grey, bool greyLevels) {
    solarize = s.Posterize == 0 && s.Solarize != 0;
    solarizeAbove = 255 - s.Solarize;
    for (int c = 0; c < 256; ++c) {
        std::uint8_t v = std::uint8_t(c);
        for (int step = 0; step < s.Splitlight; ++step)
            v = tone::SplitLightStep(v);
        split[std::size_t(c)] = v;
    }
    for (int inverted = 0; inverted < 2; ++inverted)
        for (int c = 0; c < 256; ++c) {
            sums[std::size_t(inverted)][std::size_t(c)] = ChannelSum(s, c, inverted != 0);
            clamped[std::size_t(inverted)][std::size_t(c)] =
                split[Clamp(sums[std::size_t(inverted)][std::size_t(c)])];
        }
    saturationFactor = Add32(s.Saturation, 255);
    arithmetic = Arithmetic(s, clamped[0]);
    if (greyLevels) {
        for (std::size_t c = 0; c < 256; ++c) {
            red30[c] = std::uint16_t(30 * clamped[0][c]);
            green59[c] = std::uint16_t(59 * clamped[0][c]);
            blue11[c] = std::uint16_t(11 * clamped[0][c]);
        }
        level.resize(25501);
        for (int h = 0; h <= 25500; ++h) {
            const int whole = h / 100, rest = h % 100;
            level[std::size_t(h)] =
                rest == 50 ? std::uint16_t(kHalf | whole) : std::uint16_t(whole + (rest > 50));
        }
    }
    if (grey)
        halfTable = tone::GrayHalfTable(); // made now if need be, not by the threads
}

} // namespace tonepass

namespace {

using tonepass::kHalf;
using tonepass::Tables;

// ---------------------------------------------------------------------------------------------------
// The passes, each over rows [yBegin, yEnd).

// The main window's black-and-white case, without noise or solarize: a channel's table value in
// hundredths of the grey level, summed, and the level read from a table.
void GreyRows(const Tables& t, std::uint8_t invert, ConstPixelRows source, PixelRows result, int width,
              int yBegin, int yEnd) {
    const std::uint16_t* level = t.level.data();
    for (int y = yBegin; y < yEnd; ++y) {
        const std::uint8_t* in = source.Row(y);
        std::uint8_t* out = result.Row(y);
        for (int x = 0; x < width; ++x, in += 3, out += 3) {
            unsigned g = level[t.red30[in[2]] + t.green59[in[1]] + t.blue11[in[0]]];
            if (g & kHalf)
                g = (g & 0xFF) + !t.HalfGoesDown(in);
            out[0] = out[1] = out[2] = std::uint8_t(g ^ invert);
        }
    }
}

// Every byte of a row through the arithmetic form. The compiler makes vector code of this loop (the
// settings are copied in, so that the stores cannot be taken to change them), which a lookup per byte
// would not allow.
template <bool Lightness, bool Darkness>
void ArithmeticRow(const tonepass::ToneArithmetic& settings, std::uint8_t invert,
                   const std::uint8_t* __restrict in, std::uint8_t* __restrict out, std::size_t bytes) {
    const tonepass::ToneArithmetic a = settings;
    for (std::size_t i = 0; i < bytes; ++i)
        out[i] = std::uint8_t(a.Channel<Lightness, Darkness>(in[i]) ^ invert);
}

void ArithmeticRow(const tonepass::ToneArithmetic& a, std::uint8_t invert, const std::uint8_t* in,
                   std::uint8_t* out, std::size_t bytes) {
    if (a.lightness != 0)
        return a.darkness != 0 ? ArithmeticRow<true, true>(a, invert, in, out, bytes)
                               : ArithmeticRow<true, false>(a, invert, in, out, bytes);
    return a.darkness != 0 ? ArithmeticRow<false, true>(a, invert, in, out, bytes)
                           : ArithmeticRow<false, false>(a, invert, in, out, bytes);
}

// Colours without noise, solarize or saturation: every byte through the same table.
void TableRows(const Tables& t, std::uint8_t invert, ConstPixelRows source, PixelRows result, int width,
               int yBegin, int yEnd) {
    std::array<std::uint8_t, 256> table;
    for (std::size_t c = 0; c < 256; ++c)
        table[c] = std::uint8_t(t.clamped[0][c] ^ invert);
    const std::size_t bytes = 3 * std::size_t(width);
    const tonepass::ToneArithmetic& a = t.arithmetic;
    for (int y = yBegin; y < yEnd; ++y) {
        const std::uint8_t* in = source.Row(y);
        std::uint8_t* out = result.Row(y);
        if (a.usable) {
            ArithmeticRow(a, invert, in, out, bytes);
        } else {
            for (std::size_t i = 0; i < bytes; ++i)
                out[i] = table[in[i]];
        }
    }
}

// Everything else, pixel by pixel.
void GeneralRows(const ToneSettings& s, const Tables& t, ConstPixelRows source, ConstPixelRows noise,
                 PixelRows result, int width, int yBegin, int yEnd) {
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

} // namespace

void RunTonePass(const ToneSettings& settings, ConstPixelRows source, ConstPixelRows noise, PixelRows result,
                 int width, int height, TPassUnits units) {
    if (width <= 0 || height <= 0)
        return;
    const bool solarize = settings.Posterize == 0 && settings.Solarize != 0;
    const bool perByte = !noise.First && !solarize;
    const bool grey = perByte && settings.GrayScale;
    const bool table = perByte && !settings.GrayScale && settings.Saturation == 0;
    const TPixelPath path = units == TPassUnits::Best ? ActivePixelPath() : TPixelPath::Scalar;
    const bool vectorGrey = path != TPixelPath::Scalar && grey && width <= tonepass::kWidestVectorGreyRow;
    const Tables tables(settings, grey, grey && !vectorGrey);
    const std::uint8_t invert = settings.Invert ? 255 : 0;
    // A large result goes straight to memory rather than through the caches, where it would only push
    // out the source it is read from (and no cache holds the whole of it anyway).
    const bool stream = 3LL * width * height >= tonepass::kStreamedBytes;
    (void)stream;

    ForRowParts(width, height, [&](int begin, int end) {
#ifdef ZRK_HAVE_VECTOR_PATHS
        if (path == TPixelPath::Avx512) {
            if (vectorGrey)
                return tonepass::GreyRowsAvx512(tables, invert, source, result, width, begin, end, stream);
            if (table)
                return tonepass::TableRowsAvx512(tables, invert, source, result, width, begin, end, stream);
        } else if (path == TPixelPath::Avx2) {
            if (vectorGrey)
                return tonepass::GreyRowsAvx2(tables, invert, source, result, width, begin, end, stream);
            if (table)
                return tonepass::TableRowsAvx2(tables, invert, source, result, width, begin, end, stream);
        }
#endif
        if (grey)
            return GreyRows(tables, invert, source, result, width, begin, end);
        if (table)
            return TableRows(tables, invert, source, result, width, begin, end);
        GeneralRows(settings, tables, source, noise, result, width, begin, end);
    });
}
