#pragma once
// The image panel: shows one picture file, decoded on a loader thread of its own, fitted
// into the panel or at a fixed scale, centred inside an optional margin and frame, with an
// error text in place of a picture that fails and drag scrolling of a picture larger than
// the panel.
//
// Threads: every member runs on the UI thread. A load runs on a TGraphicThread; what it
// reports reaches the panel as LoadReports through a LoadChannel, drained after a posted
// wake-up and dropped when they belong to an older load (generation). The panel shows its own
// copy of the decoded rows, so painting never reads memory the loader writes or frees.
// The user's OnProgressLoading and OnErrorLoading callbacks run on the loader thread,
// except the unsupported-format error, which is reported on the UI thread with a null
// sender.

#include <cstdint>
#include <memory>

#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QTimer>
#include <QWidget>

#include "Components/ImgPanel/GraphicThread.h"
#include "Components/ImgPanel/ImageFormat.h"
#include "Components/ImgPanel/ImgCtrl.h"
#include "Components/ImgPanel/LoadChannel.h"
#include "Components/ImgPanel/PanelGeometry.h"
#include "imaging/PackedDib.h"
#include "platform/UiWaker.h"

class LoadSession;
class QPainter;

class TImgPanelCtrl : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kDefaultDelayLoading = 100;  // ms between LoadFromFile and decoding
    static constexpr int kDefaultDisplayScanlines = 20;
    static constexpr int kDefaultFilterType = 12;

    explicit TImgPanelCtrl(QWidget* parent = nullptr);
    ~TImgPanelCtrl() override;

    // Shows name after the loading delay; a burst of calls within the delay decodes only
    // the last file. An empty name changes nothing.
    void LoadFromFile(const QString& name);
    // Loads the current file again (after the delay).
    void Refresh();
    // Stops the running load (abort and join) and empties the panel.
    void Clear();
    // Shows an image at once, without the loader thread; a null image leaves the panel
    // empty.
    void AssignBitmap(const QImage& bitmap);

    const QString& ImageFile() const { return imageFile_; }
    int GetDelayLoading() const { return delayLoading_; }
    void SetDelayLoading(int ms);  // 10 to 1000; other values are ignored
    int ImageSplit() const { return imageSplit_; }
    void SetImageSplit(int pixels);  // 0 or more
    bool ShowErrorMsg() const { return showErrorMsg_; }
    bool ProgressiveDisplay() const { return progressiveDisplay_; }
    void SetProgressiveDisplay(bool on) { progressiveDisplay_ = on; }
    const QString& SupportedFormat() const { return supportedFormat_; }
    SCALETYPE ScaleType() const { return scaleType_; }
    void SetScaleType(SCALETYPE type) { scaleType_ = type; }
    int DisplayScanlines() const { return displayScanlines_; }
    void SetDisplayScanlines(int rows);  // above 0; other values are ignored
    TThreadPriority LoadingPriority() const { return loadingPriority_; }
    void SetLoadingPriority(TThreadPriority priority) { loadingPriority_ = priority; }
    // Above 0: a fixed display scale (a larger picture can be dragged); otherwise the
    // picture is fitted into the panel.
    double Scale() const { return scale_; }
    void SetScale(double scale);
    Qt::CursorShape ScrollCursor() const { return scrollCursor_; }
    void SetScrollCursor(Qt::CursorShape cursor) { scrollCursor_ = cursor; }
    TFrameType FrameType() const { return frameType_; }
    void SetFrameType(TFrameType frame);
    int FilterType() const { return filterType_; }
    void SetFilterType(int kind) { filterType_ = kind; }
    // Set before a load; they are called on the loader thread.
    void SetOnProgressLoading(TImgProgressEvent callback) {
        onProgressLoading_ = std::move(callback);
    }
    void SetOnErrorLoading(TImgErrorEvent callback) { onErrorLoading_ = std::move(callback); }

    // The size the picture is shown at, at (0, 0); empty without a picture.
    QRect GetImageRect() const { return imageRect_; }
    // Where the picture is shown, in widget coordinates (the whole panel without one).
    QRect ClientRect() const { return clientRect_; }
    QPoint ScrollOffset() const { return scrollOffset_; }
    const QString& ErrorText() const { return errorText_; }
    bool ErrorState() const { return errorState_; }
    bool IsReadyForPaint() const;
    bool IsLoading() const { return thread_ != nullptr; }
    bool IsWaiting() const { return delayTimer_.isActive(); }
    // The panel's copy of the picture (null when none), for inspection.
    const DibInfoHeader* DisplayedPicture() const { return picture_.get(); }

  signals:
    void OnDblClick();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void DrainLoadReports();
    void OnTimer();

    void StartTimer();
    void StopTimer();
    void TerminateThread();
    void FreeGraphic();
    void StartDecoder(std::unique_ptr<TImgCtrl> decoder);
    void OnErrorOccur(const QString& sError);
    void ShowErrorText(const QString& text);

    void ApplyReport(LoadReport& report);
    void OnHeader(const LoadReport& report);
    void OnRows(LoadReport& report);
    void OnFinished(LoadReport& report);
    void OnLoaderEnded();

    FrameGeometry GeometrySnapshot() const;
    double CalcFrameRect(int width, int height);
    void UpdateNonClientArea();
    void ClearOldImage();
    void UpdateRects();
    bool Fitted() const { return !(scale_ > 0.0); }

    void DrawSurround(QPainter& painter);
    void DrawImage(QPainter& painter);
    void DrawErrorMsg(QPainter& painter);
    void ScrollImagePump(int imageWidth, int imageHeight);
    void ScrollImageTo(QPoint point);
    void EndScrollDrag();

    // Loading.
    QTimer delayTimer_;
    TImgFormat formatCode_ = ifUnsupported;
    QString imageFile_;
    std::unique_ptr<TImgCtrl> decoder_;
    std::unique_ptr<LoadSession> session_;
    std::unique_ptr<TGraphicThread> thread_;
    LoadChannel channel_;
    platform::UiWaker waker_;
    uint64_t generation_ = 0;

    // What is shown.
    UniqueDib picture_;  // the panel's copy of the decoded rows
    QSize pictureSize_;  // the picture's own size, from its header
    QRect imageRect_;    // (0, 0, shown width, shown height)
    QRect clientRect_;   // where the picture goes, in widget coordinates
    QRect errorTextRect_;
    QPoint scrollOffset_;  // 0 or negative
    QString errorText_;
    bool errorState_ = false;
    bool imageReady_ = false;

    // Dragging.
    bool dragging_ = false;
    QPoint dragLast_;
    QSize dragImageSize_;
    QCursor savedCursor_;
    bool cursorWasSet_ = false;  // else the panel shows its parent's cursor

    // Properties.
    int delayLoading_ = kDefaultDelayLoading;
    int imageSplit_ = 0;
    bool showErrorMsg_ = true;
    bool progressiveDisplay_ = true;
    TImgProgressEvent onProgressLoading_;
    TImgErrorEvent onErrorLoading_;
    QString supportedFormat_;
    SCALETYPE scaleType_ = sctSquare;
    int displayScanlines_ = kDefaultDisplayScanlines;
    TThreadPriority loadingPriority_ = tpNormal;
    double scale_ = -1.0;
    Qt::CursorShape scrollCursor_ = Qt::PointingHandCursor;
    TFrameType frameType_ = ftLowered;
    int filterType_ = kDefaultFilterType;
};
