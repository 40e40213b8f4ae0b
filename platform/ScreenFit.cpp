#include "platform/ScreenFit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <tuple>
#include <utility>

namespace platform {

namespace {

// Stored values may be near the ends of int: the arithmetic is done wider.
using Wide = long long;

Wide Overlap(Wide start, Wide extent, Wide areaStart, Wide areaExtent) {
    return std::max<Wide>(
        0, std::min(start + extent, areaStart + areaExtent) - std::max(start, areaStart));
}

// One direction: the frame's start and extent within the area's.
std::pair<int, int> FitAlong(Wide start, Wide extent, int minimum, int areaStart, int areaExtent) {
    const Wide size = std::max<Wide>(std::min<Wide>(extent, areaExtent), minimum);
    const Wide first = areaStart;
    const Wide last = Wide{areaStart} + areaExtent - size;
    const Wide placed = last < first ? areaStart : std::clamp(start, first, last);
    return {static_cast<int>(placed), static_cast<int>(size)};
}

const QRect& AreaHoldingMost(Wide left, Wide top, Wide width, Wide height,
                             const std::vector<QRect>& areas) {
    const QRect* best = &areas.front();
    Wide most = 0;
    for (const QRect& area : areas) {
        const Wide held = Overlap(left, width, area.x(), area.width()) *
                          Overlap(top, height, area.y(), area.height());
        if (held > most) {
            most = held;
            best = &area;
        }
    }
    return *best;
}

}  // namespace

WindowFrame FitOnScreen(const WindowFrame& frame, QSize minimum, const std::vector<QRect>& areas) {
    const Wide width = std::max(frame.width, minimum.width());
    const Wide height = std::max(frame.height, minimum.height());
    if (areas.empty()) {
        return {frame.left, frame.top, static_cast<int>(width), static_cast<int>(height)};
    }
    const QRect& area = AreaHoldingMost(frame.left, frame.top, width, height, areas);
    WindowFrame fitted;
    std::tie(fitted.left, fitted.width) =
        FitAlong(frame.left, width, minimum.width(), area.x(), area.width());
    std::tie(fitted.top, fitted.height) =
        FitAlong(frame.top, height, minimum.height(), area.y(), area.height());
    return fitted;
}

QMargins FrameMarginsOf(const QWindow* window) {
    return window != nullptr && window->isVisible() ? window->frameMargins() : QMargins();
}

std::vector<QRect> AvailableScreenAreas() {
    std::vector<QRect> areas;
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary != nullptr) {
        areas.push_back(primary->availableGeometry());
    }
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen != primary) {
            areas.push_back(screen->availableGeometry());
        }
    }
    if (areas.empty()) {
        areas.emplace_back(0, 0, 1024, 768);
    }
    return areas;
}

}  // namespace platform
