#include "Components/ImgPanel/ImgPanelCtrl.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include <qdrawutil.h>
#include <QEvent>
#include <QFile>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>

#include "Components/ImgPanel/DecoderFactory.h"
#include "Components/ImgPanel/ImageToDib.h"
#include "Components/ImgPanel/LoadSession.h"
#include "imaging/DibDraw.h"
#include "platform/Memory.h"

namespace {

constexpr char kUnsupportedFormat[] = "Unsupported image's format.";
constexpr char kSupportedFormats[] = "*.bmp, *.ico, *.gif, *.jpeg, *.tiff, *.png, *.wic, *.j2k";
constexpr int kMinDelayLoading = 10;
constexpr int kMaxDelayLoading = 1000;
constexpr int kDefaultPanelSize = 100;

// File names go to the decoders in the file system's own encoding.
std::string LocalPath(const QString& name) {
    return QFile::encodeName(name).toStdString();
}

uint8_t FilterKindOf(int filterType) {
    return static_cast<uint8_t>(std::clamp(filterType, 0, 255));
}

}  // namespace

TImgPanelCtrl::TImgPanelCtrl(QWidget* parent)
    : QWidget(parent), waker_([this] { DrainLoadReports(); }), supportedFormat_(kSupportedFormats) {
    resize(kDefaultPanelSize, kDefaultPanelSize);
    clientRect_ = rect();
    // Every pixel is painted here; Qt need not clear the background first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    delayTimer_.setSingleShot(true);
    connect(&delayTimer_, &QTimer::timeout, this, &TImgPanelCtrl::OnTimer);
}

TImgPanelCtrl::~TImgPanelCtrl() {
    Clear();
}

// ---- Loading ---------------------------------------------------------------------------

void TImgPanelCtrl::LoadFromFile(const QString& name) {
    if (name.isEmpty()) {
        return;
    }
    StopTimer();
    formatCode_ = GetImageFormat(LocalPath(name));
    imageFile_ = name;
    StartTimer();
}

void TImgPanelCtrl::Refresh() {
    LoadFromFile(imageFile_);
}

void TImgPanelCtrl::Clear() {
    StopTimer();
    TerminateThread();
    FreeGraphic();
    ClearOldImage();
    EndScrollDrag();
    imageFile_.clear();
    errorText_.clear();
    errorState_ = false;
    pictureSize_ = QSize();
}

void TImgPanelCtrl::AssignBitmap(const QImage& bitmap) {
    Clear();
    UniqueDib dib = PackedDibFromImage(bitmap);
    if (!dib) {
        return;
    }
    pictureSize_ = QSize(DibWidth(dib.get()), DibHeight(dib.get()));
    picture_ = std::move(dib);
    scrollOffset_ = QPoint(0, 0);
    UpdateNonClientArea();
    imageReady_ = true;
    UpdateRects();
}

void TImgPanelCtrl::StartTimer() {
    StopTimer();
    delayTimer_.start(delayLoading_);
}

void TImgPanelCtrl::StopTimer() {
    delayTimer_.stop();
}

void TImgPanelCtrl::OnTimer() {
    StopTimer();
    TerminateThread();
    FreeGraphic();
    std::unique_ptr<TImgCtrl> decoder = CreateImageDecoder(formatCode_);
    if (!decoder) {
        Clear();
        OnErrorOccur(QString::fromLatin1(kUnsupportedFormat));
        return;
    }
    try {
        StartDecoder(std::move(decoder));
    } catch (...) {
        // No memory or no thread to be had: the load fails like a decode that failed,
        // and nothing escapes into the timer's event dispatch.
        TerminateThread();
        FreeGraphic();
        ShowErrorText(QString::fromLatin1(kErrorLoadingFile));
    }
}

void TImgPanelCtrl::StartDecoder(std::unique_ptr<TImgCtrl> decoder) {
    decoder->SetDisplayScanlines(static_cast<unsigned>(displayScanlines_));
    errorText_.clear();
    errorState_ = false;
    decoder->SetScalerMode(scaleType_);
    decoder->SetFilterKind(FilterKindOf(filterType_));
    decoder->SetMemoryBudget(PictureBudget(platform::AvailableMemoryBytes()));

    ++generation_;
    platform::UiWaker* waker = &waker_;
    session_ = std::make_unique<LoadSession>(generation_, GeometrySnapshot(), onProgressLoading_,
                                             onErrorLoading_, channel_, [waker] { waker->Post(); });
    LoadSession* session = session_.get();
    decoder->OnProgress = [session](TImgCtrl* sender, PackedDib dib, int from, int to,
                                    TImgEvent event) {
        session->OnImageLoadingProgress(sender, dib, from, to, event);
    };
    decoder->OnError = [session](TImgCtrl* sender, const std::string& text) {
        session->OnErrorOccur(sender, text);
    };
    decoder_ = std::move(decoder);
    thread_ = std::make_unique<TGraphicThread>(LocalPath(imageFile_), decoder_.get(),
                                               [session] { session->OnLoaderEnded(); });
    thread_->Start(loadingPriority_);
}

