#include "Components/ImgPanel/PanelGeometry.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int kFrameBorder = 2;
}

int FrameBorderOf(TFrameType frame) {
    return frame == ftNone ? 0 : kFrameBorder;
}

FrameFit CalcFrameRect(const FrameGeometry& g, int pictureWidth, int pictureHeight) {
    if (pictureWidth <= 0 || pictureHeight <= 0) {
        return {};
    }
    const int availableWidth = std::max(0, g.outerWidth - 2 * g.imageSplit - 2 * g.frameBorder);
    const int availableHeight = std::max(0, g.outerHeight - 2 * g.imageSplit - 2 * g.frameBorder);
    double coefficient = 1.0;
    if (g.scale > 0.0) {
        coefficient = g.scale;
    } else if (availableWidth == 0 || availableHeight == 0) {
        coefficient = 1.0;  // nothing to fit into; the shown size is cut to nothing below
    } else if (pictureWidth < availableWidth && pictureHeight < availableHeight) {
        coefficient = 1.0;
    } else if (static_cast<double>(pictureHeight) / availableHeight >
               static_cast<double>(pictureWidth) / availableWidth) {
        coefficient = static_cast<double>(availableHeight) / pictureHeight;
    } else {
        coefficient = static_cast<double>(availableWidth) / pictureWidth;
    }
    // Products past the int range are cut to the available space like any other.
    const double w = std::min(std::trunc(pictureWidth * coefficient), 1.0 * availableWidth);
    const double h = std::min(std::trunc(pictureHeight * coefficient), 1.0 * availableHeight);
    return {coefficient, QSize(static_cast<int>(w), static_cast<int>(h))};
}

QRect CentredClientRect(QSize windowSize, QSize imageSize) {
    if (imageSize.isEmpty()) {
        return QRect(QPoint(0, 0), windowSize);
    }
    const int left = (windowSize.width() - imageSize.width()) >> 1;
    const int top = (windowSize.height() - imageSize.height()) >> 1;
    return QRect(QPoint(left, top), imageSize);
}

int ClampScrollOffset(int offset, int clientExtent, int pictureExtent) {
    return std::clamp(offset, std::min(0, clientExtent - pictureExtent), 0);
}

int DragScrollOffset(int offset, int delta, int clientExtent, int pictureExtent) {
    if (offset + delta > 0) {
        delta = -offset;
    } else if (clientExtent - offset - delta > pictureExtent) {
        delta = clientExtent - offset - pictureExtent;
    }
    return ClampScrollOffset(offset + delta, clientExtent, pictureExtent);
}

QRect PictureRowsOnScreen(const QRect& client, int firstRow, int lastRow, int pictureHeight,
                          bool fitted, int scrollY) {
    const int first = std::min(firstRow, lastRow);
    const int last = std::max(firstRow, lastRow);
    int top = first + scrollY;
    int bottom = last + scrollY;
    if (fitted && pictureHeight > 0) {
        // The picture is stretched to the client: map rows proportionally.
        top = static_cast<int>(std::floor(1.0 * first * client.height() / pictureHeight));
        bottom = static_cast<int>(std::ceil(1.0 * (last + 1) * client.height() / pictureHeight));
    }
    const QRect strip(client.left(), client.top() + top - 1, client.width(), bottom - top + 3);
    return strip.intersected(client);
}
