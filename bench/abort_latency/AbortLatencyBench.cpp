// Times TImgPanel::Clear() called while a 24-megapixel JPEG is being decoded, for a
// baseline and a progressive file (the progressive one spends its first pass inside the
// library), at the thumbnail's fitted size and at full size. Clear is called at several
// moments of the decode; each stop is timed from the call of Clear to its return (the
// abort reaching the decoder, the loader thread's end and its join). Prints the median and
// the slowest stop of each case. There is no reference program for stopping a load: the
// figure is held against a fixed budget of 50 ms, said on the line before the ratio:
//   ratio <worst median ms / 50>

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
constexpr int kRoundsPerDelay = 3;

struct CaseResult {
    double medianMs = 0;
    double slowestMs = 0;
    int stopsMidDecode = 0;
    int stops = 0;
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
    std::vector<double> times;
    CaseResult result;
    for (const int delay : kDelaysMs) {
        for (int round = 0; round < kRoundsPerDelay; ++round) {
            bool running = false;
            const double ms = TimeOneStop(panel, file, delay, &running);
            if (ms < 0) {
                continue;
            }
            times.push_back(ms);
            result.stopsMidDecode += running;
        }
    }
    result.stops = static_cast<int>(times.size());
    if (!times.empty()) {
        result.medianMs = bench::Median(times);
        result.slowestMs = *std::max_element(times.begin(), times.end());
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
    double worstMedian = 0;
    for (const Case& c : cases) {
        const CaseResult r = RunCase(QString::fromStdString(c.file), c.scale);
        if (r.stops == 0) {
            std::fprintf(stderr, "%s: no load started\n", c.name);
            return 1;
        }
        std::printf("%s median_ms %.2f slowest_ms %.2f (%d of %d stops mid-decode)\n", c.name,
                    r.medianMs, r.slowestMs, r.stopsMidDecode, r.stops);
        worstMedian = std::max(worstMedian, r.medianMs);
    }
    std::printf("median_ms %.2f (worst case median)\n", worstMedian);
    std::printf("budget %.0f ms\n", kTargetMs);
    std::printf("ratio %.3f\n", worstMedian / kTargetMs);
    return 0;
}
