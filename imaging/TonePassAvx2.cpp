// The tone pass's two fast cases with 32-byte vectors (AVX2, every x86-64 PC of the last decade). AVX2
// looks bytes up only in 16-byte tables, within each half of a register: a table of 256 bytes is two
// sets of eight such pieces, for the bytes below 128 and from 128 on. Pieces are stored as the
// differences of neighbours (piece k XOR piece k − 1), so that the lookups of an index in pieces 0 to k,
// which the shuffle leaves zero past the piece the byte falls in, XOR together to piece k's entry.
// Grey rows go 32 pixels (96 bytes) at a time, sixteen in each half of the registers.
#include "TonePassRows.h"

#ifdef ZRK_HAVE_VECTOR_PATHS

#include <algorithm>
#include <cstring>

#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <immintrin.h>

#define ZRK_AVX2 __attribute__((target("avx2,bmi,bmi2,popcnt")))

namespace tonepass {

namespace {

struct Pieces {
    __m256i low[8], high[8];
};

ZRK_AVX2 inline Pieces LoadPieces(const std::uint8_t* table) {
    Pieces p;
    for (int k = 0; k < 8; ++k) {
        alignas(16) std::uint8_t low[16], high[16];
        for (int i = 0; i < 16; ++i) {
            low[i] = std::uint8_t(table[16 * k + i] ^ (k ? table[16 * (k - 1) + i] : 0));
            high[i] = std::uint8_t(table[128 + 16 * k + i] ^ (k ? table[128 + 16 * (k - 1) + i] : 0));
        }
        p.low[k] = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(low)));
        p.high[k] = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(high)));
    }
    return p;
}

// Every byte of the N vectors v through the table, in place. For a byte below 128 (after its top bit
// is cleared, b), the index b − 16 k has its top bit set, and so looks up zero, exactly for the pieces
// k past b's own. The vectors go side by side, so that the shuffles of one do not wait on another's.
template <int N> ZRK_AVX2 inline void Look(const Pieces& p, __m256i (&v)[N]) {
    __m256i index[N], low[N], high[N];
#pragma GCC unroll 4
    for (int n = 0; n < N; ++n) {
        index[n] = _mm256_and_si256(v[n], _mm256_set1_epi8(0x7F));
        low[n] = _mm256_shuffle_epi8(p.low[0], index[n]);
        high[n] = _mm256_shuffle_epi8(p.high[0], index[n]);
    }
    const __m256i sixteen = _mm256_set1_epi8(16);
#pragma GCC unroll 8
    for (int k = 1; k < 8; ++k)
#pragma GCC unroll 4
        for (int n = 0; n < N; ++n) {
            index[n] = _mm256_sub_epi8(index[n], sixteen);
            low[n] = _mm256_xor_si256(low[n], _mm256_shuffle_epi8(p.low[k], index[n]));
            high[n] = _mm256_xor_si256(high[n], _mm256_shuffle_epi8(p.high[k], index[n]));
        }
#pragma GCC unroll 4
    for (int n = 0; n < N; ++n)
        v[n] = _mm256_blendv_epi8(low[n], high[n], v[n]);
}

// The units that take bytes through the pass's table, N vectors at a time: the table's pieces ...
class TTableUnits {
public:
    ZRK_AVX2 explicit TTableUnits(const std::uint8_t* table) : pieces_(LoadPieces(table)) {}
    template <int N> ZRK_AVX2 void operator()(__m256i (&v)[N]) const { Look(pieces_, v); }

private:
    Pieces pieces_;
};

