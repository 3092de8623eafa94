// Runs the benchmarks and then sets each measured row beside its floor from the same run, as ratios
// (medians when the run repeats), under the pixel path in force (run once for each path to compare). Floors:
// Floor/Memcpy for the rebuilds and the track-bar handler; libjpeg's decode plus the rebuild after an open
// for opening a JPEG; reading the file plus that rebuild for opening a BMP; the file's bytes written and
// synced in the same folder for saving a BMP, and libjpeg's encode plus its bytes written and synced for
// saving a JPEG; compressing the ten pages of the ring with the PDF's JPEG settings for saving them as one
// PDF; pressing "Печать" for each of them for printing them as one job.
#include "PixelPath.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

// Keeps every row's time (the median of repetitions, when there are several) as it is reported.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times; // "Rebuild/Grey/300" -> milliseconds

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred)
                continue;
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (!single && !median)
                continue;
            const std::string name = run.run_name.function_name + "/" + run.run_name.args;
            times[name] = run.GetAdjustedRealTime() * (run.time_unit == benchmark::kMicrosecond ? 1e-3 : 1.0);
        }
    }
};

struct TRatio {
    const char* row;
    std::vector<const char*> floor; // summed
    double bound;
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    // The pass over every pixel may take half as long again as a copy of the page in plain code; with
    // vectors, no longer than the copy.
    const TPixelPath path = ActivePixelPath();
    const double pass = path == TPixelPath::Scalar ? 1.5 : 1.0;
    const TRatio ratios[] = {
        {"Rebuild/Grey", {"Floor/Memcpy"}, pass},
        {"Rebuild/Colour", {"Floor/Memcpy"}, pass},
        {"Window/TrackBarAfterScan", {"Floor/Memcpy"}, pass},
        {"View/Shrink", {"Rebuild/Grey"}, 0.2},
        {"Window/OpenJpeg", {"Floor/LibjpegDecode", "Floor/RebuildAfterOpen"}, 1.1},
        {"Window/OpenJpegGrey", {"Floor/LibjpegDecode", "Floor/RebuildGreyAfterOpen"}, 1.1},
        {"Window/OpenBmp", {"Floor/ReadFile", "Floor/RebuildAfterOpen"}, 1.3},
        {"Window/OpenBmpGrey", {"Floor/ReadFile", "Floor/RebuildGreyAfterOpen"}, 1.3},
        {"Window/SaveBmp", {"Floor/WriteSyncedBmp"}, 1.1},
        {"Window/SaveJpeg", {"Floor/LibjpegEncode", "Floor/WriteSyncedJpeg"}, 1.1},
        {"Preview/Bed", {"Floor/Scanimage"}, 1.5},
        {"Preview/Drag", {"Floor/PaintPreview"}, 1.5},
        {"Document/SavePdf", {"Floor/JpegEncodeTen"}, 1.3},
        {"Document/PrintAll", {"Floor/PrintOneByOne"}, 1.5},
    };
    std::printf("\npixel path: %s (ZRK_PIXEL_PATH chooses another)\n", PixelPathName(path));
    std::printf("%-26s %5s %10s %10s %7s %7s\n", "row", "dpi", "ms", "floor ms", "ratio", "bound");
    for (const TRatio& r : ratios)
        for (const char* dpi : {"75", "300", "600"}) {
            const auto row = reporter.times.find(std::string(r.row) + "/" + dpi);
            if (row == reporter.times.end())
                continue;
            double floor = 0;
            bool complete = true;
            for (const char* f : r.floor) {
                const auto part = reporter.times.find(std::string(f) + "/" + dpi);
                complete = complete && part != reporter.times.end();
                if (part != reporter.times.end())
                    floor += part->second;
            }
            if (!complete || floor <= 0)
                continue;
            std::printf("%-26s %5s %10.2f %10.2f %7.2f %7.2f\n", r.row, dpi, row->second, floor,
                        row->second / floor, r.bound);
        }
    return 0;
}
