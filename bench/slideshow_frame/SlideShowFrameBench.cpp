// Times painting one frame of a playing series in a 1920 x 1080 picture panel: each frame
// is the panel showing the next picture, painted at once, as a play tick does it. The
// pictures are those a 6000 x 4000 series decodes to at each quality level. Prints the
// median and worst frame of each level and ends with the worst median against the budget
// of 10 ms a frame:
//   ratio <median ms / 10>

#include <QApplication>
#include <QWindow>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "app/SlideShow/PicPanel.h"
#include "app/SlideShow/SlideShowRules.h"
#include "bench/common/BenchTiming.h"

namespace {

constexpr int kSourceWidth = 6000;
constexpr int kSourceHeight = 4000;
constexpr int kCycles = 4;
constexpr double kBudgetMs = 10.0;

// A picture with a pattern of its own, so no two frames are alike.
UniqueDib MakePicture(int width, int height, uint32_t seed) {
    UniqueDib dib(DibCreate(width, height, 24));
    if (!dib) {
        return dib;
    }
    uint8_t* bits = DibBits(dib.get());
    const uint32_t rowBytes = DibRowBytes(dib.get());
    for (int y = 0; y < height; ++y) {
        uint8_t* row = bits + size_t(y) * rowBytes;
        for (int x = 0; x < width * 3; ++x) {
            seed = seed * 1664525u + 1013904223u;
            row[x] = static_cast<uint8_t>(((x + y) & 0xFF) ^ (seed >> 28));
        }
    }
    return dib;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    double worstMedian = 0;
    for (int level : {0, 1, 2, 3}) {
        const int denominator = slideshow::OptiToQuality(level);
        // Full-size pictures take 72 MB each: fewer of them make the same point.
        const int count = level == 3 ? 12 : 36;
        DibList pictures;
        for (int i = 0; i < count; ++i) {
            pictures.push_back(
                MakePicture(kSourceWidth / denominator, kSourceHeight / denominator, 7u + i));
            if (!pictures.back()) {
                std::fprintf(stderr, "no memory for the pictures\n");
                return 1;
            }
        }
        TPicPanel panel;
        panel.setWindowFlag(Qt::FramelessWindowHint);
        panel.resize(1920, 1080);
        panel.Scale = denominator;
        panel.BackgroundColor = Qt::white;
        panel.show();
        // Painting starts once the window system has exposed the window.
        while (panel.windowHandle() == nullptr || !panel.windowHandle()->isExposed()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        panel.SetImages(&pictures);
        std::vector<double> frames;
        for (int frame = 0; frame < kCycles * count; ++frame) {
            frames.push_back(bench::TimeMilliseconds([&] { panel.SetCurImage(frame % count); }));
        }
        const double median = bench::Median(frames);
        const double worst = *std::max_element(frames.begin(), frames.end());
        worstMedian = std::max(worstMedian, median);
        std::printf(
            "level %d: %d pictures of %d x %d, %d frames  median %6.2f ms  worst %6.2f ms\n", level,
            count, kSourceWidth / denominator, kSourceHeight / denominator,
            static_cast<int>(frames.size()), median, worst);
    }
    std::printf("ratio %.3f\n", worstMedian / kBudgetMs);
    return 0;
}
