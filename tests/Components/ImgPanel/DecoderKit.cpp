#include "tests/Components/ImgPanel/DecoderKit.h"

#include <filesystem>
#include <map>

#include "Components/ImgPanel/DecoderFactory.h"

namespace decoderkit {

std::string Fixture(const std::string& relative) {
    return std::string(ORVANE_IMGPANEL_DATA) + "/" + relative;
}

std::unique_ptr<TImgCtrl> DecoderFor(const std::string& path) {
    static const std::map<std::string, TImgFormat> formats = {
        {".jpg", ifJpeg}, {".bmp", ifBmp},  {".ico", ifIco}, {".cur", ifIco},     {".gif", ifGif},
        {".png", ifPng},  {".tif", ifTiff}, {".wic", ifWic}, {".j2k", ifJpeg2000}};
    const auto found = formats.find(std::filesystem::path(path).extension().string());
    return CreateImageDecoder(found != formats.end() ? found->second : ifUnsupported);
}

void Decode(TImgCtrl& decoder, Log& log, const std::string& path, double coefficient,
            std::function<void(TImgCtrl*, const Event&)> onEvent) {
    decoder.OnProgress = [&log, coefficient, onEvent](TImgCtrl* sender, PackedDib, int from, int to,
                                                      TImgEvent e) {
        if (e == TImgEvent::HeaderRead) {
            sender->SetDisplayCoeff(coefficient);
        }
        log.events.push_back({from, to, e});
        if (onEvent) {
            onEvent(sender, log.events.back());
        }
    };
    decoder.OnError = [&log](TImgCtrl*, const std::string& text) { log.errors.push_back(text); };
    decoder.LoadFromFile(path);
}

std::array<uint8_t, 3> PixelBgr(PackedDib dib, int x, int y) {
    const uint8_t* row = DibBits(dib) + size_t(DibHeight(dib) - 1 - y) * DibRowBytes(dib);
    const int bits = dib->biBitCount;
    if (bits >= 24) {
        const uint8_t* p = row + x * (bits / 8);
        return {p[0], p[1], p[2]};
    }
    const int perByte = 8 / bits;
    const int shift = 8 - bits * (x % perByte + 1);
    const int index = (row[x / perByte] >> shift) & ((1 << bits) - 1);
    const RgbQuad q = DibPalette(dib)[index];
    return {q.rgbBlue, q.rgbGreen, q.rgbRed};
}

}  // namespace decoderkit
