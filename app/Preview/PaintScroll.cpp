#include "app/Preview/PaintScroll.h"

#include <QFile>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QtEndian>
#include <algorithm>

#include "platform/Paths.h"

namespace {

constexpr int kBmpFileHeaderBytes = 14;
constexpr quint32 kCoreHeaderBytes = 12;
constexpr quint32 kBitFields = 3;

quint32 ReadLe32(const QByteArray& bytes, qsizetype at) {
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

quint16 ReadLe16(const QByteArray& bytes, qsizetype at) {
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

// A 16-bit BMP is 5-5-5 unless its masks say 5-6-5; other masks have no plain depth.
int SixteenBitDepth(const QByteArray& header, quint32 infoBytes, quint32 compression) {
    if (compression != kBitFields) {
        return 15;
    }
    // The masks follow a 40-byte header, and are part of the larger ones.
    const qsizetype masksAt = kBmpFileHeaderBytes + 40;
    if (header.size() < masksAt + 12 || infoBytes < 40) {
        return 0;
    }
    switch (ReadLe32(header, masksAt)) {
        case 0xF800:
            return 16;
        case 0x7C00:
            return 15;
        default:
            return 0;
    }
}

int DepthFromBitCount(int bitCount, const QByteArray& header, quint32 infoBytes,
                      quint32 compression) {
    switch (bitCount) {
        case 1:
        case 4:
        case 8:
        case 24:
        case 32:
            return bitCount;
        case 16:
            return SixteenBitDepth(header, infoBytes, compression);
        default:
            return 0;
    }
}

QByteArray PreviewFormat(const QString& fileName) {
    if (platform::HasExtension(fileName, {u".jpg", u".jpeg"})) {
        return QByteArrayLiteral("jpeg");
    }
    if (platform::HasExtension(fileName, {u".bmp"})) {
        return QByteArrayLiteral("bmp");
    }
    return {};
}

void RaiseAllocationLimit() {
    if (QImageReader::allocationLimit() < kPreviewAllocationLimitMb) {
        QImageReader::setAllocationLimit(kPreviewAllocationLimitMb);
    }
}

}  // namespace

int BmpFileDepth(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray header = file.read(kBmpFileHeaderBytes + 40 + 12);
    if (header.size() < kBmpFileHeaderBytes + 16 || !header.startsWith("BM")) {
        return 0;
    }
    const quint32 infoBytes = ReadLe32(header, kBmpFileHeaderBytes);
    if (infoBytes == kCoreHeaderBytes) {
        return DepthFromBitCount(ReadLe16(header, kBmpFileHeaderBytes + 10), header, infoBytes, 0);
    }
    if (infoBytes < 40 || header.size() < kBmpFileHeaderBytes + 20) {
        return 0;
    }
    const int bitCount = ReadLe16(header, kBmpFileHeaderBytes + 14);
    const quint32 compression = ReadLe32(header, kBmpFileHeaderBytes + 16);
    return DepthFromBitCount(bitCount, header, infoBytes, compression);
}

TPreviewPicture LoadPreviewPicture(const QString& fileName) {
    const QByteArray format = PreviewFormat(fileName);
    if (format.isEmpty()) {
        throw PreviewLoadError("not a JPEG or BMP file");
    }
    RaiseAllocationLimit();
    QImageReader reader(fileName, format);
    reader.setAutoDetectImageFormat(false);
    reader.setAutoTransform(false);
    TPreviewPicture picture;
    picture.image = reader.read();
    if (picture.image.isNull()) {
        throw PreviewLoadError(reader.errorString().toStdString());
    }
    if (format == "jpeg") {
        picture.depth = picture.image.format() == QImage::Format_Grayscale8 ? 8 : 24;
    } else {
        picture.depth = BmpFileDepth(fileName);
    }
    // Drawn as plain colour: a fourth byte is no transparency in these files.
    picture.image.convertTo(QImage::Format_RGB32);
    if (picture.image.isNull()) {
        throw PreviewLoadError("not enough memory to show the picture");
    }
    return picture;
}

TPaintScroll::TPaintScroll(QWidget* owner, bool tracking, const QString& fileName)
    : QAbstractScrollArea(owner) {
    setVisible(false);
    setFrameShape(QFrame::NoFrame);
    horizontalScrollBar()->setTracking(tracking);
    verticalScrollBar()->setTracking(tracking);
    TPreviewPicture picture = LoadPreviewPicture(fileName);
    picture_ = std::move(picture.image);
    depth_ = picture.depth;
    viewport()->setCursor(Qt::PointingHandCursor);
    ComputeOffsets();
}

TScrollNeed NeededScrollBars(QSize picture, QSize whole, QSize bars) {
    TScrollNeed need;
    need.across = picture.width() > whole.width();
    need.down = picture.height() > whole.height() ||
                (need.across && picture.height() > whole.height() - bars.height());
    need.across = need.across || (need.down && picture.width() > whole.width() - bars.width());
    return need;
}

// Centres the picture along each direction it fits in, and gives the scroll bar the
// rest of the picture's size along the others.
void TPaintScroll::ComputeOffsets() {
    const QSize whole = contentsRect().size();
    const QSize bars(verticalScrollBar()->sizeHint().width(),
                     horizontalScrollBar()->sizeHint().height());
    const TScrollNeed need = NeededScrollBars(picture_.size(), whole, bars);
    const bool needsHorizontal = need.across;
    const bool needsVertical = need.down;
    setHorizontalScrollBarPolicy(needsHorizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(needsVertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    const QSize client(whole.width() - (needsVertical ? bars.width() : 0),
                       whole.height() - (needsHorizontal ? bars.height() : 0));
    pictureLeft_ = needsHorizontal ? 0 : (client.width() - picture_.width()) / 2;
    pictureTop_ = needsVertical ? 0 : (client.height() - picture_.height()) / 2;
    QScrollBar* horizontal = horizontalScrollBar();
    QScrollBar* vertical = verticalScrollBar();
    horizontal->setRange(0, needsHorizontal ? picture_.width() - client.width() : 0);
    horizontal->setPageStep(client.width());
    vertical->setRange(0, needsVertical ? picture_.height() - client.height() : 0);
    vertical->setPageStep(client.height());
}

void TPaintScroll::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    ComputeOffsets();
    viewport()->update();
}

void TPaintScroll::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect exposed = event->rect();
    const QPoint origin(pictureLeft_ - horizontalScrollBar()->value(),
                        pictureTop_ - verticalScrollBar()->value());
    const QRect pictureRect(origin, picture_.size());
    // The box's own colour everywhere the picture does not cover.
    const QRegion background = QRegion(exposed).subtracted(pictureRect);
    for (const QRect& part : background) {
        painter.fillRect(part, palette().color(QPalette::Window));
    }
    const QRect visible = exposed.intersected(pictureRect);
    if (!visible.isEmpty()) {
        painter.drawImage(visible, picture_, visible.translated(-origin));
    }
}

void TPaintScroll::mousePressEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) {
        drag_ = event->position().toPoint();
    }
    QAbstractScrollArea::mousePressEvent(event);
}

// The picture follows the mouse: the scroll positions move against the pointer.
void TPaintScroll::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) {
        const QPoint now = event->position().toPoint();
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() + drag_.x() - now.x());
        verticalScrollBar()->setValue(verticalScrollBar()->value() + drag_.y() - now.y());
        drag_ = now;
    }
    QAbstractScrollArea::mouseMoveEvent(event);
}

void TPaintScroll::scrollContentsBy(int, int) {
    viewport()->update();
}
