// Runs the benchmarks and then sets each measured row beside its floor from the same run, as ratios
// (medians when the run repeats). Floors: Floor/Memcpy for the rebuilds and the track-bar handler;
// libjpeg's decode plus the rebuild after an open for opening a JPEG; reading the file plus that
// rebuild for opening a BMP; one write of the same bytes for saving a BMP; libjpeg's encode for
// saving a JPEG; compressing the ten pages of the ring with the PDF's JPEG settings for saving them as
// one PDF; pressing "Печать" for each of them for printing them as one job.
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

    const TRatio ratios[] = {
        {"Rebuild/Grey", {"Floor/Memcpy"}, 1.5},
        {"Rebuild/Colour", {"Floor/Memcpy"}, 2.0},
        {"Window/TrackBarAfterScan", {"Floor/Memcpy"}, 2.0},
        {"Window/OpenJpeg", {"Floor/LibjpegDecode", "Floor/RebuildAfterOpen"}, 1.15},
        {"Window/OpenBmp", {"Floor/ReadFile", "Floor/RebuildAfterOpen"}, 1.2},
        {"Window/SaveBmp", {"Floor/WriteOnce"}, 1.3},
        {"Window/SaveJpeg", {"Floor/LibjpegEncode"}, 1.1},
        {"Document/SavePdf", {"Floor/JpegEncodeTen"}, 1.3},
        {"Document/PrintAll", {"Floor/PrintOneByOne"}, 1.5},
    };
    std::printf("\n%-26s %5s %10s %10s %7s %7s\n", "row", "dpi", "ms", "floor ms", "ratio", "bound");
    for (const TRatio& r : ratios)
        for (const char* dpi : {"300", "600"}) {
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
