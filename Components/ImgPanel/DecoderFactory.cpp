#include "Components/ImgPanel/DecoderFactory.h"

#include "Components/ImgPanel/GifImg.h"
#include "Components/ImgPanel/JpegImg.h"
#include "Components/ImgPanel/PngImg.h"
#include "Components/ImgPanel/TiffImg.h"

std::unique_ptr<TImgCtrl> CreateImageDecoder(TImgFormat format) {
    switch (format) {
        case ifJpeg:
            return std::make_unique<TJpegImg>();
        case ifGif:
            return std::make_unique<TGifImg>();
        case ifPng:
            return std::make_unique<TPNGImg>();
        case ifTiff:
            return std::make_unique<TTiffImg>();
        case ifBmp:
        case ifIco:
        case ifJpeg2000:
        case ifWic:
        case ifUnsupported:
            break;
    }
    return nullptr;
}