// Abort and join: the loader never waits for this thread, so the join ends as soon as
// the decoder reaches its next abort check.
void TImgPanelCtrl::TerminateThread() {
    if (decoder_) {
        decoder_->AbortLoading();
    }
    if (thread_) {
        thread_->WaitFor();
        thread_.reset();
    }
    session_.reset();
    // What the stopped load left queued, or still has on its way, is stale from now on.
    ++generation_;
    channel_.Discard();
}

void TImgPanelCtrl::FreeGraphic() {
    decoder_.reset();
    picture_.reset();
}

void TImgPanelCtrl::OnErrorOccur(const QString& sError) {
    if (onErrorLoading_) {
        onErrorLoading_(nullptr, sError.toStdString());
    }
    ShowErrorText(sError);
}

void TImgPanelCtrl::ShowErrorText(const QString& text) {
    errorText_ = text;
    errorState_ = true;
    imageReady_ = false;
    picture_.reset();  // a failed decoder keeps no picture either
    ClearOldImage();
}

// ---- Reports from the loader thread ----------------------------------------------------

void TImgPanelCtrl::DrainLoadReports() {
    std::vector<LoadReport> reports = channel_.Take(generation_);
    for (LoadReport& report : reports) {
        ApplyReport(report);
    }
}

void TImgPanelCtrl::ApplyReport(LoadReport& report) {
    switch (report.kind) {
        case LoadReport::Kind::Header:
            OnHeader(report);
            break;
        case LoadReport::Kind::Rows:
            OnRows(report);
            break;
        case LoadReport::Kind::Finished:
            OnFinished(report);
            break;
        case LoadReport::Kind::Error:
            ShowErrorText(QString::fromStdString(report.text));
            break;
        case LoadReport::Kind::Ended:
            OnLoaderEnded();
            break;
    }
}

void TImgPanelCtrl::OnHeader(const LoadReport& report) {
    imageReady_ = false;
    ClearOldImage();
    pictureSize_ = QSize(report.pictureWidth, report.pictureHeight);
    UpdateNonClientArea();
    scrollOffset_ = QPoint(0, 0);
    UpdateRects();
}

void TImgPanelCtrl::OnRows(LoadReport& report) {
    const DibInfoHeader* current = picture_.get();
    if (current == nullptr || current->biWidth != report.dibWidth ||
        current->biHeight != report.dibHeight || current->biBitCount != report.dibBitCount) {
        picture_.reset(DibCreate(report.dibWidth, report.dibHeight, report.dibBitCount));
    }
    if (!picture_) {
        return;
    }
    if (RgbQuad* palette = DibPalette(picture_.get()); palette && !report.palette.empty()) {
        const size_t count = std::min<size_t>(report.palette.size(), DibNumColors(picture_.get()));
        std::copy_n(report.palette.begin(), count, palette);
    }
    const size_t rowBytes = DibRowBytes(picture_.get());
    const int height = report.dibHeight;
    const bool fits =
        report.firstRow >= 0 && report.lastRow < height && report.firstRow <= report.lastRow &&
        report.rows.size() == static_cast<size_t>(report.lastRow - report.firstRow + 1) * rowBytes;
    if (!fits) {
        return;
    }
    uint8_t* target =
        DibBits(picture_.get()) + static_cast<size_t>(height - 1 - report.lastRow) * rowBytes;
    std::memcpy(target, report.rows.data(), report.rows.size());
    imageReady_ = progressiveDisplay_;
    if (imageReady_) {
        update(PictureRowsOnScreen(clientRect_, report.firstRow, report.lastRow, height, Fitted(),
                                   scrollOffset_.y()));
    }
}

void TImgPanelCtrl::OnFinished(LoadReport& report) {
    if (report.picture) {
        picture_ = std::move(report.picture);  // the rows copied so far go with the old one
    }
    imageReady_ = true;
    update(clientRect_);
}

