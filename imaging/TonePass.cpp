#include "TonePass.h"

#include "RowParts.h"
#include "ToneFormulas.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// GCC 12's own vector headers trip its uninitialised-use warning (they start results from an
// "undefined" register); the warning says nothing about this file's code.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <immintrin.h>
#define ZRK_HAVE_VBMI 1
#define ZRK_VBMI __attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,popcnt")))
#endif

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

// Results from this size on are written past the caches.
constexpr long long kStreamedBytes = 8LL << 20;

// A grey level in hundredths (30 R + 59 G + 11 B, at most 25500) that is an exact half is marked so;
// the low byte then holds the level rounded down.
constexpr std::uint16_t kHalf = 0x100;

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
    // For grey pictures without noise or solarize, in plain code: hundredths of each unsolarized
    // channel's table value (red × 30, green × 59, blue × 11), and the grey level of each sum of
    // hundredths. (The vector code works these out as it goes.)
    std::array<std::uint16_t, 256> red30{}, green59{}, blue11{};
    std::vector<std::uint16_t> level;
    const std::uint8_t* halfTable = nullptr;

    Tables(const ToneSettings& s, bool grey, bool greyLevels) {
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

// Colours without noise, solarize or saturation: every byte through the same table.
void TableRows(const Tables& t, std::uint8_t invert, ConstPixelRows source, PixelRows result, int width,
               int yBegin, int yEnd) {
    std::array<std::uint8_t, 256> table;
    for (std::size_t c = 0; c < 256; ++c)
        table[c] = std::uint8_t(t.clamped[0][c] ^ invert);
    const std::size_t bytes = 3 * std::size_t(width);
    for (int y = yBegin; y < yEnd; ++y) {
        const std::uint8_t* in = source.Row(y);
        std::uint8_t* out = result.Row(y);
        for (std::size_t i = 0; i < bytes; ++i)
            out[i] = table[in[i]];
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

// ---------------------------------------------------------------------------------------------------
// The same two fast cases with 64-byte vectors, where the processor has byte permutes (AVX-512 VBMI):
// a table of 256 bytes is four registers, and a lookup is two permutes and a blend. Rows are taken 64
// pixels (192 bytes) at a time, the rest of a row with masked loads and stores.

#ifdef ZRK_HAVE_VBMI

bool HasVbmi() {
    static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                            __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2");
    return has;
}

struct ByteIndex {
    alignas(64) std::uint8_t v[64];
};

// Byte i of the result takes byte f(i) of the 128 bytes of two registers (or of one register).
template <class F> constexpr ByteIndex MakeIndex(F f) {
    ByteIndex index{};
    for (int i = 0; i < 64; ++i)
        index.v[i] = std::uint8_t(f(i));
    return index;
}

// 16-bit lanes of 32 pixels: (blue, green) and (red, unused) of pixels 0 .. 31 from the first two
// registers, of pixels 32 .. 63 from the last two (whose first byte is byte 64 of the block).
constexpr ByteIndex kBlueGreenLow = MakeIndex([](int i) { return 3 * (i / 2) + i % 2; });
constexpr ByteIndex kRedLow = MakeIndex([](int i) { return 3 * (i / 2) + 2; });
constexpr ByteIndex kBlueGreenHigh = MakeIndex([](int i) { return 3 * (i / 2) + 32 + i % 2; });
constexpr ByteIndex kRedHigh = MakeIndex([](int i) { return 3 * (i / 2) + 34; });
// The low bytes of the 16-bit lanes of two registers, in order.
constexpr ByteIndex kLowBytes = MakeIndex([](int i) { return i < 32 ? 2 * i : 64 + 2 * (i - 32); });
// The lanes' own numbers.
constexpr ByteIndex kLanes = MakeIndex([](int i) { return i; });
// Each of 64 grey levels three times over, as the three registers of a block.
constexpr ByteIndex kSpread0 = MakeIndex([](int i) { return i / 3; });
constexpr ByteIndex kSpread1 = MakeIndex([](int i) { return (i + 64) / 3; });
constexpr ByteIndex kSpread2 = MakeIndex([](int i) { return (i + 128) / 3; });

inline std::uint64_t FirstBits(int n) {
    return n >= 64 ? ~std::uint64_t(0) : n <= 0 ? 0 : (std::uint64_t(1) << n) - 1;
}

ZRK_VBMI inline __m512i Index(const ByteIndex& index) {
    return _mm512_load_si512(index.v);
}

struct VectorTable {
    __m512i part[4];
};

ZRK_VBMI inline VectorTable LoadTable(const std::uint8_t* table) {
    VectorTable t;
    for (int i = 0; i < 4; ++i)
        t.part[i] = _mm512_loadu_si512(table + 64 * i);
    return t;
}

ZRK_VBMI inline __m512i Look(const VectorTable& t, __m512i v) {
    const __m512i low = _mm512_permutex2var_epi8(t.part[0], v, t.part[1]);
    const __m512i high = _mm512_permutex2var_epi8(t.part[2], v, t.part[3]);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high);
}

// Rounds 16-bit sums of hundredths to grey levels, half up; `halves` marks the lanes that were halves.
ZRK_VBMI inline __m512i RoundHundredths(__m512i h, __mmask32& halves) {
    const __m512i x = _mm512_add_epi16(h, _mm512_set1_epi16(50));
    const __m512i q = _mm512_srli_epi16(_mm512_mulhi_epu16(x, _mm512_set1_epi16(5243)), 3); // x div 100
    halves = _mm512_cmpeq_epi16_mask(x, _mm512_mullo_epi16(q, _mm512_set1_epi16(100)));
    return q;
}

struct GreyVectors {
    VectorTable table;
    __m512i blueGreenLow, redLow, blueGreenHigh, redHigh, lowBytes, spread0, spread1, spread2;
    __m512i weightsBlueGreen, weightsRed, flip;
};

// The grey levels of 64 pixels (or of as many as the byte masks m0 .. m2 cover), halves rounded up;
// `halves` marks the pixels whose level was an exact half.
template <bool Full>
ZRK_VBMI inline __m512i GreyLevels(const GreyVectors& v, const std::uint8_t* in, __mmask64 m0, __mmask64 m1,
                                   __mmask64 m2, std::uint64_t& halves) {
    const __mmask64 evenBytes = 0x5555555555555555ull;
    const __m512i a = Look(v.table, Full ? _mm512_loadu_si512(in) : _mm512_maskz_loadu_epi8(m0, in));
    const __m512i b =
        Look(v.table, Full ? _mm512_loadu_si512(in + 64) : _mm512_maskz_loadu_epi8(m1, in + 64));
    const __m512i c =
        Look(v.table, Full ? _mm512_loadu_si512(in + 128) : _mm512_maskz_loadu_epi8(m2, in + 128));
    const __m512i sumLow = _mm512_add_epi16(
        _mm512_maddubs_epi16(_mm512_permutex2var_epi8(a, v.blueGreenLow, b), v.weightsBlueGreen),
        _mm512_maddubs_epi16(_mm512_maskz_permutex2var_epi8(evenBytes, a, v.redLow, b), v.weightsRed));
    const __m512i sumHigh = _mm512_add_epi16(
        _mm512_maddubs_epi16(_mm512_permutex2var_epi8(b, v.blueGreenHigh, c), v.weightsBlueGreen),
        _mm512_maddubs_epi16(_mm512_maskz_permutex2var_epi8(evenBytes, b, v.redHigh, c), v.weightsRed));
    // (Lanes past the pixels of a partial block are no halves: their channels all hold the table's
    // value for 0, whose sum is a whole hundred.)
    __mmask32 halvesLow, halvesHigh;
    const __m512i levelsLow = RoundHundredths(sumLow, halvesLow);
    const __m512i levelsHigh = RoundHundredths(sumHigh, halvesHigh);
    halves = std::uint64_t(halvesHigh) << 32 | halvesLow;
    return _mm512_permutex2var_epi8(levelsLow, v.lowBytes, levelsHigh);
}

// 64 grey levels (or as many as m0 .. m2 cover), inverted if need be, each as a pixel of three bytes.
template <bool Full, bool Stream>
ZRK_VBMI inline void StoreGrey(const GreyVectors& v, __m512i grey, std::uint8_t* out, __mmask64 m0,
                               __mmask64 m1, __mmask64 m2) {
    grey = _mm512_xor_si512(grey, v.flip);
    const __m512i o0 = _mm512_permutexvar_epi8(v.spread0, grey);
    const __m512i o1 = _mm512_permutexvar_epi8(v.spread1, grey);
    const __m512i o2 = _mm512_permutexvar_epi8(v.spread2, grey);
    if (Full && Stream) {
        _mm512_stream_si512(reinterpret_cast<__m512i*>(out), o0);
        _mm512_stream_si512(reinterpret_cast<__m512i*>(out + 64), o1);
        _mm512_stream_si512(reinterpret_cast<__m512i*>(out + 128), o2);
    } else if (Full) {
        _mm512_storeu_si512(out, o0);
        _mm512_storeu_si512(out + 64, o1);
        _mm512_storeu_si512(out + 128, o2);
    } else {
        _mm512_mask_storeu_epi8(out, m0, o0);
        _mm512_mask_storeu_epi8(out + 64, m1, o1);
        _mm512_mask_storeu_epi8(out + 128, m2, o2);
    }
}

template <bool Full, bool Stream>
ZRK_VBMI inline void StoreGreyPixels(const GreyVectors& v, const std::uint8_t* levels, std::uint8_t* out,
                                     int n) {
    const __m512i grey = Full ? _mm512_loadu_si512(levels) : _mm512_maskz_loadu_epi8(FirstBits(n), levels);
    StoreGrey<Full, Stream>(v, grey, out, FirstBits(3 * n), FirstBits(3 * n - 64), FirstBits(3 * n - 128));
}

// Appends the positions x + i of the pixels i marked in a block to the list, which has room for 64 more
// entries past its end; the new length. The marked lanes' numbers are packed as bytes in one step and
// widened to positions; a block rarely holds more than a few halves, so the second 32 are widened
// only when there are any.
ZRK_VBMI inline std::size_t ListHalves(__m512i lanes, int x, std::uint64_t marks, std::uint16_t* list,
                                       std::size_t count) {
    const __m512i at = _mm512_set1_epi16(short(x));
    const __m512i packed = _mm512_maskz_compress_epi8(marks, lanes);
    _mm512_storeu_si512(list + count,
                        _mm512_add_epi16(_mm512_cvtepu8_epi16(_mm512_castsi512_si256(packed)), at));
    const std::size_t n = std::size_t(__builtin_popcountll(marks));
    if (n > 32) [[unlikely]]
        _mm512_storeu_si512(list + count + 32,
                            _mm512_add_epi16(_mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(packed, 1)), at));
    return count + n;
}

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
    ZRK_VBMI __attribute__((always_inline)) void Lines(int i, int lines) const {
        const std::uintptr_t at = (i < last_ ? inRow_ : intoNext_) + std::uintptr_t(i);
        for (int line = 0; line < lines; ++line)
            _mm_prefetch(reinterpret_cast<const char*>(at + 64u * unsigned(line)), _MM_HINT_T0);
    }

private:
    std::uintptr_t inRow_, intoNext_;
    int last_;
};

