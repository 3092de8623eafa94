// The tone pass's two fast cases with 64-byte vectors, where the processor has byte permutes (AVX-512
// VBMI): a table of 256 bytes is four registers, and a lookup is two permutes and a blend. Rows are
// taken 64 pixels (192 bytes) at a time, the rest of a row with masked loads and stores.
#include "TonePassRows.h"

#ifdef ZRK_HAVE_VECTOR_PATHS

#include <algorithm>

// GCC 12's own vector headers trip its uninitialised-use warning (they start results from an
// "undefined" register); the warning says nothing about this file's code.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <immintrin.h>

#define ZRK_VBMI __attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,popcnt")))

namespace tonepass {

namespace {

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

} // namespace

// A row goes in three steps: its grey levels into a buffer of the thread's own, halves rounded up, with
// the positions of the halves listed; the halves that the extended evaluation rounds down (one pixel in
// fifty or so, looked up one by one) then put one lower there; and the levels, as pixels, into the
// result. The list keeps the lookups out of the vector work and is walked without a branch per block.
// Positions are 16-bit (see kWidestVectorGreyRow).

ZRK_VBMI void GreyRowsAvx512(const Tables& t, std::uint8_t invert, ConstPixelRows source, PixelRows result,
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

ZRK_VBMI void TableRowsAvx512(const Tables& t, std::uint8_t invert, ConstPixelRows source, PixelRows result,
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

} // namespace tonepass

#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#endif
