#include "app/SlideShow/ThumbButton.h"

#include <qdrawutil.h>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "app/SlideShow/SlideGeometry.h"
#include "imaging/DibDraw.h"
#include "imaging/DibScale.h"

namespace {

enum GlyphCell { kCellUp = 0, kCellDisabled = 1, kCellPressed = 2, kCellDown = 3 };

}  // namespace

TThumbButton::TThumbButton(QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setAutoExclusive(false);
    setFocusPolicy(Qt::NoFocus);
}

void TThumbButton::SetGlyph(const QPixmap& strip, int numGlyphs) {
    glyph_ = strip;
    numGlyphs_ = std::max(numGlyphs, 1);
    update();
}

QPixmap TThumbButton::FirstCell() const {
    if (glyph_.isNull()) {
        return {};
    }
    return glyph_.copy(0, 0, glyph_.width() / numGlyphs_, glyph_.height());
}

QSize TThumbButton::sizeHint() const {
    return {slideshow::kThumbButtonWidth, 24};
}

int TThumbButton::CellIndex() const {
    if (!isEnabled()) {
        return kCellDisabled;
    }
    if (isDown()) {
        return kCellPressed;
    }
    return isChecked() ? kCellDown : kCellUp;
}

void TThumbButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().button());
    const bool sunken = isDown() || isChecked();
    qDrawShadePanel(&painter, rect(), palette(), sunken, 1);
    if (glyph_.isNull()) {
        return;
    }
    const int cellWidth = glyph_.width() / numGlyphs_;
    const int cell = std::min(CellIndex(), numGlyphs_ - 1);
    const int offset = sunken ? 1 : 0;
    const QPoint at((width() - cellWidth) / 2 + offset, (height() - glyph_.height()) / 2 + offset);
    painter.drawPixmap(at, glyph_, QRect(cell * cellWidth, 0, cellWidth, glyph_.height()));
}

void TThumbButton::mousePressEvent(QMouseEvent* event) {
    cancelClick_ = false;
    emit MouseDown(event);
    QAbstractButton::mousePressEvent(event);
}

void TThumbButton::mouseMoveEvent(QMouseEvent* event) {
    emit MouseMove(event);
    QAbstractButton::mouseMoveEvent(event);
}

void TThumbButton::mouseReleaseEvent(QMouseEvent* event) {
    emit MouseUp(event);
    if (cancelClick_) {
        // The release ends a drag: the button comes up without a click.
        cancelClick_ = false;
        setDown(false);
        event->accept();
        return;
    }
    QAbstractButton::mouseReleaseEvent(event);
}

namespace {

QFont NumberFont() {
    QFont font(QStringLiteral("Arial"), 9);
    font.setBold(true);
    return font;
}

// The box behind the number, measured with a fresh canvas's plain font.
QRect NumberBox(const QString& text) {
    const QFontMetrics plain(QFont(QStringLiteral("Arial"), 8));
    const QSize extent = plain.size(Qt::TextSingleLine, text);
    return {0, 0, extent.width() + 7, extent.height() + 4};
}

void DrawNumber(QPainter& painter, const QRect& box, const QString& text, const QColor& color) {
    painter.setFont(NumberFont());
    painter.setPen(color);
    painter.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, text);
}

void DrawRoundedOutline(QPainter& painter, const QRect& box, const QColor& color) {
    painter.setPen(color);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5), 1, 1);
}

void ClearCorners(QImage& cell, const QColor& color) {
    const QRgb rgb = color.rgb();
    const int right = cell.width() - 1;
    const int bottom = cell.height() - 1;
    cell.setPixel(0, 0, rgb);
    cell.setPixel(0, bottom, rgb);
    cell.setPixel(right, 0, rgb);
    cell.setPixel(right, bottom, rgb);
}

// The picture reduced to the cell. The one-pass scaler filters as the painter's smooth
// drawing does, but reads the rows it needs in order: the painter fetches each sample on
// its own, and in a picture of tens of megabytes just decoded nearly every sample misses
// the caches, which made a thumbnail of a full-size photo cost milliseconds.
QImage PictureCell(const DibInfoHeader* picture, const QSize& cellSize) {
    QImage cell(cellSize, QImage::Format_RGB32);
    if (!DibScaleInto(picture, cell, 1)) {
        cell.fill(Qt::black);
        QPainter painter(&cell);
        DibDraw(picture, painter, cell.rect(), true);
    }
    return cell;
}

// The up cell: the picture with its number in a white box.
QImage UpCell(const DibInfoHeader* picture, const QSize& cellSize, const QString& text,
              const QRect& box, const QColor& boxColor) {
    QImage cell = PictureCell(picture, cellSize);
    QPainter painter(&cell);
    DrawRoundedOutline(painter, box, boxColor);
    painter.fillRect(box.adjusted(1, 1, -1, -1), Qt::white);
    DrawNumber(painter, box.adjusted(3, 1, -1, -1), text, Qt::black);
    painter.end();
    ClearCorners(cell, boxColor);
    return cell;
}

// The down cell: the same in red, framed in red.
QImage DownCell(const QImage& up, const QString& text, const QRect& box) {
    QImage cell = up.copy();
    QPainter painter(&cell);
    DrawNumber(painter, box.adjusted(3, 1, -1, -1), text, Qt::red);
    DrawRoundedOutline(painter, box, Qt::red);
    DrawRoundedOutline(painter, cell.rect(), Qt::red);
    return cell;
}

QImage DisabledCell(const QImage& up) {
    QImage grey =
        up.convertToFormat(QImage::Format_Grayscale8).convertToFormat(QImage::Format_RGB32);
    QPainter painter(&grey);
    painter.fillRect(grey.rect(), QColor(255, 255, 255, 96));
    return grey;
}

}  // namespace

void MakeImageButton(TThumbButton* button, const DibInfoHeader* picture, int index,
                     const QColor& boxColor) {
    const QSize cellSize =
        slideshow::ThumbCellSize({DibWidth(picture), DibHeight(picture)}, button->width());
    button->setGeometry(button->x(), (cellSize.height() + 4) * index, button->width(),
                        cellSize.height() + 4);
    button->Tag = std::abs(button->Tag);
    const QString text = QString::number(button->Tag);
    const QRect box = NumberBox(text);

    const QImage up = UpCell(picture, cellSize, text, box, boxColor);
    QImage strip(cellSize.width() * 4, cellSize.height(), QImage::Format_RGB32);
    strip.fill(boxColor);
    QPainter painter(&strip);
    const int cw = cellSize.width();
    painter.drawImage(kCellUp * cw, 0, up);
    painter.drawImage(kCellDisabled * cw, 0, DisabledCell(up));
    painter.drawImage(kCellPressed * cw, 0, up);
    painter.drawImage(kCellDown * cw, 0, DownCell(up, text, box));
    painter.end();
    button->SetGlyph(QPixmap::fromImage(strip), 4);
}
