// The rebuild that runs on every track-bar movement, over a full A4 page, beside its floor: one copy
// of the page with memcpy on one thread.
#include "BenchPages.h"
#include "Bitmap.h"
#include "BoxShrink.h"
#include "OrImage.h"
#include "Picture.h"
#include "TonePass.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

using namespace benchpages;

namespace {

void BM_Memcpy(benchmark::State& state) {
    const std::size_t bytes = PageBytes(int(state.range(0)));
    std::vector<std::uint8_t> from(bytes, 1), to(bytes, 2);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t(bytes));
}
BENCHMARK(BM_Memcpy)->Name("Floor/Memcpy")->Arg(300)->Arg(600)->Unit(benchmark::kMillisecond)->UseRealTime();

// Brightness steps as a track bar gives them, in black-and-white (with contrast) or in natural colours.
void Rebuild(benchmark::State& state, bool grey) {
    App();
    const int dpi = int(state.range(0));
    TOrImage image;
    const TBitmap page = RandomPage(dpi);
    image.PictureOriginal()->Assign(&page);
    image.SetPicGrayScale(grey);
    image.SetPicContrast(100);
    int step = 0;
    for (auto _ : state) {
        image.SetPicBrightness((step++ % 21 - 10) * 25);
        benchmark::DoNotOptimize(image.PictureResult()->Bitmap()->ConstScanLine(0)[0]);
    }
    state.SetItemsProcessed(state.iterations() * page.Width() * page.Height());
}
void BM_RebuildGrey(benchmark::State& state) {
    Rebuild(state, true);
}
void BM_RebuildColour(benchmark::State& state) {
    Rebuild(state, false);
}
BENCHMARK(BM_RebuildGrey)
    ->Name("Rebuild/Grey")
    ->Arg(300)
    ->Arg(600)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_RebuildColour)
    ->Name("Rebuild/Colour")
    ->Arg(300)
    ->Arg(600)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The view's shrink of a black-and-white result into the main window's view (a page fitted into
// 249 × 361 with its proportions).
void BM_ViewShrink(benchmark::State& state) {
    App();
    const int dpi = int(state.range(0));
    TOrImage image;
    const TBitmap page = RandomPage(dpi);
    image.PictureOriginal()->Assign(&page);
    image.SetPicGrayScale(true);
    const TBitmap& result = *image.PictureResult()->Bitmap();
    const int height = 361, width = int(361.0 * result.Width() / result.Height());
    for (auto _ : state)
        benchmark::DoNotOptimize(ShrinkByAveraging(result, width, height).constBits());
}
BENCHMARK(BM_ViewShrink)
    ->Name("View/Shrink")
    ->Arg(300)
    ->Arg(600)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The pixel pass alone with every adjustment of the chain switched on.
void BM_TonePassAllAdjustments(benchmark::State& state) {
    const TBitmap source = RandomPage(300), noise = RandomPage(300);
    TBitmap result = RandomPage(300);
    ToneSettings s;
    s.Solarize = 40;
    s.Contrast = 100;
    s.Lightness = 20;
    s.Darkness = 10;
    s.Brightness = 25;
    s.Splitlight = 2;
    s.Saturation = 60;
    s.Invert = true;
    const ConstPixelRows in{source.ConstScanLine(0), source.RowStride()};
    const ConstPixelRows offsets{noise.ConstScanLine(0), noise.RowStride()};
    const PixelRows out{result.ScanLine(0), result.RowStride()};
    for (auto _ : state)
        RunTonePass(s, in, offsets, out, source.Width(), source.Height());
    state.SetItemsProcessed(state.iterations() * source.Width() * source.Height());
}
BENCHMARK(BM_TonePassAllAdjustments)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