// ... or, where the table is plain contrast, lightness, darkness and brightness (ToneArithmetic), its
// arithmetic on 16-bit lanes: a few multiplications instead of sixteen shuffles per vector. The parts
// that are 0 are left out; the result is exactly ToneArithmetic::Channel, XORed with `invert`.
template <bool Lightness, bool Darkness> class TArithmeticUnits {
public:
    ZRK_AVX2 TArithmeticUnits(const ToneArithmetic& a, std::uint8_t invert)
        : contrast_(_mm256_set1_epi16(std::int16_t(a.contrast))),
          lightness_(_mm256_set1_epi16(std::int16_t(a.lightness))),
          darkness_(_mm256_set1_epi16(std::int16_t(a.darkness))),
          contrastSign_(_mm256_set1_epi16(std::int16_t(a.contrastSign))),
          lightnessSign_(_mm256_set1_epi16(std::int16_t(a.lightnessSign))),
          darknessSign_(_mm256_set1_epi16(std::int16_t(a.darknessSign))),
          brightness_(_mm256_set1_epi16(a.brightness)), flip_(_mm256_set1_epi8(char(invert))) {}

    template <int N> ZRK_AVX2 void operator()(__m256i (&v)[N]) const {
        const __m256i zero = _mm256_setzero_si256();
#pragma GCC unroll 4
        for (int n = 0; n < N; ++n) {
            // Bytes 0 .. 7 and 16 .. 23 in the low lanes, 8 .. 15 and 24 .. 31 in the high ones, which the
            // saturating pack (the clamp to a byte) puts back in order.
            const __m256i low = Channels(_mm256_unpacklo_epi8(v[n], zero));
            const __m256i high = Channels(_mm256_unpackhi_epi8(v[n], zero));
            v[n] = _mm256_xor_si256(_mm256_packus_epi16(low, high), flip_);
        }
    }

private:
    // (product div 255), negated where `sign` is all ones.
    ZRK_AVX2 static __m256i Part(__m256i product, __m256i sign) {
        const __m256i q = _mm256_srli_epi16(_mm256_mulhi_epu16(product, _mm256_set1_epi16(-0x7F7F)), 7);
        return _mm256_sub_epi16(_mm256_xor_si256(q, sign), sign);
    }

    ZRK_AVX2 __m256i Channels(__m256i c) const {
        const __m256i below128 = _mm256_cmpgt_epi16(_mm256_set1_epi16(128), c);
        const __m256i away = _mm256_abs_epi16(_mm256_sub_epi16(c, _mm256_set1_epi16(127)));
        __m256i sum = _mm256_add_epi16(
            _mm256_add_epi16(c, brightness_),
            Part(_mm256_mullo_epi16(away, contrast_), _mm256_xor_si256(below128, contrastSign_)));
        if (Lightness)
            sum = _mm256_add_epi16(
                sum, Part(_mm256_mullo_epi16(_mm256_sub_epi16(_mm256_set1_epi16(255), c), lightness_),
                          lightnessSign_));
        if (Darkness)
            sum = _mm256_add_epi16(sum, Part(_mm256_mullo_epi16(c, darkness_), darknessSign_));
        return sum;
    }

    __m256i contrast_, lightness_, darkness_, contrastSign_, lightnessSign_, darknessSign_, brightness_,
        flip_;
};

// Calls work(units) with the units that suit the table (`bytes`, the table already XORed with
// `invert`).
template <class Work>
ZRK_AVX2 inline void WithUnits(const ToneArithmetic& a, const std::uint8_t* bytes, std::uint8_t invert,
                               Work work) {
    if (!a.usable)
        return work(TTableUnits(bytes));
    if (a.lightness != 0)
        return a.darkness != 0 ? work(TArithmeticUnits<true, true>(a, invert))
                               : work(TArithmeticUnits<true, false>(a, invert));
    return a.darkness != 0 ? work(TArithmeticUnits<false, true>(a, invert))
                           : work(TArithmeticUnits<false, false>(a, invert));
}

ZRK_AVX2 inline __m256i LoadHalves(const std::uint8_t* low, const std::uint8_t* high) {
    return _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(high), reinterpret_cast<const __m128i*>(low));
}

struct ShuffleIndex {
    alignas(32) std::int8_t v[32];
};

