// The ring of ten black-and-white 300-dpi pages as one document, each beside its floor: saved as one
// PDF against compressing the ten pages with the JPEG settings of the PDF into memory; printed as one
// job against pressing "Печать" for each page, both handed to a CUPS queue of the benchmark's own that
// holds its jobs (stopped, so nothing is rendered while the timing runs; the jobs are cancelled at the
// end). The peak memory the save adds to the ring is shown in pages' pixels.
#include "BenchPages.h"

#include "Bitmap.h"
#include "Canvas.h"
#include "Document.h"
#include "JpegCodec.h"
#include "Printer.h"

#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

using namespace benchpages;

namespace {

std::vector<TBitmap>& Ring() {
    static std::vector<TBitmap> ring = [] {
        std::vector<TBitmap> pages;
        for (int i = 0; i < 10; ++i)
            pages.push_back(GreyScanLikePage(300, 7 + i));
        return pages;
    }();
    return ring;
}

document::TPages RingPages() {
    document::TPages pages;
    for (const TBitmap& page : Ring())
        pages.push_back(&page);
    return pages;
}

// Kilobytes of the process's peak resident memory; ResetPeak starts the peak again from now.
long PeakKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

struct TMemorySink {
    std::vector<std::uint8_t> room;
    std::size_t used = 0;
    static bool Take(void* context, const std::uint8_t* bytes, std::size_t size) {
        auto& sink = *static_cast<TMemorySink*>(context);
        if (sink.used + size > sink.room.size())
            return false;
        std::memcpy(sink.room.data() + sink.used, bytes, size);
        sink.used += size;
        return true;
    }
};

void BM_JpegEncodeTen(benchmark::State& state) {
    App();
    const document::TPages pages = RingPages();
    TMemorySink sink;
    sink.room.assign(std::size_t(Width(300)) * std::size_t(Height(300)) * 2, 1);
    std::vector<const std::uint8_t*> rows(std::size_t(Height(300)));
    for (auto _ : state)
        for (const TBitmap* page : pages) {
            for (int y = 0; y < page->Height(); ++y)
                rows[std::size_t(y)] = page->ConstScanLine(y);
            sink.used = 0;
            if (jpegcodec::EncodeGrey(page->Width(), page->Height(), rows.data(), document::PdfQuality,
                                      &TMemorySink::Take, &sink) != 0)
                state.SkipWithError("libjpeg failed");
        }
}
BENCHMARK(BM_JpegEncodeTen)
    ->Name("Floor/JpegEncodeTen")
    ->Arg(300)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_SavePdf(benchmark::State& state) {
    App();
    const document::TPages pages = RingPages();
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("ring.pdf"));
    ResetPeak();
    const long before = PeakKilobytes();
    for (auto _ : state)
        document::SavePdf(file, pages);
    const double pagePixels = double(Width(300)) * Height(300) / 1024.0;
    state.counters["bytes"] = double(QFileInfo(file).size());
    state.counters["peak_growth_pages"] = double(PeakKilobytes() - before) / pagePixels;
}
BENCHMARK(BM_SavePdf)->Name("Document/SavePdf")->Arg(300)->Unit(benchmark::kMillisecond)->UseRealTime();

// The benchmark's own print queue, stopped, so that jobs wait in it; gone with its jobs at the end.
struct THeldQueue {
    bool ready = false;
    THeldQueue() {
        ready = QProcess::execute(QStringLiteral("lpadmin"),
                                  {QStringLiteral("-p"), Name(), QStringLiteral("-E"), QStringLiteral("-v"),
                                   QStringLiteral("cups-pdf:/"), QStringLiteral("-P"),
                                   QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd")}) == 0 &&
                QProcess::execute(QStringLiteral("cupsdisable"), {Name()}) == 0;
    }
    ~THeldQueue() {
        QProcess::execute(QStringLiteral("cancel"), {QStringLiteral("-a"), QStringLiteral("-x"), Name()});
        QProcess::execute(QStringLiteral("lpadmin"), {QStringLiteral("-x"), Name()});
    }
    static QString Name() { return QStringLiteral("ZrkBenchHeld"); }
};

THeldQueue& Queue() {
    static THeldQueue queue;
    return queue;
}

bool OnHeldQueue(benchmark::State& state) {
    if (!Queue().ready) {
        state.SkipWithError("no CUPS queue of our own");
        return false;
    }
    Printer().Device().setOutputFileName(QString());
    Printer().Device().setPrinterName(THeldQueue::Name());
    return Printer().Device().printerName() == THeldQueue::Name();
}

void BM_PrintOneByOne(benchmark::State& state) {
    App();
    // "Печать" prints the working picture, which has 24 bits.
    std::vector<TBitmap> pictures;
    for (const TBitmap& page : Ring()) {
        pictures.emplace_back(page);
        pictures.back().SetPixelFormat(TPixelFormat::pf24bit);
    }
    if (!OnHeldQueue(state))
        return;
    TPrinter& printer = Printer();
    for (auto _ : state)
        for (TBitmap& picture : pictures) {
            const TRect source = Rect(0, 0, picture.Width(), picture.Height());
            const TRect page = Rect(0, 0, printer.PageWidth(), printer.PageHeight());
            printer.BeginDoc();
            printer.Canvas().CopyRect(page, picture.Canvas(), source);
            printer.EndDoc();
        }
}
BENCHMARK(BM_PrintOneByOne)
    ->Name("Floor/PrintOneByOne")
    ->Arg(300)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_PrintAll(benchmark::State& state) {
    App();
    const document::TPages pages = RingPages();
    if (!OnHeldQueue(state))
        return;
    for (auto _ : state)
        document::PrintPages(Printer(), pages);
}
BENCHMARK(BM_PrintAll)->Name("Document/PrintAll")->Arg(300)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
