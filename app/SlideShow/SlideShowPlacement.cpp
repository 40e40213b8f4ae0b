#include "app/SlideShow/SlideShowPlacement.h"

#include <algorithm>
#include <climits>

#include "platform/IniFile.h"
#include "platform/ScreenFit.h"

namespace slideshow {

namespace {

const QString kSection = QStringLiteral("SlideShow");

}  // namespace

WindowPlacement ReadPlacement(const TIniFile& ini, const std::vector<QRect>& workAreas,
                              const QMargins& frame) {
    const QSize screen = workAreas.empty() ? QSize() : workAreas.front().size();
    WindowPlacement placement;
    placement.width =
        std::max(ini.ReadInteger(kSection, QStringLiteral("Width"), kMinFormWidth), kMinFormWidth);
    placement.height = std::max(ini.ReadInteger(kSection, QStringLiteral("Height"), kMinFormHeight),
                                kMinFormHeight);
    placement.left =
        ini.ReadInteger(kSection, QStringLiteral("Left"), (screen.width() - placement.width) / 2);
    placement.top =
        ini.ReadInteger(kSection, QStringLiteral("Top"), (screen.height() - placement.height) / 2);
    placement.maximized = ini.ReadString(kSection, QStringLiteral("State"),
                                         QStringLiteral("MAX")) == QStringLiteral("MAX");
    return FitPlacement(placement, workAreas, frame);
}

WindowPlacement FitPlacement(WindowPlacement placement, const std::vector<QRect>& workAreas,
                             const QMargins& frame) {
    const int across = frame.left() + frame.right();
    const int down = frame.top() + frame.bottom();
    // Widened in 64 bits: a stored size near the end of int plus the frame must not wrap.
    const auto outer = [](int size, int extra) {
        return static_cast<int>(std::min<long long>(INT_MAX, static_cast<long long>(size) + extra));
    };
    const platform::WindowFrame fitted =
        platform::FitOnScreen({placement.left, placement.top, outer(placement.width, across),
                               outer(placement.height, down)},
                              QSize(kMinFormWidth + across, kMinFormHeight + down), workAreas);
    placement.left = fitted.left;
    placement.top = fitted.top;
    placement.width = fitted.width - across;
    placement.height = fitted.height - down;
    return placement;
}

void WritePlacement(TIniFile& ini, const WindowPlacement& placement) {
    if (placement.maximized) {
        ini.WriteString(kSection, QStringLiteral("State"), QStringLiteral("MAX"));
        return;
    }
    ini.WriteString(kSection, QStringLiteral("State"), QStringLiteral("NRM"));
    ini.WriteInteger(kSection, QStringLiteral("Width"), placement.width);
    ini.WriteInteger(kSection, QStringLiteral("Height"), placement.height);
    ini.WriteInteger(kSection, QStringLiteral("Left"), placement.left);
    ini.WriteInteger(kSection, QStringLiteral("Top"), placement.top);
}

}  // namespace slideshow
