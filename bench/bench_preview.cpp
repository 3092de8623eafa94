// The scanner window's preview: the whole bed of SANE's test scanner at 75 dpi, read by the source's
// worker and made a picture for the screen, beside scanimage making the same scan (its floor); and a
// drag of the scan area over the preview, repainted, beside painting the preview with nothing moved.
#include "PreviewArea.h"
#include "SaneDevice.h"
#include "ScanJob.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

constexpr int kPreviewDpi = 75;

// SANE with only the test scanner, configured as the program configures it.
SANE_Handle TestScanner() {
    static QTemporaryDir folder;
    static SANE_Handle handle = [] {
        QFile::copy(QStringLiteral(ZRK_SOURCE_DIR "/resources/sane/test.conf"),
                    folder.filePath(QStringLiteral("test.conf")));
        QFile dll(folder.filePath(QStringLiteral("dll.conf")));
        if (dll.open(QIODevice::WriteOnly))
            dll.write("test\n");
        dll.close();
        setenv("SANE_CONFIG_DIR", QFile::encodeName(folder.path()).constData(), 1);
        SANE_Int version = 0;
        SANE_Handle opened = nullptr;
        if (sane_init(&version, nullptr) != SANE_STATUS_GOOD ||
            sane_open("test:0", &opened) != SANE_STATUS_GOOD)
            return static_cast<SANE_Handle>(nullptr);
        return opened;
    }();
    return handle;
}

void BM_Preview(benchmark::State& state) {
    SANE_Handle handle = TestScanner();
    if (!handle) {
        state.SkipWithError("SANE's test scanner cannot be opened");
        return;
    }
    const TDeviceLimits limits = ReadDeviceLimits(handle);
    const TScanSettings settings = PreviewSettings(limits, DefaultSettings(limits));
    if (settings.resolution != kPreviewDpi)
        state.SkipWithError("the preview is not at 75 dpi");
    QObject context;
    for (auto _ : state) {
        bool done = false;
        TScanJob job(TJobKind::preview, handle, "test:0", settings, &context, [&] { done = true; });
        // SANE's test backend now and then loses its reader thread for good; such a run is told, not
        // waited for.
        QElapsedTimer waited;
        waited.start();
        while (!done && waited.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        handle = job.Release();
        if (!done || job.Status() != SANE_STATUS_GOOD || job.Pages().empty() || !handle) {
            state.SkipWithError(done ? "the preview failed" : "the test scanner stopped answering");
            break;
        }
        QImage picture = PreviewImage(job.Pages().front());
        benchmark::DoNotOptimize(picture.constBits());
    }
}
BENCHMARK(BM_Preview)->Name("Preview/Bed")->Arg(kPreviewDpi)->Unit(benchmark::kMillisecond)->UseRealTime();

// scanimage: the same device, mode, resolution and area, written nowhere.
void BM_Scanimage(benchmark::State& state) {
    if (!TestScanner()) {
        state.SkipWithError("SANE's test scanner cannot be opened");
        return;
    }
    const QStringList arguments = {QStringLiteral("-d"),           QStringLiteral("test:1"),
                                   QStringLiteral("--mode"),       QStringLiteral("Color"),
                                   QStringLiteral("--resolution"), QString::number(kPreviewDpi),
                                   QStringLiteral("-l"),           QStringLiteral("0"),
                                   QStringLiteral("-t"),           QStringLiteral("0"),
                                   QStringLiteral("-x"),           QStringLiteral("300"),
                                   QStringLiteral("-y"),           QStringLiteral("300"),
                                   QStringLiteral("--format=pnm"), QStringLiteral("-o"),
                                   QStringLiteral("/dev/null")};
    for (auto _ : state)
        if (QProcess::execute(QStringLiteral("scanimage"), arguments) != 0) {
            state.SkipWithError("scanimage failed");
            break;
        }
}
BENCHMARK(BM_Scanimage)
    ->Name("Floor/Scanimage")
    ->Arg(kPreviewDpi)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The preview of a full bed at 75 dpi in a window of the size the scan window gives it.
QImage BedPicture() {
    QImage picture(886, 886, QImage::Format_RGB888);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x % 256, y % 256, (x ^ y) % 256));
    return picture;
}

// The preview as the scan window shows it, with an area over it.
void ShowBed(TPreviewArea& preview) {
    preview.resize(460, 460);
    preview.SetBed({0, 0, 300, 300});
    preview.SetPicture(BedPicture());
    preview.SetArea({20, 20, 150, 200});
}

// One step of a drag of the area's corner, painted as the screen would show it.
void BM_Drag(benchmark::State& state) {
    TPreviewArea preview;
    ShowBed(preview);
    QImage screen(preview.size(), QImage::Format_RGB32);
    preview.render(&screen);
    QPointF corner = preview.ToWidget({170, 220});
    QMouseEvent press(QEvent::MouseButtonPress, corner, corner, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&preview, &press);
    int step = 0;
    for (auto _ : state) {
        const QPointF at = corner + QPointF(step % 40, step % 30);
        ++step;
        QMouseEvent move(QEvent::MouseMove, at, at, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&preview, &move);
        // The whole preview painted into the screen's copy (a drag asks for the rectangle's places only).
        preview.render(&screen);
        benchmark::DoNotOptimize(screen.constBits());
    }
}
BENCHMARK(BM_Drag)->Name("Preview/Drag")->Arg(kPreviewDpi)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor of a drag: the same preview painted whole, with nothing moved.
void BM_PaintPreview(benchmark::State& state) {
    TPreviewArea preview;
    ShowBed(preview);
    QImage screen(preview.size(), QImage::Format_RGB32);
    for (auto _ : state) {
        preview.render(&screen);
        benchmark::DoNotOptimize(screen.constBits());
    }
}
BENCHMARK(BM_PaintPreview)
    ->Name("Floor/PaintPreview")
    ->Arg(kPreviewDpi)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
