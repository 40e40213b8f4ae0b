// Times TImgPanel::Clear() called while a 24-megapixel JPEG is being decoded, for a
// baseline and a progressive file (the progressive one spends its first pass inside the
// library), at the thumbnail's fitted size and at full size. Clear is called at several
// moments of the decode; each stop is timed from the call of Clear to its return (the
// abort reaching the decoder, the loader thread's end and its join). Every stop is a
// sample: each case prints the median, the 95th percentile and the slowest of its stops,
// and the end the same over all cases. There is no reference program for stopping a load:
// the figure is held against a fixed budget of 50 ms, said on the line before the ratio:
//   ratio <95th percentile of all stops, ms / 50>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <QApplication>
#include <QTest>

#include "Components/ImgPanel/ImgPanel.h"
#include "bench/common/BenchPicture.h"
#include "bench/common/BenchTiming.h"

namespace {

constexpr double kTargetMs = 50.0;
constexpr int kDelaysMs[] = {0, 2, 5, 10, 20, 40, 80};
constexpr int kRoundsPerDelay = 10;

struct CaseResult {
    std::vector<double> stopsMs;
    int stopsMidDecode = 0;
};

// One stop: start the load, wait until the decoder has read the header, let it run for
// delayMs, then time Clear().
double TimeOneStop(TImgPanel& panel, const QString& file, int delayMs, bool* wasRunning) {
    std::atomic<bool> started{false};
    std::atomic<bool> finished{false};
    panel.SetOnProgressLoading([&](TImgCtrl*, PackedDib, int, int, TImgEvent e) {
        if (e == TImgEvent::HeaderRead) {
            started = true;
        } else if (e == TImgEvent::Finished) {
            finished = true;
        }
    });
    panel.LoadFromFile(file);
    if (!QTest::qWaitFor([&] { return started.load(); }, 10000)) {
        return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    *wasRunning = !finished;
    const double ms = bench::TimeMilliseconds([&] { panel.Clear(); });
    panel.SetOnProgressLoading({});
    return ms;
}

CaseResult RunCase(const QString& file, double scale) {
    TImgPanel panel;
    panel.resize(300, 200);
    panel.SetDelayLoading(10);
    panel.SetScale(scale);
    CaseResult result;
    for (const int delay : kDelaysMs) {
        for (int round = 0; round < kRoundsPerDelay; ++round) {
            bool running = false;
            const double ms = TimeOneStop(panel, file, delay, &running);
            if (ms < 0) {
                continue;
            }
            result.stopsMs.push_back(ms);
            result.stopsMidDecode += running;
        }
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    bench::ScratchFolder folder;
    const std::string baseline = folder.File("baseline.jpg");
    const std::string progressive = folder.File("progressive.jpg");
    if (!folder.Ok() || !bench::WriteBenchJpeg(baseline, false) ||
        !bench::WriteBenchJpeg(progressive, true)) {
        std::fprintf(stderr, "cannot write the benchmark pictures\n");
        return 1;
    }
    struct Case {
        const char* name;
        std::string file;
        double scale;
    } cases[] = {{"baseline_fitted", baseline, -1.0},
                 {"progressive_fitted", progressive, -1.0},
                 {"baseline_full_size", baseline, 1.0},
                 {"progressive_full_size", progressive, 1.0}};
    std::vector<double> allStops;
    for (const Case& c : cases) {
        const CaseResult r = RunCase(QString::fromStdString(c.file), c.scale);
        if (r.stopsMs.empty()) {
            std::fprintf(stderr, "%s: no load started\n", c.name);
            return 1;
        }
        bench::PrintTail(c.name, r.stopsMs);
        std::printf("%24s %d of %zu stops mid-decode\n", "", r.stopsMidDecode, r.stopsMs.size());
        allStops.insert(allStops.end(), r.stopsMs.begin(), r.stopsMs.end());
    }
    bench::PrintTail("all stops", allStops);
    std::printf("budget %.0f ms\n", kTargetMs);
    std::printf("ratio %.3f\n", bench::Percentile(allStops, 0.95) / kTargetMs);
    return 0;
}