// A row goes in three steps: its grey levels into a buffer of the thread's own, halves rounded up, with
// the positions of the halves listed; the halves that the extended evaluation rounds down (one pixel in
// fifty or so, looked up one by one) then put one lower there; and the levels, as pixels, into the
// result. The list keeps the lookups out of the vector work and is walked without a branch per block.
// Positions are 16-bit, so rows wider than that go the plain way.
constexpr int kWidestVectorGreyRow = 65536 - 64;

ZRK_VBMI void GreyRowsVbmi(const Tables& t, std::uint8_t invert, ConstPixelRows source, PixelRows result,
                           int width, int yBegin, int yEnd, bool stream) {
    GreyVectors v;
    v.table = LoadTable(t.clamped[0].data());
    v.blueGreenLow = Index(kBlueGreenLow);
    v.redLow = Index(kRedLow);
    v.blueGreenHigh = Index(kBlueGreenHigh);
    v.redHigh = Index(kRedHigh);
    v.lowBytes = Index(kLowBytes);
    v.spread0 = Index(kSpread0);
    v.spread1 = Index(kSpread1);
    v.spread2 = Index(kSpread2);
    v.weightsBlueGreen = _mm512_set1_epi16(11 | 59 << 8);
    v.weightsRed = _mm512_set1_epi16(30);
    v.flip = _mm512_set1_epi8(char(invert));
    const __m512i lanes = Index(kLanes);
    const std::size_t blocks = std::size_t(width + 63) / 64;
    std::vector<std::uint8_t> levels(64 * blocks);
    std::vector<std::uint16_t> halves(64 * blocks + 64); // room for two full stores past the last entry

    for (int y = yBegin; y < yEnd; ++y) {
        const std::uint8_t* in = source.Row(y);
        const TAhead ahead(in, y + 1 < yEnd ? source.Row(y + 1) : nullptr, 3 * width);
        std::uint8_t* out = result.Row(y);

        std::size_t count = 0;
        int x = 0;
        std::uint64_t marks = 0;
        for (; x + 64 <= width; x += 64) {
            ahead.Lines(3 * x, 3);
            _mm512_storeu_si512(levels.data() + x, GreyLevels<true>(v, in + 3 * x, 0, 0, 0, marks));
            count = ListHalves(lanes, x, marks, halves.data(), count);
        }
        if (x < width) {
            const int n = width - x;
            _mm512_storeu_si512(levels.data() + x,
                                GreyLevels<false>(v, in + 3 * x, FirstBits(3 * n), FirstBits(3 * n - 64),
                                                  FirstBits(3 * n - 128), marks));
            count = ListHalves(lanes, x, marks, halves.data(), count);
        }

        for (std::size_t i = 0; i < count; ++i) {
            const unsigned pixel = halves[i];
            levels[pixel] = std::uint8_t(levels[pixel] - t.HalfGoesDown(in + 3 * pixel));
        }

        x = 0;
        if (stream) {
            // Up to a 64-byte boundary of the result (3 × 43 = 1 modulo 64), then whole lines past the
            // caches.
            x = std::min(width, int((64 - reinterpret_cast<std::uintptr_t>(out) % 64) % 64 * 43 % 64));
            if (x > 0)
                StoreGreyPixels<false, false>(v, levels.data(), out, x);
            for (; x + 64 <= width; x += 64)
                StoreGreyPixels<true, true>(v, levels.data() + x, out + 3 * x, 64);
        } else {
            for (; x + 64 <= width; x += 64)
                StoreGreyPixels<true, false>(v, levels.data() + x, out + 3 * x, 64);
        }
        if (x < width)
            StoreGreyPixels<false, false>(v, levels.data() + x, out + 3 * x, width - x);
    }
    if (stream)
        _mm_sfence();
}

