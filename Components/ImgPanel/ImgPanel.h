#pragma once
// The image panel as applications create it: TImgPanelCtrl with its settings published
// as Qt properties.

#include "Components/ImgPanel/ImgPanelCtrl.h"

class TImgPanel : public TImgPanelCtrl {
    Q_OBJECT
    Q_PROPERTY(int FilterType READ FilterType WRITE SetFilterType)
    Q_PROPERTY(Qt::CursorShape ScrollCursor READ ScrollCursor WRITE SetScrollCursor)
    Q_PROPERTY(QString ImageFile READ ImageFile)
    Q_PROPERTY(int DelayLoading READ GetDelayLoading WRITE SetDelayLoading)
    Q_PROPERTY(int ImageSplit READ ImageSplit WRITE SetImageSplit)
    Q_PROPERTY(bool ShowErrorMsg READ ShowErrorMsg)
    Q_PROPERTY(bool ProgressiveDisplay READ ProgressiveDisplay WRITE SetProgressiveDisplay)
    Q_PROPERTY(QString SupportedFormat READ SupportedFormat)
    Q_PROPERTY(TFrameType FrameType READ FrameType WRITE SetFrameType)
    Q_PROPERTY(SCALETYPE ScaleType READ ScaleType WRITE SetScaleType)
    Q_PROPERTY(int DisplayScanlines READ DisplayScanlines WRITE SetDisplayScanlines)
    Q_PROPERTY(TThreadPriority LoadingPriority READ LoadingPriority WRITE SetLoadingPriority)

  public:
    explicit TImgPanel(QWidget* parent = nullptr);
    ~TImgPanel() override;
};