// The thread has nothing left to do: join it now and let the decoder (and its copy of
// the picture) go.
void TImgPanelCtrl::OnLoaderEnded() {
    if (thread_) {
        thread_->WaitFor();
        thread_.reset();
    }
    session_.reset();
    decoder_.reset();
}

// ---- Geometry --------------------------------------------------------------------------

FrameGeometry TImgPanelCtrl::GeometrySnapshot() const {
    return FrameGeometry{width(), height(), imageSplit_, FrameBorderOf(frameType_), scale_};
}

double TImgPanelCtrl::CalcFrameRect(int width, int height) {
    FrameGeometry geometry = GeometrySnapshot();
    geometry.outerWidth = width;
    geometry.outerHeight = height;
    const FrameFit fit = ::CalcFrameRect(geometry, pictureSize_.width(), pictureSize_.height());
    imageRect_ = fit.imageSize.isEmpty() ? QRect() : QRect(QPoint(0, 0), fit.imageSize);
    return fit.coefficient;
}

void TImgPanelCtrl::UpdateNonClientArea() {
    CalcFrameRect(width(), height());
    clientRect_ = CentredClientRect(size(), imageRect_.size());
    update();
}

void TImgPanelCtrl::ClearOldImage() {
    imageReady_ = false;
    update();
    imageRect_ = QRect();
    errorTextRect_ = QRect();
}

void TImgPanelCtrl::UpdateRects() {
    update(clientRect_);
    if (!errorTextRect_.isEmpty()) {
        update(errorTextRect_);
    }
}

bool TImgPanelCtrl::IsReadyForPaint() const {
    return imageReady_ && picture_ != nullptr;
}

void TImgPanelCtrl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    CalcFrameRect(width(), height());
    clientRect_ = CentredClientRect(size(), imageRect_.size());
    if (IsReadyForPaint()) {
        const int pictureWidth = DibWidth(picture_.get());
        const int pictureHeight = DibHeight(picture_.get());
        if (Fitted()) {
            // Larger than what was decoded: decode again at the new size.
            if (imageRect_.width() > pictureWidth || imageRect_.height() > pictureHeight) {
                Refresh();
            }
        } else {
            QPoint& offset = scrollOffset_;
            if (imageRect_.width() > pictureWidth + offset.x()) {
                offset.setX(imageRect_.width() - pictureWidth);
            }
            if (imageRect_.height() > pictureHeight + offset.y()) {
                offset.setY(imageRect_.height() - pictureHeight);
            }
            offset = QPoint(ClampScrollOffset(offset.x(), clientRect_.width(), pictureWidth),
                            ClampScrollOffset(offset.y(), clientRect_.height(), pictureHeight));
        }
    }
    update();
}

// ---- Properties ------------------------------------------------------------------------

void TImgPanelCtrl::SetDelayLoading(int ms) {
    if (ms >= kMinDelayLoading && ms <= kMaxDelayLoading) {
        delayLoading_ = ms;
    }
}

void TImgPanelCtrl::SetDisplayScanlines(int rows) {
    if (rows > 0) {
        displayScanlines_ = rows;
    }
}

void TImgPanelCtrl::SetImageSplit(int pixels) {
    if (pixels < 0 || pixels == imageSplit_) {
        return;
    }
    imageSplit_ = pixels;
    if (IsReadyForPaint()) {
        ClearOldImage();
        UpdateRects();
    }
}

void TImgPanelCtrl::SetFrameType(TFrameType frame) {
    if (frame == frameType_) {
        return;
    }
    frameType_ = frame;
    if (IsReadyForPaint()) {
        ClearOldImage();
        UpdateRects();
    }
}

void TImgPanelCtrl::SetScale(double scale) {
    if (scale == scale_) {
        return;
    }
    scale_ = scale;
    if (IsReadyForPaint()) {
        Refresh();
    }
}

// ---- Painting --------------------------------------------------------------------------

void TImgPanelCtrl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawSurround(painter);
    if (!IsReadyForPaint()) {
        painter.fillRect(clientRect_, palette().color(QPalette::Window));
    }
    if (errorState_) {
        DrawErrorMsg(painter);
    } else if (IsReadyForPaint()) {
        DrawImage(painter);
    }
}

