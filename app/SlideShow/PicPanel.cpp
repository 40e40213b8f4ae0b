#include "app/SlideShow/PicPanel.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <algorithm>
#include <thread>

#include "app/SlideShow/SlideGeometry.h"
#include "imaging/DibDraw.h"
#include "imaging/DibScale.h"

TPicPanel::TPicPanel(QWidget* owner) : QWidget(owner), BackgroundColor(palette().button().color()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    QFont boxFont(QStringLiteral("Arial"), 9);
    boxFont.setBold(true);
    setFont(boxFont);
}

TPicPanel::~TPicPanel() = default;

void TPicPanel::SetImages(const DibList* list) {
    Pictures = list;
    CurImage = list != nullptr ? 0 : -1;
    UpdateImage();
}

void TPicPanel::SetCurImage(int index) {
    const int count = Pictures != nullptr ? static_cast<int>(Pictures->size()) : 0;
    CurImage = index >= 0 && index < count ? index : -1;
    if (CurImage >= 0) {
        CalcImageRect();
        // All pictures of a series have one size: only the picture and the box change.
        repaint(QRegion(ImageRect) + QRegion(StatRect));
    } else {
        repaint(rect());
    }
}

void TPicPanel::UpdateImage() {
    ForgetFrames();
    repaint(rect());
}

void TPicPanel::ForgetFrames() {
    RetireFrames();
    if (Pictures == nullptr || Pictures->empty()) {
        spare_.clear();  // nothing left to show: give the memory back
    }
}

void TPicPanel::RetireFrames() {
    const size_t count = Pictures != nullptr ? Pictures->size() : 0;
    for (auto& [picture, block] : frames_) {
        if (spare_.size() < count) {
            spare_.push_back(std::move(block));
        }
    }
    frames_.clear();
}

bool TPicPanel::HasCurrentPicture() const {
    return Pictures != nullptr && CurImage >= 0 && CurImage < static_cast<int>(Pictures->size());
}

const DibInfoHeader* TPicPanel::CurrentPicture() const {
    return HasCurrentPicture() ? (*Pictures)[CurImage].get() : nullptr;
}

void TPicPanel::CalcImageRect() {
    const DibInfoHeader* picture = CurrentPicture();
    if (picture == nullptr) {
        ImageRect = QRect();
        StatRect = QRect();
        return;
    }
    ImageRect = slideshow::FitImageRect(rect(), {DibWidth(picture), DibHeight(picture)}, Scale);
    CalcStatRect();
}

void TPicPanel::CalcStatRect() {
    const int count = Pictures != nullptr ? static_cast<int>(Pictures->size()) : 0;
    const QSize extent = fontMetrics().size(Qt::TextSingleLine, slideshow::StatMeasureText(count));
    StatRect = slideshow::StatBoxRect(rect(), extent);
}

void TPicPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawImage(painter);
}

void TPicPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    CalcImageRect();
}

void TPicPanel::DrawImageBkgnd(QPainter& painter) {
    CalcImageRect();
    painter.save();
    painter.setClipRegion(QRegion(rect()) - QRegion(ImageRect) - QRegion(StatRect));
    painter.fillRect(rect(), BackgroundColor);
    painter.restore();
}

void TPicPanel::DrawImage(QPainter& painter) {
    DrawImageBkgnd(painter);
    const DibInfoHeader* picture = CurrentPicture();
    if (picture != nullptr && !ImageRect.isEmpty()) {
        painter.save();
        painter.setClipRegion(QRegion(rect()) - QRegion(StatRect));
        if (const QImage frame = FrameFor(picture); !frame.isNull()) {
            painter.drawImage(ImageRect.topLeft(), frame);
        } else if (const QImage made = MakeFrame(picture); !made.isNull()) {
            painter.drawImage(ImageRect.topLeft(), made);
        } else {
            painter.fillRect(ImageRect, BackgroundColor);
            DibDraw(picture, painter, ImageRect);
        }
        painter.restore();
    }
    DrawStatInfo(painter);
}

bool TPicPanel::FramesFitBudget() const {
    const qint64 frameBytes = qint64{ImageRect.width()} * ImageRect.height() * 4;
    const qint64 count = Pictures != nullptr ? static_cast<qint64>(Pictures->size()) : 0;
    return frameBytes * count <= kFrameBudgetBytes;
}

