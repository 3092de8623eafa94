#include "Noise.h"

#include "RowParts.h"

namespace {

constexpr std::uint32_t kMultiplier = 134775813u;

std::uint32_t g_state = 0;

inline std::uint32_t Advance(std::uint32_t state) {
    return state * kMultiplier + 1u;
}

inline int Below(std::uint32_t state, int n) {
    return int((std::uint64_t(state) * std::uint32_t(n)) >> 32);
}

// The state after `count` steps, in logarithmic time: the steps compose as affine maps modulo 2^32.
std::uint32_t Skip(std::uint32_t state, std::uint64_t count) {
    std::uint32_t mul = kMultiplier, add = 1u; // one step: s -> mul * s + add
    std::uint32_t accMul = 1u, accAdd = 0u;    // the steps taken so far
    while (count != 0) {
        if (count & 1u) {
            accMul *= mul;
            accAdd = accAdd * mul + add;
        }
        add = (mul + 1u) * add;
        mul *= mul;
        count >>= 1;
    }
    return accMul * state + accAdd;
}

// A span of 1 or 2 gives offset 0 on every draw (the draw is at most n div 2), so such a fill is all
// zeros; the draws are still used up.
bool AllZero(int n) {
    return n <= 2;
}

void ZeroRows(PixelRows rows) {
    for (int y = 0; y < rows.Height; ++y) {
        std::uint8_t* p = rows.Row(y);
        for (int i = 0; i < 3 * rows.Width; ++i)
            p[i] = 0;
    }
}

} // namespace

int RandomBelow(int n) {
    g_state = Advance(g_state);
    return n < 1 ? 0 : Below(g_state, n);
}

std::uint32_t RandomState() {
    return g_state;
}

void SetRandomState(std::uint32_t state) {
    g_state = state;
}

namespace {

// Fills rows [begin, end) from the generator state that precedes the first draw of row `begin`.
template <bool Mono> void FillRows(PixelRows rows, int n, int begin, int end, std::uint32_t state) {
    const int half = n / 2;
    for (int y = begin; y < end; ++y) {
        std::uint8_t* p = rows.Row(y);
        for (int x = 0; x < rows.Width; ++x, p += 3) {
            if constexpr (Mono) {
                state = Advance(state);
                const auto v = std::uint8_t(ClampByte(Below(state, n) - half));
                p[0] = v;
                p[1] = v;
                p[2] = v;
            } else {
                state = Advance(state);
                p[2] = std::uint8_t(ClampByte(Below(state, n) - half));
                state = Advance(state);
                p[1] = std::uint8_t(ClampByte(Below(state, n) - half));
                state = Advance(state);
                p[0] = std::uint8_t(ClampByte(Below(state, n) - half));
            }
        }
    }
}

// The draws of a fill form one sequence in row order. Each part of the rows starts from the state the
// sequence has reached at its first row, found by skipping ahead, so the parts can run side by side and
// still give exactly the pixels of one pass in order.
template <bool Mono> void Fill(PixelRows rows, int n) {
    if (n < 1 || !rows.HasPixels())
        return;
    const std::uint64_t drawsPerRow = (Mono ? 1u : 3u) * std::uint64_t(rows.Width);
    const std::uint32_t start = g_state;
    if (AllZero(n))
        ZeroRows(rows);
    else
        ForRowParts(rows.Width, rows.Height, [&](int begin, int end) {
            FillRows<Mono>(rows, n, begin, end, Skip(start, drawsPerRow * std::uint64_t(begin)));
        });
    g_state = Skip(start, drawsPerRow * std::uint64_t(rows.Height));
}

} // namespace

void FillColorNoise(PixelRows rows, int n) {
    Fill<false>(rows, n);
}

void FillMonoNoise(PixelRows rows, int n) {
    Fill<true>(rows, n);
}
