#include "Components/ImgPanel/DecoderFactory.h"

#include "Components/ImgPanel/JpegImg.h"

std::unique_ptr<TImgCtrl> CreateImageDecoder(TImgFormat format) {
    switch (format) {
        case ifJpeg:
            return std::make_unique<TJpegImg>();
        case ifBmp:
        case ifGif:
        case ifPng:
        case ifIco:
        case ifTiff:
        case ifJpeg2000:
        case ifWic:
        case ifUnsupported:
            break;
    }
    return nullptr;
}
