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
            // The whole picture again: a strip may have been reported before its last row
            // was written, and a decoder may go over rows it already reported (a grey pass
            // before the colour one, interlace passes). Only the finished picture is final,
            // and it moves to the panel whole: the decoder is done with it.
            LoadReport report;
            report.kind = LoadReport::Kind::Finished;
            if (sender != nullptr && sender->Picture() == pDib) {
                report.picture = sender->TakePicture();
            } else {
                PostRows(pDib, 0, DibHeight(pDib) - 1);
            }
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

void LoadSession::PostRows(PackedDib dib, int firstRow, int lastRow) {
    if (dib == nullptr || !DibRowsInBlock(dib) || dib->biHeight <= 0) {
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
    // The palette travels when it changes (a later image of a file may bring its own).
    const RgbQuad* palette = DibPalette(dib);
    const size_t colours = palette != nullptr ? DibNumColors(dib) : 0;
    const auto sameEntry = [](const RgbQuad& a, const RgbQuad& b) {
        return std::memcmp(&a, &b, sizeof a) == 0;
    };
    if (!std::equal(palette, palette + colours, paletteSent_.begin(), paletteSent_.end(),
                    sameEntry)) {
        paletteSent_.assign(palette, palette + colours);
        report.palette = paletteSent_;
    }
    report.firstRow = first;
    report.lastRow = last;
    // Screen rows first..last are stored rows height-1-last .. height-1-first: one block.
    const uint8_t* start = DibBits(dib) + static_cast<size_t>(height - 1 - last) * rowBytes;
    report.rows.assign(start, start + static_cast<size_t>(last - first + 1) * rowBytes);
    Post(std::move(report));
}
