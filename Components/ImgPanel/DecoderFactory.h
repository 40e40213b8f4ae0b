#pragma once
// The one place that maps a format code to its decoder class. Each new format's decoder
// is added here; a format without a decoder yields null and the panel shows it as
// unsupported.

#include <memory>

#include "Components/ImgPanel/ImageFormat.h"
#include "Components/ImgPanel/ImgCtrl.h"

std::unique_ptr<TImgCtrl> CreateImageDecoder(TImgFormat format);
