// Times loading a series of 36 photo-like pictures of 6000 x 4000 into the slideshow
// control (decode, thumbnails, progress) at each quality level, against libjpeg decoding
// the same 36 files at the same scale. The two alternate so both see the same machine
// state. Prints the median of each level and ends with the worst ratio:
//   ratio <ours / reference>

#include <QApplication>
#include <QStringList>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/SlideShow/SlideShow.h"
#include "app/SlideShow/SlideShowRules.h"
#include "bench/common/BenchPicture.h"
#include "bench/common/BenchTiming.h"

namespace {

constexpr int kPictures = 36;
constexpr int kRepetitions = 3;

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
    std::printf("%d pictures of %d x %d, %ju bytes each, median of %d runs\n", kPictures,
                bench::kPictureWidth, bench::kPictureHeight,
                static_cast<uintmax_t>(std::filesystem::file_size(first)), kRepetitions);

    TSlideShow show(nullptr, false, kRotateNone, nullptr);
    show.resize(1024, 700);
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
        show.Optimization = level;
        std::vector<double> ours;
        std::vector<double> reference;
        for (int run = 0; run < kRepetitions; ++run) {
            reference.push_back(bench::TimeMilliseconds([&] {
                for (const std::string& path : paths) {
                    sink += bench::ReferenceDecode(path, denominator);
                }
            }));
            show.Clear();
            ours.push_back(bench::TimeMilliseconds([&] { show.SetImages(series); }));
            sink += static_cast<uint32_t>(show.Count());
        }
        show.Clear();
        const double oursMs = bench::Median(ours), referenceMs = bench::Median(reference);
        const double ratio = oursMs / referenceMs;
        worst = std::max(worst, ratio);
        std::printf("level %d (1/%d)  slideshow %9.1f ms  libjpeg %9.1f ms  ratio %.3f\n", level,
                    denominator, oursMs, referenceMs, ratio);
    }
    std::printf("(checksum %u)\n", sink);
    std::printf("ratio %.3f\n", worst);
    return 0;
}
