#include "Components/ImgPanel/DecoderFactory.h"

#include "Components/ImgPanel/JpegImg.h"
#include "Components/ImgPanel/WicImg.h"

std::unique_ptr<TImgCtrl> CreateImageDecoder(TImgFormat format) {
    switch (format) {
        case ifJpeg:
            return std::make_unique<TJpegImg>();
        case ifWic:
            return std::make_unique<TWicImg>();
        case ifBmp:
        case ifGif:
        case ifPng:
        case ifIco:
        case ifTiff:
        case ifJpeg2000:
        case ifUnsupported:
            break;
    }
    return nullptr;
}