ZRK_VBMI void TableRowsVbmi(const Tables& t, std::uint8_t invert, ConstPixelRows source, PixelRows result,
                            int width, int yBegin, int yEnd, bool stream) {
    const VectorTable table = LoadTable(t.clamped[0].data());
    const __m512i flip = _mm512_set1_epi8(char(invert));
    const int bytes = 3 * width;
    for (int y = yBegin; y < yEnd; ++y) {
        const std::uint8_t* in = source.Row(y);
        std::uint8_t* out = result.Row(y);
        int i = 0;
        if (stream) {
            const int lead = std::min(bytes, int((64 - reinterpret_cast<std::uintptr_t>(out) % 64) % 64));
            if (lead > 0) {
                const __mmask64 m = FirstBits(lead);
                _mm512_mask_storeu_epi8(out, m,
                                        _mm512_xor_si512(Look(table, _mm512_maskz_loadu_epi8(m, in)), flip));
            }
            for (i = lead; i + 64 <= bytes; i += 64)
                _mm512_stream_si512(reinterpret_cast<__m512i*>(out + i),
                                    _mm512_xor_si512(Look(table, _mm512_loadu_si512(in + i)), flip));
        } else {
            for (; i + 64 <= bytes; i += 64)
                _mm512_storeu_si512(out + i, _mm512_xor_si512(Look(table, _mm512_loadu_si512(in + i)), flip));
        }
        if (i < bytes) {
            const __mmask64 m = FirstBits(bytes - i);
            _mm512_mask_storeu_epi8(out + i, m,
                                    _mm512_xor_si512(Look(table, _mm512_maskz_loadu_epi8(m, in + i)), flip));
        }
    }
    if (stream)
        _mm_sfence();
}