void TPicPanel::FrameBlock::Release::operator()(void* block) const {
    DibRelease(block);
}

bool TPicPanel::FillFrame(const DibInfoHeader* picture, QImage& frame) const {
    if (DibScalable(picture)) {
        // The panel waits for the frame: a large one is worth every core.
        const int cores = static_cast<int>(std::thread::hardware_concurrency());
        const int threads =
            DibScaleThreadsFor(frame.size(), DibWidth(picture), DibHeight(picture), cores);
        return DibScaleInto(picture, frame, threads);
    }
    frame.fill(BackgroundColor);
    QPainter framePainter(&frame);
    DibDraw(picture, framePainter, frame.rect(), true);
    return true;
}

QImage TPicPanel::MakeFrame(const DibInfoHeader* picture) const {
    QImage frame(ImageRect.size(), QImage::Format_RGB32);
    if (frame.isNull() || !FillFrame(picture, frame)) {
        return QImage();
    }
    return frame;
}

// An image over the block's memory (no copy); the block must outlive it.
QImage TPicPanel::FrameView(const FrameBlock& block) const {
    return QImage(static_cast<uchar*>(block.block.get()), frameSize_.width(), frameSize_.height(),
                  qsizetype{frameSize_.width()} * 4, QImage::Format_RGB32);
}

TPicPanel::FrameBlock TPicPanel::TakeBlock(size_t bytes) {
    auto fitting = std::find_if(spare_.begin(), spare_.end(), [bytes](const FrameBlock& spare) {
        return spare.capacity >= bytes;
    });
    if (fitting != spare_.end()) {
        FrameBlock block = std::move(*fitting);
        spare_.erase(fitting);
        return block;
    }
    if (!spare_.empty()) {
        spare_.pop_back();  // too small for this size; the new block takes its place
    }
    FrameBlock block;
    // Frame blocks are reused: large pages make their first filling and release cheap.
    block.block.reset(DibAlloc(bytes, DibPages::Large));
    block.capacity = block.block ? bytes : 0;
    return block;
}

QImage TPicPanel::FrameFor(const DibInfoHeader* picture) {
    if (frameSize_ != ImageRect.size()) {
        RetireFrames();
        frameSize_ = ImageRect.size();
    }
    if (!FramesFitBudget()) {
        return QImage();
    }
    auto found = frames_.find(picture);
    if (found != frames_.end()) {
        return FrameView(found->second);
    }
    const size_t bytes = size_t(frameSize_.width()) * size_t(frameSize_.height()) * 4;
    FrameBlock block = TakeBlock(bytes);
    if (!block.block) {
        return QImage();
    }
    QImage frame = FrameView(block);
    if (!FillFrame(picture, frame)) {
        spare_.push_back(std::move(block));
        return QImage();
    }
    frames_.emplace(picture, std::move(block));
    return frame;  // the block's memory moved with it, unchanged
}

void TPicPanel::DrawStatInfo(QPainter& painter) {
    if (StatRect.isEmpty() || Pictures == nullptr) {
        return;
    }
    const QString text = slideshow::StatText(CurImage, static_cast<int>(Pictures->size()));
    painter.save();
    painter.fillRect(StatRect, BackgroundColor);
    painter.setPen(palette().button().color());
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(StatRect.adjusted(0, 0, -1, -1));
    const QRect inner = StatRect.adjusted(1, 1, -1, -1);
    // Black text on an opaque white cell, the way a plain device context draws text.
    const QRect textCell = painter.fontMetrics().boundingRect(inner, Qt::AlignCenter, text);
    painter.fillRect(textCell.intersected(inner), Qt::white);
    painter.setPen(Qt::black);
    painter.drawText(inner, Qt::AlignCenter | Qt::TextSingleLine, text);
    painter.restore();
}

void TPicPanel::mousePressEvent(QMouseEvent* event) {
    emit MouseDown(event);
}

void TPicPanel::mouseMoveEvent(QMouseEvent* event) {
    emit MouseMove(event);
}

void TPicPanel::mouseReleaseEvent(QMouseEvent* event) {
    emit MouseUp(event);
}

void TPicPanel::mouseDoubleClickEvent(QMouseEvent* event) {
    emit DblClick(event);
}