// Margin and frame around the picture's place.
void TImgPanelCtrl::DrawSurround(QPainter& painter) {
    const QRegion surround = QRegion(rect()).subtracted(QRegion(clientRect_));
    for (const QRect& part : surround) {
        painter.fillRect(part, palette().color(QPalette::Button));
    }
    if (frameType_ == ftNone || imageRect_.isEmpty()) {
        return;
    }
    const int border = FrameBorderOf(frameType_);
    const QRect edge = clientRect_.adjusted(-border, -border, border, border);
    switch (frameType_) {
        case ftLowered:
            qDrawWinPanel(&painter, edge, palette(), true);
            break;
        case ftRaised:
            qDrawWinPanel(&painter, edge, palette(), false);
            break;
        case ftFrame:
            qDrawShadeRect(&painter, edge, palette(), true, 1, 0);
            break;
        case ftNone:
            break;
    }
}

// Fitted: the whole picture stretched to the client area. Fixed scale: a client-sized
// window of the picture at the scroll position, pixel for pixel.
void TImgPanelCtrl::DrawImage(QPainter& painter) {
    const DibInfoHeader* dib = picture_.get();
    if (Fitted()) {
        DibDraw(dib, painter, clientRect_, 0, 0, DibWidth(dib), DibHeight(dib));
    } else {
        DibDraw(dib, painter, clientRect_, -scrollOffset_.x(), -scrollOffset_.y(),
                clientRect_.width(), clientRect_.height());
    }
}

void TImgPanelCtrl::DrawErrorMsg(QPainter& painter) {
    if (!showErrorMsg_ || errorText_.isEmpty()) {
        errorTextRect_ = QRect();
        return;
    }
    const int flags = Qt::TextWordWrap | Qt::AlignHCenter;
    const QRect measured = painter.fontMetrics().boundingRect(clientRect_, flags, errorText_);
    errorTextRect_ = QRect(clientRect_.left() + ((clientRect_.width() - measured.width()) >> 1),
                           clientRect_.top() + ((clientRect_.height() - measured.height()) >> 1),
                           measured.width(), measured.height());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(errorTextRect_, flags, errorText_);
}

// ---- Mouse -----------------------------------------------------------------------------

void TImgPanelCtrl::mousePressEvent(QMouseEvent* event) {
    const bool dragAllowed = event->button() == Qt::LeftButton && IsReadyForPaint() &&
                             scale_ > 0.0 &&
                             (DibWidth(picture_.get()) > clientRect_.width() ||
                              DibHeight(picture_.get()) > clientRect_.height());
    if (!dragAllowed) {
        QWidget::mousePressEvent(event);
        return;
    }
    event->accept();
    dragLast_ = event->position().toPoint();
    ScrollImagePump(DibWidth(picture_.get()), DibHeight(picture_.get()));
}

// Enters the drag: it then follows this widget's own mouse events until the button is
// released or the window loses the pointer.
void TImgPanelCtrl::ScrollImagePump(int imageWidth, int imageHeight) {
    dragging_ = true;
    dragImageSize_ = QSize(imageWidth, imageHeight);
    cursorWasSet_ = testAttribute(Qt::WA_SetCursor);
    savedCursor_ = cursor();
    setCursor(scrollCursor_);
}

void TImgPanelCtrl::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        ScrollImageTo(event->position().toPoint());
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void TImgPanelCtrl::ScrollImageTo(QPoint point) {
    const QPoint before = scrollOffset_;
    if (point.x() != dragLast_.x()) {
        scrollOffset_.setX(DragScrollOffset(scrollOffset_.x(), point.x() - dragLast_.x(),
                                            clientRect_.width(), dragImageSize_.width()));
    }
    if (point.y() != dragLast_.y()) {
        scrollOffset_.setY(DragScrollOffset(scrollOffset_.y(), point.y() - dragLast_.y(),
                                            clientRect_.height(), dragImageSize_.height()));
    }
    dragLast_ = point;
    if (scrollOffset_ != before) {
        update(clientRect_);
    }
}

void TImgPanelCtrl::mouseReleaseEvent(QMouseEvent* event) {
    if (dragging_ && event->button() == Qt::LeftButton) {
        EndScrollDrag();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void TImgPanelCtrl::EndScrollDrag() {
    if (!dragging_) {
        return;
    }
    dragging_ = false;
    // A panel without a cursor of its own goes back to following its parent's.
    if (cursorWasSet_) {
        setCursor(savedCursor_);
    } else {
        unsetCursor();
    }
}

void TImgPanelCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    QWidget::mouseDoubleClickEvent(event);
    emit OnDblClick();
}

bool TImgPanelCtrl::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::WindowDeactivate:  // another window took the pointer
        case QEvent::Hide:
        case QEvent::UngrabMouse:
            EndScrollDrag();
            break;
        default:
            break;
    }
    return QWidget::event(event);
}
