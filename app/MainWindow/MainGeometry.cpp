#include "app/MainWindow/MainGeometry.h"

#include <algorithm>
#include <cmath>

namespace mainwin {

namespace {

constexpr int kMinLeftWidth = 200;
constexpr int kMinStoredFilesWidth = 195;
constexpr int kMinDraggedFilesWidth = 196;
constexpr int kOffScreenSlack = 4;
constexpr double kTwoThirds = 2.0 / 3.0;

int Truncated(float value) {
    return static_cast<int>(value);
}
int RoundedUp(float value) {
    return static_cast<int>(std::ceil(value));
}

}  // namespace

int LimitStoredSize(int value, int extent) {
    const int bound = std::max(extent, 1);
    return std::clamp(value, -bound, 2 * bound);
}

StoredWindow LimitToScreens(StoredWindow w, const QRect& screens) {
    const int across = std::max(screens.width(), 1);
    const int down = std::max(screens.height(), 1);
    w.left = std::clamp(w.left, screens.x() - across, RightOf(screens) + across);
    w.top = std::clamp(w.top, screens.y() - down, BottomOf(screens) + down);
    w.width = LimitStoredSize(w.width, across);
    w.height = LimitStoredSize(w.height, down);
    return w;
}

StoredWindow ClampStoredWindow(StoredWindow w, const QRect& workArea) {
    const int right = RightOf(workArea);
    const int bottom = BottomOf(workArea);
    if (w.width > right) {
        w.width = right;
    }
    if (w.height > bottom) {
        w.height = bottom;
    }
    if (w.left < -kOffScreenSlack) {
        w.left = 0;
    }
    if (w.top >= bottom) {
        w.top = bottom - w.top;
    }
    if (w.top < -kOffScreenSlack) {
        w.top = 0;
    }
    return w;
}

StoredWindow PlaceStoredWindow(StoredWindow w, const std::vector<QRect>& workAreas) {
    if (workAreas.empty()) {
        return w;
    }
    QRect screens;
    for (const QRect& area : workAreas) {
        screens |= area;
    }
    w = LimitToScreens(w, screens);
    w.width = std::max(w.width, kMinFormWidth);
    w.height = std::max(w.height, kMinFormHeight);
    w = ClampStoredWindow(w, workAreas.front());
    return platform::FitOnScreen(w, QSize(kMinFormWidth, kMinFormHeight), workAreas);
}

int TreeHeightForStored(int stored, int leftHeight) {
    const int half = leftHeight / 2;
    if (stored == 0) {
        return half;
    }
    const bool inRange = half < stored && stored <= leftHeight * kTwoThirds;
    return inRange ? stored : half;
}

int LeftWidthForStored(int stored, int splitWidth, int leftReserve) {
    if (stored == 0) {
        return splitWidth - leftReserve;
    }
    if (stored <= kMinLeftWidth || stored - 1 >= splitWidth - leftReserve) {
        return kMinLeftWidth;
    }
    return stored;
}

int FilesWidthForStored(int stored, int listPanelWidth, int seriesReserve, int splitListWidth) {
    if (stored == 0) {
        return listPanelWidth / 2 - splitListWidth / 2;
    }
    if (stored <= kMinStoredFilesWidth || stored >= listPanelWidth - seriesReserve) {
        return kMinStoredFilesWidth;
    }
    return stored;
}

std::optional<int> ProportionalLeftWidth(int splitWidth, int oldSplitWidth, int oldLeftWidth,
                                         int leftReserve) {
    if (oldSplitWidth == 0 || oldLeftWidth == 0) {
        return std::nullopt;
    }
    float r = static_cast<float>(splitWidth) / oldSplitWidth * oldLeftWidth;
    if (Truncated(r) < kMinLeftWidth) {
        r = kMinLeftWidth;
    }
    if (leftReserve > splitWidth - Truncated(r)) {
        r = static_cast<float>(splitWidth - leftReserve);
    }
    if (Truncated(r) > splitWidth / 2) {
        r = static_cast<float>(splitWidth / 2);
    }
    return RoundedUp(r);
}

std::optional<int> ProportionalTreeHeight(int leftHeight, int oldLeftHeight, int oldTreeHeight) {
    if (oldLeftHeight == 0 || oldTreeHeight == 0) {
        return std::nullopt;
    }
    float r = static_cast<float>(leftHeight) / oldLeftHeight * oldTreeHeight;
    if (Truncated(r) < leftHeight / 2) {
        r = static_cast<float>(leftHeight / 2);
    }
    if (Truncated(r) > leftHeight * kTwoThirds) {
        r = static_cast<float>(leftHeight * kTwoThirds);
    }
    return RoundedUp(r);
}

int ClampTreeHeight(int treeHeight, int leftHeight) {
    if (treeHeight < leftHeight / 2) {
        return leftHeight / 2;
    }
    if (treeHeight > leftHeight * kTwoThirds) {
        return static_cast<int>(leftHeight * kTwoThirds);
    }
    return treeHeight;
}

std::optional<int> ProportionalFilesWidth(int rightWidth, int oldRightWidth, int oldFilesWidth,
                                          int lowerBound, int upperBound) {
    if (oldRightWidth == 0 || oldFilesWidth == 0) {
        return std::nullopt;
    }
    float r = static_cast<float>(rightWidth) / oldRightWidth * oldFilesWidth;
    if (r < lowerBound) {
        r = static_cast<float>(lowerBound);
    }
    if (r > upperBound) {
        r = static_cast<float>(upperBound);
    }
    const bool grew = oldRightWidth < rightWidth;
    return RoundedUp(grew ? r - 0.2f : r - 0.5f);
}

bool AcceptTreeHeight(int newSize, int leftHeight) {
    return leftHeight / 2 < newSize && newSize <= leftHeight * kTwoThirds;
}

bool AcceptLeftWidth(int newSize, int splitWidth, int leftReserve) {
    return kMinLeftWidth < newSize && newSize < splitWidth - leftReserve;
}

bool AcceptFilesWidth(int newSize, int listPanelWidth, int seriesReserve) {
    return kMinDraggedFilesWidth < newSize && newSize < listPanelWidth - seriesReserve;
}

int ListColumnWidth(int listWidth, int margin, int visibleRows, int itemCount, int scrollBarWidth) {
    const int scrollBar = visibleRows < itemCount ? scrollBarWidth : 0;
    return listWidth - margin - scrollBar;
}

BottomBarLayout ArrangeBottomBarLayout(const BottomBarInput& in) {
    BottomBarLayout out;
    out.saveLeft = in.vert2BevelLeft - in.saveWidth - 5;
    out.previewLeft = out.saveLeft - in.previewWidth - 5;
    out.trackBarWidth = out.previewLeft - 4;

    out.filesLabelLeft = in.mainListLeft + in.filesLeft + 8;
    out.filesLabelWidth = in.filesWidth;
    out.selectedLabelLeft = in.mainListLeft + in.selectedLeft;
    out.selectedLabelWidth = in.selectedWidth;

    out.selectAllLeft =
        (in.filesWidth - in.selectAllWidth - in.addWidth - 6) / 2 + in.vert2BevelLeft + 5;
    out.addLeft = out.selectAllLeft + in.selectAllWidth + 6;
    out.deleteLeft = (in.selectedListWidth - in.deleteWidth - in.clearWidth - 6) / 2 +
                     in.mainRightLeft + in.selectedLeft + 2;
    out.clearLeft = out.deleteLeft + in.deleteWidth + 6;
    return out;
}

}  // namespace mainwin
