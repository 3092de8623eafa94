// The window's own handlers as a person sets them off, over a full A4 page, each beside its floor:
// the track-bar handler after a scan (the view and a page of the ring hold copies of the result),
// opening and saving JPEG and BMP files. The floors: libjpeg called directly on the same file or the
// same pixels with the same settings, reading the file's bytes, writing the same bytes in one call and
// syncing them; with the rebuild the window does after an open.
#include "BenchPages.h"

#include "pas1.h"
#include "ui_pas1.h"

#include "Application.h"
#include "Bitmap.h"
#include "Dialogs.h"
#include "DurableFile.h"
#include "JpegImage.h"
#include "OrImage.h"
#include "Picture.h"
#include "PictureDialogs.h"
#include "TrackBar.h"
#include "TwainManager.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <jpeglib.h>

using namespace benchpages;

namespace {

// A folder of the benchmarks' own, holding the busy animation, as the program's run folder does; it
// is also the home folder, where the window makes its working folder.
QTemporaryDir& Folder() {
    static QTemporaryDir folder;
    static const bool ready = [] {
        QFile::copy(QStringLiteral(ZRK_SOURCE_DIR "/resources/p_bar.avi"),
                    folder.filePath(QStringLiteral("p_bar.avi")));
        qputenv("HOME", folder.path().toUtf8());
        QDir::setCurrent(folder.path());
        return true;
    }();
    (void)ready;
    return folder;
}

// The window, shown, with its start-up warning answered and error boxes counted as failures.
struct Window {
    std::unique_ptr<TForm1> form;
    int errors = 0;
    Window() {
        App();
        Folder();
        SetMessageDlgHook([](const QString&, const QString&, TMsgDlgType) { return TModalResult::mrOk; });
        Application::SetErrorBoxHook([this](const QString&, const QString&) { ++errors; });
        form = std::make_unique<TForm1>();
        form->show();
        QCoreApplication::processEvents();
    }
    ~Window() {
        form.reset();
        TPictureDialog::SetHook({});
        Application::SetErrorBoxHook({});
        SetMessageDlgHook({});
    }
    Ui::TForm1& c() const { return form->Controls(); }
    void Deliver(TBitmap& page) {
        bool cancel = false;
        form->Twain1TwainAcquire(&form->Twain1(), 0, &page, cancel);
        QCoreApplication::processEvents();
    }
    // The next file dialogs answer with this name and filter.
    static void Answer(const QString& name, int filter) {
        TPictureDialog::SetHook([name, filter](TPictureDialog& dialog) {
            dialog.SetFileName(name);
            dialog.SetFilterIndex(filter);
            return true;
        });
    }
};

void CheckNoErrors(benchmark::State& state, const Window& w) {
    if (w.errors)
        state.SkipWithError("the handler reported an error");
}

// ---------------------------------------------------------------------------------------------------
// The track-bar handler after a scan: a colour page arrives (shown in black-and-white and filed in the
// ring), then the brightness bar moves back and forth by one step, with the busy animation.

void BM_TrackBarAfterScan(benchmark::State& state) {
    Window w;
    TBitmap page = RandomPage(int(state.range(0)));
    w.Deliver(page);
    int position = 10;
    for (auto _ : state) {
        position = position == 11 ? 9 : 11;
        w.c().TrackBar1->SetPosition(position);
        benchmark::DoNotOptimize(w.c().Image1->Picture()->Graphic());
        // Between two changes the window's event loop runs (and paints the view), as it does between
        // two movements of a drag; that is not the handler's time.
        state.PauseTiming();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    CheckNoErrors(state, w);
}
BENCHMARK(BM_TrackBarAfterScan)
    ->Name("Window/TrackBarAfterScan")
    ->Arg(300)
    ->Arg(600)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// ---------------------------------------------------------------------------------------------------
// Files

QString PageFile(int dpi, const char* extension) {
    const QString name =
        Folder().filePath(QStringLiteral("page%1.%2").arg(dpi).arg(QLatin1String(extension)));
    if (!QFile::exists(name)) {
        App();
        const TBitmap page = ScanLikePage(dpi);
        if (QLatin1String(extension) == QLatin1String("bmp")) {
            page.SaveToFile(name);
        } else {
            TJPEGImage jpeg;
            jpeg.SetCompressionQuality(100);
            jpeg.Assign(&page);
            jpeg.Compress();
            jpeg.SaveToFile(name);
        }
    }
    return name;
}

std::vector<std::uint8_t> ReadAll(const QString& name) {
    std::vector<std::uint8_t> bytes;
    QFile file(name);
    if (file.open(QIODevice::ReadOnly)) {
        bytes.resize(std::size_t(file.size()));
        file.read(reinterpret_cast<char*>(bytes.data()), qint64(bytes.size()));
    }
    return bytes;
}

// Reads a whole file with one read call into memory that is already there.
void ReadOnce(const QString& name, std::vector<std::uint8_t>& into) {
    const int fd = ::open(name.toLocal8Bit().constData(), O_RDONLY);
    std::size_t done = 0;
    while (fd >= 0 && done < into.size()) {
        const ssize_t n = ::read(fd, into.data() + done, into.size() - done);
        if (n <= 0)
            break;
        done += std::size_t(n);
    }
    if (fd >= 0)
        ::close(fd);
}

struct JpegError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void OnJpegError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

// libjpeg's decode with the window's settings (full size, floating-point DCT, block smoothing) into
// rows of blue, green, red.
bool LibjpegDecode(const std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& pixels) {
    jpeg_decompress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = OnJpegError;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    info.scale_num = info.scale_denom = 1;
    info.dct_method = JDCT_FLOAT;
    info.do_block_smoothing = TRUE;
    info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    const std::size_t stride = (std::size_t(info.output_width) * 3 + 3) / 4 * 4;
    pixels.resize(stride * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[8];
        for (int i = 0; i < 8; ++i)
            rows[i] = pixels.data() +
                      std::min<std::size_t>(info.output_scanline + i, info.output_height - 1) * stride;
        jpeg_read_scanlines(&info, rows, 8);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

// libjpeg's encode with the window's settings (defaults, floating-point DCT, quality 100 with baseline
// tables) of rows of blue, green, red, into memory that is there before the timing (`room`, as large as
// the page's pixels): growing the library's own buffer would time the allocator, which here costs from
// nothing to as much as the encode itself depending on what ran before.
bool LibjpegEncode(const TBitmap& page, std::vector<unsigned char>& room, unsigned long& size) {
    jpeg_compress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = OnJpegError;
    unsigned char* out = room.data();
    size = room.size();
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        if (out != room.data())
            std::free(out);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = JDIMENSION(page.Width());
    info.image_height = JDIMENSION(page.Height());
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    info.dct_method = JDCT_FLOAT;
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(page.ConstScanLine(int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    if (out != room.data()) // the stream did not fit: the library grew a buffer of its own
        std::free(out);
    return true;
}

// The rebuild an open sets off in the window: in natural colours with every adjustment at rest (as the
// window starts), or in black-and-white.
void RebuildAfterOpen(benchmark::State& state, bool grey) {
    App();
    TOrImage image;
    const TBitmap page = ScanLikePage(int(state.range(0)));
    image.PictureOriginal()->Assign(&page);
    image.SetPicGrayScale(grey);
    for (auto _ : state) {
        image.SetPicBrightness(0);
        benchmark::DoNotOptimize(image.PictureResult()->Bitmap()->ConstScanLine(0)[0]);
    }
}
void BM_RebuildAfterOpen(benchmark::State& state) {
    RebuildAfterOpen(state, false);
}
void BM_RebuildGreyAfterOpen(benchmark::State& state) {
    RebuildAfterOpen(state, true);
}
BENCHMARK(BM_RebuildAfterOpen)
    ->Name("Floor/RebuildAfterOpen")
    ->Arg(300)
    ->Arg(600)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_RebuildGreyAfterOpen)
    ->Name("Floor/RebuildGreyAfterOpen")
    ->Arg(300)
    ->Arg(600)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_LibjpegDecode(benchmark::State& state) {
    const QString name = PageFile(int(state.range(0)), "jpg");
    std::vector<std::uint8_t> data(ReadAll(name).size()), pixels;
    LibjpegDecode(ReadAll(name), pixels); // the pixels' memory is there before the timing
    for (auto _ : state) {
        ReadOnce(name, data);
        if (!LibjpegDecode(data, pixels))
            state.SkipWithError("libjpeg failed");
    }
}
BENCHMARK(BM_LibjpegDecode)
    ->Name("Floor/LibjpegDecode")
    ->Arg(300)
    ->Arg(600)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ReadFile(benchmark::State& state) {
    const QString name = PageFile(int(state.range(0)), "bmp");
    std::vector<std::uint8_t> data(ReadAll(name).size());
    for (auto _ : state) {
        ReadOnce(name, data);
        benchmark::DoNotOptimize(data[data.size() / 2]);
    }
}
BENCHMARK(BM_ReadFile)
    ->Name("Floor/ReadFile")
    ->Arg(300)
    ->Arg(600)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void Open(benchmark::State& state, const char* extension, int filter, bool grey = false) {
    Window w;
    if (grey) { // "Черно-белое" in the mode list
        w.c().ComboBox2->SetItemIndex(0);
        w.form->ComboBox2Change(w.c().ComboBox2);
    }
    const QString name = PageFile(int(state.range(0)), extension);
    Window::Answer(name, filter);
    for (auto _ : state) {
        w.form->BitBtn7Click(w.c().BitBtn7);
        benchmark::DoNotOptimize(w.c().Image1->Picture()->Graphic());
    }
    CheckNoErrors(state, w);
}
void BM_OpenJpeg(benchmark::State& state) {
    Open(state, "jpg", 1);
}
void BM_OpenBmp(benchmark::State& state) {
    Open(state, "bmp", 3);
}
void BM_OpenJpegGrey(benchmark::State& state) {
    Open(state, "jpg", 1, true);
}
void BM_OpenBmpGrey(benchmark::State& state) {
    Open(state, "bmp", 3, true);
}
BENCHMARK(BM_OpenJpegGrey)
    ->Name("Window/OpenJpegGrey")
    ->Arg(300)
    ->Arg(600)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_OpenBmpGrey)
    ->Name("Window/OpenBmpGrey")
    ->Arg(300)
    ->Arg(600)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_OpenJpeg)
    ->Name("Window/OpenJpeg")
    ->Arg(300)
    ->Arg(600)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_OpenBmp)
    ->Name("Window/OpenBmp")
    ->Arg(300)
    ->Arg(600)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The time of a step that writes a file, as the median of five runs of it (`after` runs untimed after
// each). A write lands in page cache that the system hands out afresh, and this machine's memory, once
// given back to its host, costs several times the write to touch again (a 600-dpi save measured 300 to
// 500 ms now and then against 70 to 80 ms otherwise, and its floor the same): the median keeps those
// out of both the save and its floor.
template <class Step, class After> void TimeWrites(benchmark::State& state, Step step, After after) {
    for (auto _ : state) {
        std::array<double, 5> seconds{};
        for (double& s : seconds) {
            const auto start = std::chrono::steady_clock::now();
            step();
            s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            after();
        }
        std::nth_element(seconds.begin(), seconds.begin() + 2, seconds.end());
        state.SetIterationTime(seconds[2]);
    }
}

// Writes bytes as a new file in the folder of the saves, in one call, and syncs it: what any save of
// those bytes must wait for. The file's removal after each write is not timed, as a save's release of
// the file it replaced is not.
void WriteSynced(benchmark::State& state, const std::vector<std::uint8_t>& bytes) {
    const QByteArray name = Folder().filePath(QStringLiteral("written%1").arg(state.range(0))).toLocal8Bit();
    TimeWrites(
        state,
        [&] {
            const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()) ||
                ::fsync(fd) != 0)
                state.SkipWithError("cannot write");
            if (fd >= 0 && ::close(fd) != 0)
                state.SkipWithError("cannot close");
        },
        [&] { ::unlink(name.constData()); });
    state.counters["bytes"] = double(bytes.size());
}
void BM_WriteSyncedBmp(benchmark::State& state) {
    WriteSynced(state, ReadAll(PageFile(int(state.range(0)), "bmp")));
}
BENCHMARK(BM_WriteSyncedBmp)
    ->Name("Floor/WriteSyncedBmp")
    ->Arg(300)
    ->Arg(600)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

void BM_LibjpegEncode(benchmark::State& state) {
    App();
    const TBitmap page = ScanLikePage(int(state.range(0)));
    std::vector<unsigned char> room(3 * std::size_t(page.Width()) * std::size_t(page.Height()), 1);
    unsigned long size = 0;
    for (auto _ : state)
        if (!LibjpegEncode(page, room, size))
            state.SkipWithError("libjpeg failed");
    state.counters["bytes"] = double(size);
}
BENCHMARK(BM_LibjpegEncode)
    ->Name("Floor/LibjpegEncode")
    ->Arg(300)
    ->Arg(600)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The JPEG that the save of the same page writes, written and synced.
void BM_WriteSyncedJpeg(benchmark::State& state) {
    App();
    const TBitmap page = ScanLikePage(int(state.range(0)));
    std::vector<unsigned char> room(3 * std::size_t(page.Width()) * std::size_t(page.Height()), 1);
    unsigned long size = 0;
    if (!LibjpegEncode(page, room, size)) {
        state.SkipWithError("libjpeg failed");
        return;
    }
    room.resize(size);
    WriteSynced(state, room);
}
BENCHMARK(BM_WriteSyncedJpeg)
    ->Name("Floor/WriteSyncedJpeg")
    ->Arg(300)
    ->Arg(600)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

// Saves the working picture (the page, opened, in natural colours) over the file of the last save.
void Save(benchmark::State& state, int filter) {
    Window w;
    const int dpi = int(state.range(0));
    Window::Answer(PageFile(dpi, "bmp"), 3);
    w.form->BitBtn7Click(w.c().BitBtn7);
    const QString saved = Folder().filePath(QStringLiteral("saved%1").arg(dpi));
    Window::Answer(saved, filter);
    // The file a save replaced is let go of on a thread of its own, which nobody waits for; it is not
    // let run into the next save.
    TimeWrites(
        state, [&] { w.form->BitBtn6Click(w.c().BitBtn6); }, [] { durable::WaitForLetGo(); });
    CheckNoErrors(state, w);
    // What was written, to compare with the floor's.
    state.counters["bytes"] = double(QFileInfo(saved + (filter == 1 ? ".jpg" : ".bmp")).size());
}
void BM_SaveBmp(benchmark::State& state) {
    Save(state, 2);
}
void BM_SaveJpeg(benchmark::State& state) {
    Save(state, 1);
}
BENCHMARK(BM_SaveBmp)
    ->Name("Window/SaveBmp")
    ->Arg(300)
    ->Arg(600)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK(BM_SaveJpeg)
    ->Name("Window/SaveJpeg")
    ->Arg(300)
    ->Arg(600)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

} // namespace
