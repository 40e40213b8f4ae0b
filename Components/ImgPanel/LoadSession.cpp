#include "Components/ImgPanel/LoadSession.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "Components/ImgPanel/ImgErrors.h"

LoadSession::LoadSession(uint64_t generation, FrameGeometry geometry,
                         TImgProgressEvent userProgress, TImgErrorEvent userError,
                         LoadChannel& channel, std::function<void()> wake)
    : generation_(generation),
      geometry_(geometry),
      userProgress_(std::move(userProgress)),
      userError_(std::move(userError)),
      channel_(channel),
      wake_(std::move(wake)) {}

void LoadSession::OnImageLoadingProgress(TImgCtrl* sender, PackedDib pDib, int nScanLineFrom,
                                         int nScanLineTo, TImgEvent ImgEvent) {
    if (userProgress_) {
        userProgress_(sender, pDib, nScanLineFrom, nScanLineTo, ImgEvent);
    }
    switch (ImgEvent) {
        case TImgEvent::HeaderRead: {
            const FrameFit fit = CalcFrameRect(geometry_, sender ? sender->Width() : 0,
                                               sender ? sender->Height() : 0);
            if (sender != nullptr) {
                sender->SetDisplayCoeff(fit.coefficient);
            }
            LoadReport report;
            report.kind = LoadReport::Kind::Header;
            report.pictureWidth = sender ? sender->Width() : 0;
            report.pictureHeight = sender ? sender->Height() : 0;
            Post(std::move(report));
            break;
        }
        case TImgEvent::RowsDecoded:
            PostRows(pDib, nScanLineFrom, nScanLineTo);
            break;
        case TImgEvent::Finished: {
            PostRowsNotYetSent(pDib);
            LoadReport report;
            report.kind = LoadReport::Kind::Finished;
            Post(std::move(report));
            break;
        }
    }
}

void LoadSession::OnErrorOccur(TImgCtrl* sender, const std::string& sError) {
    if (userError_) {
        userError_(sender, sError);
    }
    if (sender != nullptr && sender->ErrorCode() == ImgError::Aborted) {
        return;  // a stopped load shows nothing
    }
    LoadReport report;
    report.kind = LoadReport::Kind::Error;
    report.text = kErrorLoadingFile;
    Post(std::move(report));
}

void LoadSession::OnLoaderEnded() {
    LoadReport report;
    report.kind = LoadReport::Kind::Ended;
    Post(std::move(report));
}

void LoadSession::Post(LoadReport&& report) {
    report.generation = generation_;
    if (channel_.Post(std::move(report)) && wake_) {
        wake_();
    }
}

bool LoadSession::AdoptPicture(PackedDib dib) {
    if (dib == nullptr || !DibRowsInBlock(dib) || dib->biHeight <= 0) {
        return false;
    }
    if (dib != picture_) {
        picture_ = dib;
        paletteSent_ = false;
        rowSent_.assign(static_cast<size_t>(dib->biHeight), 0);
    }
    return true;
}

void LoadSession::PostRows(PackedDib dib, int firstRow, int lastRow) {
    if (!AdoptPicture(dib)) {
        return;
    }
    const int height = dib->biHeight;
    const int first = std::clamp(std::min(firstRow, lastRow), 0, height - 1);
    const int last = std::clamp(std::max(firstRow, lastRow), 0, height - 1);
    const size_t rowBytes = DibRowBytes(dib);

    LoadReport report;
    report.kind = LoadReport::Kind::Rows;
    report.dibWidth = dib->biWidth;
    report.dibHeight = height;
    report.dibBitCount = dib->biBitCount;
    if (!paletteSent_) {
        const RgbQuad* palette = DibPalette(dib);
        report.palette.assign(palette, palette + (palette ? DibNumColors(dib) : 0));
        paletteSent_ = true;
    }
    report.firstRow = first;
    report.lastRow = last;
    // Screen rows first..last are stored rows height-1-last .. height-1-first: one block.
    const uint8_t* start = DibBits(dib) + static_cast<size_t>(height - 1 - last) * rowBytes;
    report.rows.assign(start, start + static_cast<size_t>(last - first + 1) * rowBytes);
    std::fill(rowSent_.begin() + first, rowSent_.begin() + last + 1, uint8_t{1});
    Post(std::move(report));
}

void LoadSession::PostRowsNotYetSent(PackedDib dib) {
    if (!AdoptPicture(dib)) {
        return;
    }
    const int height = dib->biHeight;
    int row = 0;
    while (row < height) {
        if (rowSent_[row]) {
            ++row;
            continue;
        }
        int end = row;
        while (end + 1 < height && !rowSent_[end + 1]) {
            ++end;
        }
        PostRows(dib, row, end);
        row = end + 1;
    }
}
