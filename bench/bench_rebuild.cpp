// The rebuild that runs on every track-bar movement, over a full A4 page.
#include "Bitmap.h"
#include "OrImage.h"
#include "Picture.h"
#include "TonePass.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr int PageWidth300 = 2480, PageHeight300 = 3508;

TBitmap RandomPage(int width, int height) {
    TBitmap page;
    page.SetSize(width, height);
    std::mt19937 random(1);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = page.ScanLine(y);
        for (int x = 0; x < 3 * width; ++x)
            row[x] = std::uint8_t(random());
    }
    return page;
}

QApplication& App() {
    static int argc = 1;
    static char name[] = "zrk_bench";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

// Brightness, contrast and the black-and-white switch, as the main window sets them.
void BM_RebuildBrightnessContrastGrey(benchmark::State& state) {
    App();
    const int scale = int(state.range(0));
    TOrImage image;
    TBitmap page = RandomPage(PageWidth300 * scale / 300, PageHeight300 * scale / 300);
    image.PictureOriginal()->Assign(&page);
    image.SetPicGrayScale(true);
    image.SetPicContrast(100);
    int step = 0;
    for (auto _ : state) {
        image.SetPicBrightness((step++ % 21 - 10) * 25);
        benchmark::DoNotOptimize(image.PictureResult()->Bitmap()->ConstScanLine(0)[0]);
    }
    state.SetItemsProcessed(state.iterations() * page.Width() * page.Height());
}
BENCHMARK(BM_RebuildBrightnessContrastGrey)->Arg(300)->Arg(600)->Unit(benchmark::kMillisecond)->UseRealTime();

// The pixel pass alone with every adjustment of the chain switched on.
void BM_TonePassAllAdjustments(benchmark::State& state) {
    TBitmap source = RandomPage(PageWidth300, PageHeight300);
    TBitmap noise = RandomPage(PageWidth300, PageHeight300);
    TBitmap result = RandomPage(PageWidth300, PageHeight300);
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
