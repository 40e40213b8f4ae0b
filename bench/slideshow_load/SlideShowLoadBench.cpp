// Times loading a series of 36 photo-like pictures of 6000 x 4000 at each quality level.
// - ours: TSlideShow::SetImages on the series, from the call to its return: the memory
//   check, decoding on the control's workers (as many as it picks on this machine), the
//   thumbnails, progress and showing the first picture (the control is on screen, so the
//   first picture is scaled and painted and the thumbnails paint as they come);
// - reference: the same 36 files split over the same number of threads, each thread
//   decoding its files one after another with libjpeg directly at the same scale into a
//   buffer of its own, from starting the threads to joining them. Like the control, which
//   keeps its series, the reference keeps its buffers: they are freed after the timing;
// - single thread: the reference's decodes on one thread (information, and the yardstick
//   of how far the workers bring a load).
// Both sides decode with the same library settings into the same pixels. They read the
// files differently: ours in blocks of 256 KiB (imaging/JpegFileSource), the reference
// each file whole into memory with one fread, decoded from there (jpeg_mem_src).
// The three alternate so all see the same machine state; each figure is the median of
// kRepetitions runs. Beside the wall-clock figures each level prints the processor time
// (user + system, all threads of the process) that ours and the reference spent: the
// wall-clock ratio of a shared machine moves with its other load, the work done does not.
// Prints each level and ends with the worst level's
//   ratio <ours / reference at equal threads>

#include <QApplication>
#include <QStringList>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>

#include "app/SlideShow/PicPanel.h"
#include "app/SlideShow/SeriesLoader.h"
#include "app/SlideShow/SeriesPrefetcher.h"
#include "app/SlideShow/SlideShow.h"
#include "app/SlideShow/SlideShowRules.h"
#include "bench/common/BenchPicture.h"
#include "bench/common/BenchTiming.h"
#include "platform/Memory.h"

namespace {

constexpr int kPictures = 36;
constexpr int kRepetitions = 5;

double ProcessCpuMilliseconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Wall-clock milliseconds of work(); adds the processor time it took to *cpu.
template <class Work>
double TimeWithCpu(const Work& work, std::vector<double>* cpu) {
    const double before = ProcessCpuMilliseconds();
    const double wall = bench::TimeMilliseconds(work);
    cpu->push_back(ProcessCpuMilliseconds() - before);
    return wall;
}

// The reference's pictures, kept as the control keeps its series: freeing them is no part
// of either side's figure.
using KeptPictures = std::vector<std::unique_ptr<bench::PixelBuffer>>;

// Decodes every file at 1/denominator on `threads` threads, each taking the next file not
// yet taken, into *kept; returns bytes of the results so the work cannot be optimised away.
uint32_t ReferenceLoad(const std::vector<std::string>& paths, int denominator, int threads,
                       KeptPictures* kept) {
    kept->clear();
    kept->resize(paths.size());
    std::atomic<size_t> next{0};
    std::atomic<uint32_t> sink{0};
    auto work = [&] {
        for (size_t i = next++; i < paths.size(); i = next++) {
            sink += bench::ReferenceDecode(paths[i], denominator, &(*kept)[i]);
        }
    };
    std::vector<std::jthread> helpers;
    for (int i = 1; i < threads; ++i) {
        helpers.emplace_back(work);
    }
    work();
    helpers.clear();
    return sink;
}

// The workers the control uses for this series: the machine's offer, as its memory check
// lets it.
int ControlWorkers(const QString& first, int denominator) {
    const int offered = slideshow::SeriesPrefetcher::WorkerCount();
    const auto info = slideshow::ReadSeriesPictureInfo(first, denominator);
    if (!info) {
        return offered;
    }
    return slideshow::WorkersThatFit(*info, kPictures, offered, platform::AvailableMemoryBytes(),
                                     TPicPanel::kFrameBudgetBytes);
}

void WaitUntilExposed(QWidget& widget) {
    while (widget.windowHandle() == nullptr || !widget.windowHandle()->isExposed()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    bench::ScratchFolder folder;
    const std::filesystem::path first = folder.File("photo01.jpg");
    if (!folder.Ok() || !bench::WriteBenchJpeg(first.string(), false)) {
        std::fprintf(stderr, "cannot write the benchmark picture\n");
        return 1;
    }
    QStringList series;
    std::vector<std::string> paths;
    for (int i = 1; i <= kPictures; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "photo%02d.jpg", i);
        const std::filesystem::path path = folder.File(name);
        if (i > 1) {
            std::filesystem::copy_file(first, path);
        }
        paths.push_back(path.string());
        series.append(QString::fromStdString(path.string()));
    }
    std::printf("%d pictures of %d x %d, %ju bytes each, %u cores, median of %d runs\n", kPictures,
                bench::kPictureWidth, bench::kPictureHeight,
                static_cast<uintmax_t>(std::filesystem::file_size(first)),
                std::thread::hardware_concurrency(), kRepetitions);

    TSlideShow show(nullptr, false, kRotateNone, nullptr);
    show.resize(1024, 700);
    // On screen, so that the first picture and the thumbnails are really painted.
    show.show();
    WaitUntilExposed(show);
    uint32_t sink = 0;
    double worst = 0;
    // Levels to run: all by default, or those named on the command line.
    std::vector<int> levels;
    for (int i = 1; i < argc; ++i) {
        levels.push_back(std::atoi(argv[i]));
    }
    if (levels.empty()) {
        levels = {0, 1, 2, 3};
    }
    for (int level : levels) {
        const int denominator = slideshow::OptiToQuality(level);
        const int workers = ControlWorkers(series.front(), denominator);
        show.Optimization = level;
        std::vector<double> ours, reference, single, oursCpu, referenceCpu;
        for (int run = 0; run < kRepetitions; ++run) {
            // Each side starts with no pictures held; what it keeps is freed after its timing.
            show.Clear();
            KeptPictures kept;
            single.push_back(bench::TimeMilliseconds(
                [&] { sink += ReferenceLoad(paths, denominator, 1, &kept); }));
            kept.clear();
            reference.push_back(TimeWithCpu(
                [&] { sink += ReferenceLoad(paths, denominator, std::max(workers, 1), &kept); },
                &referenceCpu));
            kept.clear();
            ours.push_back(TimeWithCpu([&] { show.SetImages(series); }, &oursCpu));
            sink += static_cast<uint32_t>(show.Count());
        }
        show.Clear();
        const double oursMs = bench::Median(ours), referenceMs = bench::Median(reference);
        const double singleMs = bench::Median(single);
        const double ratio = oursMs / referenceMs;
        worst = std::max(worst, ratio);
        std::printf(
            "level %d (1/%d), %d threads: slideshow %7.1f ms  libjpeg %7.1f ms  ratio %.3f"
            "  | libjpeg on 1 thread %7.1f ms, slideshow / that %.3f\n",
            level, denominator, workers, oursMs, referenceMs, ratio, singleMs, oursMs / singleMs);
        std::printf("  processor time: slideshow %7.1f ms  libjpeg %7.1f ms  (%.3f)\n",
                    bench::Median(oursCpu), bench::Median(referenceCpu),
                    bench::Median(oursCpu) / bench::Median(referenceCpu));
    }
    std::printf("(checksum %u)\n", sink);
    std::printf("ratio %.3f\n", worst);
    return 0;
}