#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#else

bool HasVbmi() {
    return false;
}

#endif

} // namespace

void RunTonePass(const ToneSettings& settings, ConstPixelRows source, ConstPixelRows noise, PixelRows result,
                 int width, int height, TPassUnits units) {
    if (width <= 0 || height <= 0)
        return;
    const bool solarize = settings.Posterize == 0 && settings.Solarize != 0;
    const bool perByte = !noise.First && !solarize;
    const bool grey = perByte && settings.GrayScale;
    const bool table = perByte && !settings.GrayScale && settings.Saturation == 0;
    const bool vectors = units == TPassUnits::Best && HasVbmi();
#ifdef ZRK_HAVE_VBMI
    const bool vectorGrey = vectors && grey && width <= kWidestVectorGreyRow;
#else
    const bool vectorGrey = false;
#endif
    const Tables tables(settings, grey, grey && !vectorGrey);
    const std::uint8_t invert = settings.Invert ? 255 : 0;
    // A large result goes straight to memory rather than through the caches, where it would only push
    // out the source it is read from (and no cache holds the whole of it anyway).
    const bool stream = 3LL * width * height >= kStreamedBytes;
    (void)stream;

    ForRowParts(width, height, [&](int begin, int end) {
#ifdef ZRK_HAVE_VBMI
        if (vectorGrey)
            return GreyRowsVbmi(tables, invert, source, result, width, begin, end, stream);
        if (vectors && table)
            return TableRowsVbmi(tables, invert, source, result, width, begin, end, stream);
#endif
        if (grey)
            return GreyRows(tables, invert, source, result, width, begin, end);
        if (table)
            return TableRows(tables, invert, source, result, width, begin, end);
        GeneralRows(settings, tables, source, noise, result, width, begin, end);
    });
}