// Byte i of each half takes byte f(i) of the 48 bytes of a group of 16 pixels, where byte `from` .. `from`
// + 15 of the group is the half's own register; bytes not there (or f(i) < 0) become zero.
template <class F> constexpr ShuffleIndex MakeIndex(int from, F f) {
    ShuffleIndex index{};
    for (int i = 0; i < 32; ++i) {
        const int at = f(i % 16);
        index.v[i] = at >= from && at < from + 16 ? std::int8_t(at - from) : std::int8_t(-128);
    }
    return index;
}

// 16-bit lanes (blue, green) and (red, 0) of pixels 0 .. 7 of a group, and of pixels 8 .. 15.
constexpr auto kBlueGreen0 = [](int i) { return 3 * (i / 2) + i % 2; };
constexpr auto kRed0 = [](int i) { return i % 2 ? -1 : 3 * (i / 2) + 2; };
constexpr auto kBlueGreen1 = [](int i) { return 24 + 3 * (i / 2) + i % 2; };
constexpr auto kRed1 = [](int i) { return i % 2 ? -1 : 24 + 3 * (i / 2) + 2; };
constexpr ShuffleIndex kBlueGreen0A = MakeIndex(0, kBlueGreen0), kBlueGreen0B = MakeIndex(16, kBlueGreen0);
constexpr ShuffleIndex kRed0A = MakeIndex(0, kRed0), kRed0B = MakeIndex(16, kRed0);
constexpr ShuffleIndex kBlueGreen1B = MakeIndex(16, kBlueGreen1), kBlueGreen1C = MakeIndex(32, kBlueGreen1);
constexpr ShuffleIndex kRed1B = MakeIndex(16, kRed1), kRed1C = MakeIndex(32, kRed1);
// Each of 16 grey levels three times over, as bytes 0 .. 15, 16 .. 31 and 32 .. 47 of the group.
constexpr ShuffleIndex kSpread0 = MakeIndex(0, [](int i) { return i / 3; });
constexpr ShuffleIndex kSpread1 = MakeIndex(0, [](int i) { return (i + 16) / 3; });
constexpr ShuffleIndex kSpread2 = MakeIndex(0, [](int i) { return (i + 32) / 3; });

ZRK_AVX2 inline __m256i Index(const ShuffleIndex& index) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(index.v));
}

ZRK_AVX2 inline __m256i Gather(__m256i a, const ShuffleIndex& ia, __m256i b, const ShuffleIndex& ib) {
    return _mm256_or_si256(_mm256_shuffle_epi8(a, Index(ia)), _mm256_shuffle_epi8(b, Index(ib)));
}

// Rounds 16-bit sums of hundredths to grey levels, half up; `halves` is all ones in the lanes that
// were halves.
ZRK_AVX2 inline __m256i RoundHundredths(__m256i h, __m256i& halves) {
    const __m256i x = _mm256_add_epi16(h, _mm256_set1_epi16(50));
    const __m256i q = _mm256_srli_epi16(_mm256_mulhi_epu16(x, _mm256_set1_epi16(5243)), 3); // x div 100
    halves = _mm256_cmpeq_epi16(x, _mm256_mullo_epi16(q, _mm256_set1_epi16(100)));
    return q;
}

