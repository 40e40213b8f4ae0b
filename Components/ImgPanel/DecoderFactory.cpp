#include "Components/ImgPanel/DecoderFactory.h"

#include "Components/ImgPanel/BmpImg.h"
#include "Components/ImgPanel/IcoImg.h"
#include "Components/ImgPanel/JpegImg.h"

std::unique_ptr<TImgCtrl> CreateImageDecoder(TImgFormat format) {
    switch (format) {
        case ifJpeg:
            return std::make_unique<TJpegImg>();
        case ifBmp:
            return std::make_unique<TBmpImg>();
        case ifIco:
            return std::make_unique<TIcoImg>();
        case ifGif:
        case ifPng:
        case ifTiff:
        case ifJpeg2000:
        case ifWic:
        case ifUnsupported:
            break;
    }
    return nullptr;
}
