#include "Components/ImgPanel/DecoderFactory.h"

#include "Components/ImgPanel/BmpImg.h"
#include "Components/ImgPanel/GifImg.h"
#include "Components/ImgPanel/IcoImg.h"
#include "Components/ImgPanel/J2000Img.h"
#include "Components/ImgPanel/JpegImg.h"
#include "Components/ImgPanel/PngImg.h"
#include "Components/ImgPanel/TiffImg.h"
#include "Components/ImgPanel/WicImg.h"

std::unique_ptr<TImgCtrl> CreateImageDecoder(TImgFormat format) {
    switch (format) {
        case ifJpeg:
            return std::make_unique<TJpegImg>();
        case ifBmp:
            return std::make_unique<TBmpImg>();
        case ifIco:
            return std::make_unique<TIcoImg>();
        case ifWic:
            return std::make_unique<TWicImg>();
        case ifGif:
            return std::make_unique<TGifImg>();
        case ifPng:
            return std::make_unique<TPNGImg>();
        case ifTiff:
            return std::make_unique<TTiffImg>();
        case ifJpeg2000:
            return std::make_unique<TJ2000Img>();
        case ifUnsupported:
            break;
    }
    return nullptr;
}
