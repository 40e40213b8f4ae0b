#include "app/SlideShow/SlideGeometry.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace slideshow {

int MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0) {
        return -1;
    }
    const int64_t product = int64_t{number} * numerator;
    const int64_t magnitude =
        (std::llabs(product) + std::llabs(denominator) / 2) / std::llabs(int64_t{denominator});
    const bool negative = (product < 0) != (denominator < 0);
    const int64_t result = negative ? -magnitude : magnitude;
    if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min()) {
        return -1;
    }
    return static_cast<int>(result);
}

namespace {

// Sizes are 64-bit here: a 1/1 picture times the scale can pass the int range in products.
struct FittedSize {
    int64_t width;
    int64_t height;
};

FittedSize Fit(int64_t w, int64_t h, int64_t cw, int64_t ch) {
    if (w * ch < h * cw) {
        const int64_t nh = std::min(h, ch);
        return {(w * nh + h / 2) / h, nh};
    }
    const int64_t nw = std::min(w, cw);
    return {nw, (h * nw + w / 2) / w};
}

}  // namespace

QRect FitImageRect(const QRect& client, const QSize& picture, int scale) {
    const int64_t w = int64_t{picture.width()} * std::max(scale, 1);
    const int64_t h = int64_t{picture.height()} * std::max(scale, 1);
    const int64_t cw = client.width();
    const int64_t ch = client.height();
    if (w <= 0 || h <= 0 || cw <= 0 || ch <= 0) {
        return {};
    }
    FittedSize fitted = Fit(w, h, cw, ch);
    // A very wide or very tall picture still gets one visible row or column.
    fitted.width = std::max<int64_t>(fitted.width, 1);
    fitted.height = std::max<int64_t>(fitted.height, 1);
    const int left = client.left() + static_cast<int>((cw - fitted.width) / 2);
    const int top = client.top() + static_cast<int>((ch - fitted.height) / 2);
    return {left, top, static_cast<int>(fitted.width), static_cast<int>(fitted.height)};
}

QString StatMeasureText(int count) {
    const int digits = static_cast<int>(QString::number(std::max(count, 0)).size());
    return QString(QStringLiteral("88")).repeated(digits) + QStringLiteral(" / ");
}

QString StatText(int index, int count) {
    return QString::number(index + 1) + QStringLiteral(" / ") + QString::number(count);
}

QRect StatBoxRect(const QRect& client, const QSize& textExtent) {
    const int width = textExtent.width() + 8;
    const int height = textExtent.height() + 4;
    return {client.left() + client.width() - width, client.top() + client.height() - height, width,
            height};
}

int CurPos(int y, int scroll, int thumbHeight) {
    if (thumbHeight <= 0) {
        return 0;
    }
    return (y + scroll) / thumbHeight;
}

int InsPos(int y, int scroll, int thumbHeight, int count) {
    const int64_t offset = int64_t{y} + scroll;
    if (thumbHeight <= 0 || offset <= 0 || count <= 0) {
        return 0;
    }
    const int64_t whole = offset / thumbHeight;
    const int64_t rest = offset % thumbHeight;
    // The fraction rest / height counts up only above one half.
    const int64_t gap = whole + (2 * rest > thumbHeight ? 1 : 0);
    return static_cast<int>(std::min<int64_t>(gap, count));
}

int MarkGap(int ins, int dragSource, int count) {
    return ins > dragSource && ins < count ? ins + 1 : ins;
}

bool ShowsUpperMark(int ins, int count) {
    return ins > 0 && ins <= count;
}

bool ShowsLowerMark(int ins, int dragSource, int count) {
    return ins < count && (ins <= dragSource || ins < count - 1);
}

int DropTarget(int ins, int count) {
    return std::clamp(ins, 0, std::max(count - 1, 0));
}

int DragSteps(int dx, int count, int imageWidth) {
    if (count <= 0) {
        return 0;
    }
    // A picture one pixel wide has right - left = 0; it still steps as if it were 1 wide.
    const int64_t width = std::max(imageWidth, 1);
    return static_cast<int>(std::llabs(int64_t{dx}) * count * 6 / (5 * width));
}

int WrapIndex(int index, int count) {
    if (count <= 0) {
        return -1;
    }
    return ((index % count) + count) % count;
}

QSize ThumbCellSize(const QSize& picture, int buttonWidth) {
    const int cw = std::max(buttonWidth - 4, 1);
    if (picture.width() <= 0 || picture.height() <= 0) {
        return {cw, 1};
    }
    return {cw, std::max(MulDiv(picture.height(), cw, picture.width()), 1)};
}

QRect OrientPreviewRect(const QSize& picture, int side) {
    const int pw = picture.width();
    const int ph = picture.height();
    if (pw <= 0 || ph <= 0) {
        return {};
    }
    int dw = side;
    int dh = side;
    if (pw >= ph) {
        dh = std::max(MulDiv(ph, side, pw), 1);
    } else {
        dw = std::max(MulDiv(pw, side, ph), 1);
    }
    return {(side - dw) / 2, (side - dh) / 2, dw, dh};
}

QRect ErrorPictureRect(const QSize& picture) {
    const int w = picture.width();
    const int h = picture.height();
    if (w <= 0 || h <= 0) {
        return {4, 0, 1, 1};
    }
    if (int64_t{375} * w >= int64_t{500} * h) {
        return {4, 0, 500, std::max(MulDiv(h, 500, w), 1)};
    }
    const int dw = std::max(MulDiv(w, 375, h), 1);
    return {(500 - dw) / 2 + 4, 0, dw, 375};
}

}  // namespace slideshow
