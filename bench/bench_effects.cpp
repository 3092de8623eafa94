// The effect routines, the resampling and the noise fills on an A4 page scanned at 300 dpi
// (2480 x 3508 pixels, 24 bits). The routines work in place, so each iteration runs on the picture the
// previous one left; the work per pixel does not depend on the pixel values except for the trace, whose
// page is restored before every run.
#include "Effects.h"
#include "Noise.h"
#include "PixelRows.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 2480;
constexpr int kHeight = 3508;

// A scan-like page: smooth shading with a little grain and some dark text-like blocks.
struct Page {
    std::ptrdiff_t stride = (3 * kWidth + 3) & ~std::ptrdiff_t(3);
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(std::size_t(stride) * kHeight);

    Page() {
        std::mt19937 rng(7);
        for (int y = 0; y < kHeight; ++y) {
            std::uint8_t* row = bytes.data() + y * stride;
            for (int x = 0; x < kWidth; ++x) {
                const bool ink = (y / 40) % 3 == 1 && (x / 25) % 4 != 3;
                const int base = ink ? 30 : 220 + (x + y) % 20;
                for (int c = 0; c < 3; ++c)
                    row[3 * x + c] = std::uint8_t(base + int(rng() % 8) - c);
            }
        }
    }
    PixelRows Rows() { return PixelRows{bytes.data(), stride, kWidth, kHeight}; }
};

Page& SharedPage() {
    static Page page;
    return page;
}

void SetPixels(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * std::int64_t(kWidth) * kHeight);
}

void BM_Emboss(benchmark::State& state) {
    PixelRows rows = SharedPage().Rows();
    for (auto _ : state)
        benchmark::DoNotOptimize(EmbossBitmap(rows));
    SetPixels(state);
}
BENCHMARK(BM_Emboss)->Unit(benchmark::kMillisecond);

void BM_Mosaic(benchmark::State& state) {
    PixelRows rows = SharedPage().Rows();
    for (auto _ : state) {
        MosaicBitmap(rows, int(state.range(0)));
        benchmark::ClobberMemory();
    }
    SetPixels(state);
}
BENCHMARK(BM_Mosaic)->Arg(2)->Arg(16)->Unit(benchmark::kMillisecond);

void BM_SplitBlur(benchmark::State& state) {
    PixelRows rows = SharedPage().Rows();
    for (auto _ : state)
        benchmark::DoNotOptimize(SplitBlurBitmap(rows, int(state.range(0))));
    SetPixels(state);
}
BENCHMARK(BM_SplitBlur)->Arg(3)->Arg(100)->Arg(255)->Unit(benchmark::kMillisecond);

// The strongest Gaussian blur: 51 passes.
void BM_GaussianBlur50(benchmark::State& state) {
    PixelRows rows = SharedPage().Rows();
    for (auto _ : state)
        benchmark::DoNotOptimize(GaussianBlurBitmap(rows, 50));
    SetPixels(state);
}
BENCHMARK(BM_GaussianBlur50)->Unit(benchmark::kMillisecond);

void BM_AntiAlias(benchmark::State& state) {
    PixelRows rows = SharedPage().Rows();
    for (auto _ : state) {
        AntiAliasBitmap(rows, int(state.range(0)));
        benchmark::ClobberMemory();
    }
    SetPixels(state);
}
BENCHMARK(BM_AntiAlias)->Arg(1)->Arg(50)->Unit(benchmark::kMillisecond);

void BM_Trace(benchmark::State& state) {
    Page page;
    const std::vector<std::uint8_t> pristine = page.bytes;
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(page.bytes.data(), pristine.data(), pristine.size());
        state.ResumeTiming();
        TraceBitmap(page.Rows(), int(state.range(0)));
        benchmark::ClobberMemory();
    }
    SetPixels(state);
}
BENCHMARK(BM_Trace)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->UseRealTime();

// The tile of PicTile 3: a third of the page each way, then the grid.
void BM_Tile(benchmark::State& state) {
    Page& page = SharedPage();
    const std::vector<std::uint8_t> source = page.bytes;
    const TileGeometry g = TileGeometryFor(int(state.range(0)), kWidth, kHeight);
    for (auto _ : state) {
        TileBitmap(ConstPixelRows{source.data(), page.stride, kWidth, kHeight}, page.Rows(), g.tileWidth,
                   g.tileHeight);
        benchmark::ClobberMemory();
    }
    SetPixels(state);
}
BENCHMARK(BM_Tile)->Arg(1)->Arg(3)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_ColorNoise(benchmark::State& state) {
    PixelRows rows = SharedPage().Rows();
    for (auto _ : state) {
        FillColorNoise(rows, int(state.range(0)));
        benchmark::ClobberMemory();
    }
    SetPixels(state);
}
BENCHMARK(BM_ColorNoise)->Arg(2)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MonoNoise(benchmark::State& state) {
    PixelRows rows = SharedPage().Rows();
    for (auto _ : state) {
        FillMonoNoise(rows, 100);
        benchmark::ClobberMemory();
    }
    SetPixels(state);
}
BENCHMARK(BM_MonoNoise)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
