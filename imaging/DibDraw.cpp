#include "imaging/DibDraw.h"

#include <QPainter>
#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

QList<QRgb> ColourTable(const DibInfoHeader* dib, int entries) {
    QList<QRgb> table(entries, qRgb(0, 0, 0));
    const RgbQuad* palette = DibPalette(dib);
    const int given = static_cast<int>(std::min<uint32_t>(DibNumColors(dib), entries));
    for (int i = 0; palette != nullptr && i < given; ++i) {
        table[i] = qRgb(palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue);
    }
    return table;
}

// Qt paints no 4-bit format, so each index gets a byte of its own.
QImage ExpandFourBit(const DibInfoHeader* dib, int height) {
    const int width = dib->biWidth;
    QImage image(width, height, QImage::Format_Indexed8);
    if (image.isNull()) {
        return image;
    }
    const uint32_t rowBytes = DibRowBytes(dib);
    const uint8_t* bits = DibBits(dib);
    for (int y = 0; y < height; ++y) {
        const uint8_t* from = bits + size_t(y) * rowBytes;
        uchar* to = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const uint8_t byte = from[x / 2];
            to[x] = (x % 2 == 0) ? (byte >> 4) : (byte & 0x0F);
        }
    }
    image.setColorTable(ColourTable(dib, 16));
    return image;
}

QImage WrapFormat(const DibInfoHeader* dib, int height, QImage::Format format) {
    return QImage(DibBits(dib), dib->biWidth, height, DibRowBytes(dib), format);
}

bool Wrappable(const DibInfoHeader* dib) {
    // Qt wants every scan line 32-bit aligned; a forged biSize could break that.
    return DibRowsInBlock(dib) && dib->biCompression == 0 &&
           reinterpret_cast<uintptr_t>(DibBits(dib)) % 4 == 0;
}

// Qt takes an RGB32 pixel's top byte as opaque without looking, and copies it through to
// a destination that has an alpha channel; a DIB leaves that byte at 0 or uses it freely.
// Painting black behind what was drawn makes those pixels opaque again and leaves
// destinations without alpha as they are.
void MakeDrawnAreaOpaque(QPainter& painter, const QRectF& target) {
    painter.setCompositionMode(QPainter::CompositionMode_DestinationOver);
    painter.fillRect(target, Qt::black);
}

struct ClippedSource {
    QRectF source;  // in the wrapped image's rows
    QRectF target;  // in the painter's coordinates
};

// Clips the source rectangle to the picture and shrinks the target by the same share, so
// the scale stays what dst and the unclipped source asked for.
bool ClipSource(const QImage& rows, bool bottomUp, const QRect& dst, int srcX, int srcY, int srcW,
                int srcH, ClippedSource* out) {
    const int64_t x0 = std::max<int64_t>(srcX, 0);
    const int64_t y0 = std::max<int64_t>(srcY, 0);
    const int64_t x1 = std::min<int64_t>(int64_t{srcX} + srcW, rows.width());
    const int64_t y1 = std::min<int64_t>(int64_t{srcY} + srcH, rows.height());
    if (x0 >= x1 || y0 >= y1) {
        return false;
    }
    const double scaleX = double(dst.width()) / srcW;
    const double scaleY = double(dst.height()) / srcH;
    out->target = QRectF(dst.x() + double(x0 - srcX) * scaleX, dst.y() + double(y0 - srcY) * scaleY,
                         double(x1 - x0) * scaleX, double(y1 - y0) * scaleY);
    const int64_t rowTop = bottomUp ? rows.height() - y1 : y0;
    out->source = QRectF(double(x0), double(rowTop), double(x1 - x0), double(y1 - y0));
    return true;
}

}  // namespace

QImage DibWrapRows(const DibInfoHeader* dib) {
    if (!Wrappable(dib)) {
        return QImage();
    }
    const int height = std::abs(dib->biHeight);
    switch (dib->biBitCount) {
        case 32:
            return WrapFormat(dib, height, QImage::Format_RGB32);
        case 24:
            return WrapFormat(dib, height, QImage::Format_BGR888);
        case 16:
            return WrapFormat(dib, height, QImage::Format_RGB555);
        case 8: {
            QImage image = WrapFormat(dib, height, QImage::Format_Indexed8);
            image.setColorTable(ColourTable(dib, 256));
            return image;
        }
        case 4:
            return ExpandFourBit(dib, height);
        case 1: {
            QImage image = WrapFormat(dib, height, QImage::Format_Mono);
            image.setColorTable(ColourTable(dib, 2));
            return image;
        }
        default:
            return QImage();
    }
}

QImage DibToImage(const DibInfoHeader* dib) {
    const QImage rows = DibWrapRows(dib);
    if (rows.isNull()) {
        return QImage();
    }
    QImage upright = rows.convertToFormat(QImage::Format_RGB32);
    if (dib->biHeight > 0) {
        upright.mirror(false, true);
    }
    for (int y = 0; y < upright.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(upright.scanLine(y));
        for (int x = 0; x < upright.width(); ++x) {
            line[x] |= 0xFF000000u;
        }
    }
    return upright;
}

void DibDraw(const DibInfoHeader* dib, QPainter& painter, const QRect& dst, int srcX, int srcY,
             int srcW, int srcH, bool smooth) {
    if (dib == nullptr || dst.isEmpty() || srcW <= 0 || srcH <= 0) {
        return;
    }
    const QImage rows = DibWrapRows(dib);
    if (rows.isNull()) {
        return;
    }
    const bool bottomUp = dib->biHeight > 0;
    ClippedSource clip;
    if (!ClipSource(rows, bottomUp, dst, srcX, srcY, srcW, srcH, &clip)) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    if (bottomUp) {
        // Mirror about the target's middle line: its top maps to its bottom and back.
        painter.translate(0, clip.target.top() + clip.target.bottom());
        painter.scale(1, -1);
    }
    painter.drawImage(clip.target, rows, clip.source);
    if (rows.format() == QImage::Format_RGB32) {
        MakeDrawnAreaOpaque(painter, clip.target);
    }
    painter.restore();
}

void DibDraw(const DibInfoHeader* dib, QPainter& painter, const QRect& dst, bool smooth) {
    const int64_t height = DibHeight(dib);
    DibDraw(dib, painter, dst, 0, 0, DibWidth(dib),
            static_cast<int>(std::min<int64_t>(height < 0 ? -height : height, INT32_MAX)), smooth);
}