// The grey levels of the 32 pixels at `in` (96 bytes), halves rounded up, in pixel order; `halves`
// gets bit i set for each pixel i whose level was an exact half.
template <class Units>
ZRK_AVX2 inline __attribute__((always_inline)) __m256i GreyLevels(const Units& units, const std::uint8_t* in,
                                                                  std::uint32_t& halves) {
    __m256i looked[3] = {LoadHalves(in, in + 48), LoadHalves(in + 16, in + 64), LoadHalves(in + 32, in + 80)};
    units(looked);
    const __m256i a = looked[0], b = looked[1], c = looked[2];
    const __m256i weightsBlueGreen = _mm256_set1_epi16(11 | 59 << 8);
    const __m256i weightsRed = _mm256_set1_epi16(30);
    const __m256i sum0 =
        _mm256_add_epi16(_mm256_maddubs_epi16(Gather(a, kBlueGreen0A, b, kBlueGreen0B), weightsBlueGreen),
                         _mm256_maddubs_epi16(Gather(a, kRed0A, b, kRed0B), weightsRed));
    const __m256i sum1 =
        _mm256_add_epi16(_mm256_maddubs_epi16(Gather(b, kBlueGreen1B, c, kBlueGreen1C), weightsBlueGreen),
                         _mm256_maddubs_epi16(Gather(b, kRed1B, c, kRed1C), weightsRed));
    __m256i halves0, halves1;
    const __m256i levels0 = RoundHundredths(sum0, halves0);
    const __m256i levels1 = RoundHundredths(sum1, halves1);
    halves = std::uint32_t(_mm256_movemask_epi8(_mm256_packs_epi16(halves0, halves1)));
    return _mm256_packus_epi16(levels0, levels1);
}

// The halves among `halves` (bit i for pixel i of the 32 at `in`) that the extended evaluation takes
// one lower, as all ones in those bytes.
ZRK_AVX2 inline __m256i HalvesDown(const Tables& t, const std::uint8_t* in, std::uint32_t halves) {
    std::uint32_t down = 0;
    for (; halves; halves &= halves - 1) {
        const int pixel = __builtin_ctz(halves);
        down |= std::uint32_t(t.HalfGoesDown(in + 3 * pixel)) << pixel;
    }
    if (!down)
        return _mm256_setzero_si256();
    const __m256i spread = _mm256_shuffle_epi8(
        _mm256_set1_epi32(int(down)), _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2,
                                                       2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3));
    const __m256i bits = _mm256_set1_epi64x(std::int64_t(0x8040201008040201ULL));
    return _mm256_cmpeq_epi8(_mm256_and_si256(spread, bits), bits);
}

// 32 grey levels, inverted if need be, as 96 bytes of pixels.
ZRK_AVX2 inline void StoreLevels(__m256i levels, __m256i flip, std::uint8_t* out) {
    const __m256i grey = _mm256_xor_si256(levels, flip);
    const __m256i o0 = _mm256_shuffle_epi8(grey, Index(kSpread0));
    const __m256i o1 = _mm256_shuffle_epi8(grey, Index(kSpread1));
    const __m256i o2 = _mm256_shuffle_epi8(grey, Index(kSpread2));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(o0, o1, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), _mm256_permute2x128_si256(o2, o0, 0x30));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 64), _mm256_permute2x128_si256(o1, o2, 0x31));
}

// 32 pixels: their grey levels, the halves that go down put one lower, as pixels.
template <class Units>
ZRK_AVX2 inline __attribute__((always_inline)) void
GreyBlock(const Units& table, const Tables& t, __m256i flip, const std::uint8_t* in, std::uint8_t* out) {
    std::uint32_t halves = 0;
    __m256i levels = GreyLevels(table, in, halves);
    if (halves)
        levels = _mm256_add_epi8(levels, HalvesDown(t, in, halves));
    StoreLevels(levels, flip, out);
}

