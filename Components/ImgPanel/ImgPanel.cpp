#include "Components/ImgPanel/ImgPanel.h"

TImgPanel::TImgPanel(QWidget* parent) : TImgPanelCtrl(parent) {}

TImgPanel::~TImgPanel() = default;