// Rows go 32 pixels at a time, in registers; the last pixels of a row through blocks of the pass's own
// (zeros, whose table value sums to a whole hundred: no halves).
template <class Units>
ZRK_AVX2 void GreyRows(const Units& table, const Tables& t, std::uint8_t invert, ConstPixelRows source,
                       PixelRows result, int width, int yBegin, int yEnd, bool) {
    const __m256i flip = _mm256_set1_epi8(char(invert));
    alignas(32) std::uint8_t rest[96], restOut[96];
    for (int y = yBegin; y < yEnd; ++y) {
        const std::uint8_t* in = source.Row(y);
        const TAhead ahead(in, y + 1 < yEnd ? source.Row(y + 1) : nullptr, 3 * width);
        std::uint8_t* out = result.Row(y);
        int x = 0;
        for (; x + 32 <= width; x += 32) {
            ahead.Lines(3 * x, 2);
            GreyBlock(table, t, flip, in + 3 * x, out + 3 * x);
        }
        if (x < width) {
            std::memset(rest, 0, sizeof rest);
            std::memcpy(rest, in + 3 * x, 3 * std::size_t(width - x));
            GreyBlock(table, t, flip, rest, restOut);
            std::memcpy(out + 3 * x, restOut, 3 * std::size_t(width - x));
        }
    }
}

} // namespace

ZRK_AVX2 void GreyRowsAvx2(const Tables& t, std::uint8_t invert, ConstPixelRows source, PixelRows result,
                           int width, int yBegin, int yEnd, bool stream) {
    WithUnits(t.arithmetic, t.clamped[0].data(), 0, [&](const auto& units) {
        GreyRows(units, t, invert, source, result, width, yBegin, yEnd, stream);
    });
}

namespace {

// N × 32 bytes at `in` through the table, to `out`.
template <int N, bool Stream, class Units>
ZRK_AVX2 inline void TableBlock(const Units& units, const std::uint8_t* in, std::uint8_t* out) {
    __m256i v[N];
#pragma GCC unroll 4
    for (int n = 0; n < N; ++n)
        v[n] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 32 * n));
    units(v);
#pragma GCC unroll 4
    for (int n = 0; n < N; ++n) {
        __m256i* to = reinterpret_cast<__m256i*>(out + 32 * n);
        if (Stream)
            _mm256_stream_si256(to, v[n]);
        else
            _mm256_storeu_si256(to, v[n]);
    }
}

template <bool Stream, class Units>
ZRK_AVX2 inline int TableRow(const Units& table, const std::uint8_t* in, std::uint8_t* out, int i,
                             int bytes) {
    for (; i + 64 <= bytes; i += 64)
        TableBlock<2, Stream>(table, in + i, out + i);
    if (i + 32 <= bytes) {
        TableBlock<1, Stream>(table, in + i, out + i);
        i += 32;
    }
    return i;
}

template <class Units>
ZRK_AVX2 void TableRows(const Units& table, const std::array<std::uint8_t, 256>& bytes, ConstPixelRows source,
                        PixelRows result, int width, int yBegin, int yEnd, bool stream) {
    const int rowBytes = 3 * width;
    for (int y = yBegin; y < yEnd; ++y) {
        const std::uint8_t* in = source.Row(y);
        std::uint8_t* out = result.Row(y);
        int i = 0;
        if (stream) {
            // Up to a 32-byte boundary of the result, then whole vectors past the caches.
            const int lead = std::min(rowBytes, int((32 - reinterpret_cast<std::uintptr_t>(out) % 32) % 32));
            for (; i < lead; ++i)
                out[i] = bytes[in[i]];
            i = TableRow<true>(table, in, out, i, rowBytes);
        } else {
            i = TableRow<false>(table, in, out, i, rowBytes);
        }
        for (; i < rowBytes; ++i)
            out[i] = bytes[in[i]];
    }
    if (stream)
        _mm_sfence();
}

} // namespace

ZRK_AVX2 void TableRowsAvx2(const Tables& t, std::uint8_t invert, ConstPixelRows source, PixelRows result,
                            int width, int yBegin, int yEnd, bool stream) {
    std::array<std::uint8_t, 256> bytes;
    for (std::size_t c = 0; c < 256; ++c)
        bytes[c] = std::uint8_t(t.clamped[0][c] ^ invert);
    WithUnits(t.arithmetic, bytes.data(), invert, [&](const auto& units) {
        TableRows(units, bytes, source, result, width, yBegin, yEnd, stream);
    });
}

} // namespace tonepass

#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#endif
