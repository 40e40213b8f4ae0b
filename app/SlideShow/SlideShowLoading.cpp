// TSlideShow: loading a series, asking its orientation, turning it and emptying the control.

#include <QCoreApplication>
#include <QFileInfo>
#include <exception>

#include "app/SlideShow/ErrorImageDlg.h"
#include "app/SlideShow/PicPanel.h"
#include "app/SlideShow/SeriesLoader.h"
#include "app/SlideShow/SeriesPrefetcher.h"
#include "app/SlideShow/SlideShow.h"
#include "app/SlideShow/SlideShowRules.h"
#include "app/SlideShow/ThumbBox.h"
#include "app/SlideShow/ThumbButton.h"
#include "platform/CursorGuard.h"
#include "platform/Memory.h"
#include "platform/MessageService.h"

namespace {

const QString kPrepare = QStringLiteral("Prepare to show...");
const QString kRotating = QStringLiteral("Rotating images...");
const QString kLoadNoMemory = QStringLiteral("Can't load images - not enough memory");
const QString kRotateNoMemory = QStringLiteral("Can't rotate images - not enough memory");

// The turn applied while loading: 2 asks, -1 and 1 turn, anything else keeps the pictures
// as they are (a turn by any other amount would only blacken them).
int LoadTurnFor(int rotateMode) {
    switch (rotateMode) {
        case kRotateAsk:
        case kRotateLeft:
        case kRotateRight:
            return rotateMode;
        default:
            return kRotateNone;
    }
}

}  // namespace

// Marks the control busy for a scope: commands are refused and close requests wait.
class TSlideShow::BusyScope {
  public:
    explicit BusyScope(TSlideShow& owner) : owner_(owner) { ++owner_.busy_; }
    ~BusyScope() {
        if (--owner_.busy_ == 0) {
            emit owner_.BusyEnded();
        }
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    TSlideShow& owner_;
};

void TSlideShow::Report(unsigned char stage, unsigned char percent, const QString& message,
                        bool* cancel) {
    if (!OnProgress) {
        return;
    }
    bool ignored = false;
    OnProgress(this, stage, percent, message, cancel != nullptr ? *cancel : ignored);
}

void TSlideShow::LetMessagesRun() {
    // Paints and timers only: the user's input waits until the work is done.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TSlideShow::SetImages(const QStringList* files) {
    if (files == nullptr || IsBusy()) {
        return;
    }
    Stop();
    Clear();
    if (files->isEmpty()) {
        return;
    }
    BusyScope busy(*this);
    SetControlsState(false);
    Report(ssBegin, 0, kPrepare);
    int dir = LoadTurnFor(RotateMode);
    if (dir == kRotateAsk) {
        dir = GetRotateDir(files->front());
    }
    if (dir == kRotateCancelled) {
        Clear();
        Report(ssEnd, 100, kPrepare);
        return;
    }
    PicPanel->Scale = slideshow::OptiToQuality(Optimization);
    const int workers = SeriesWorkers(*files, PicPanel->Scale);
    if (workers == 0) {
        ShowLoadFailure(kLoadNoMemory);
        return;
    }
    try {
        if (!LoadSeries(*files, dir, workers)) {
            return;
        }
    } catch (const std::exception&) {
        ShowLoadFailure(kLoadNoMemory);
        return;
    }
    FinishLoading();
}

int TSlideShow::SeriesWorkers(const QStringList& files, int denominator) {
    const int cores = slideshow::SeriesPrefetcher::WorkerCount();
    const auto info = slideshow::ReadSeriesPictureInfo(files.front(), denominator);
    if (!info) {
        return cores;  // the decode itself reports an unreadable first picture
    }
    return slideshow::WorkersThatFit(*info, static_cast<int>(files.size()), cores,
                                     platform::AvailableMemoryBytes(),
                                     TPicPanel::kFrameBudgetBytes);
}

bool TSlideShow::LoadSeries(const QStringList& files, int dir, int workers) {
    const int count = static_cast<int>(files.size());
    Pictures.reserve(count);
    FileNames.reserve(count);
    QSize seriesSize;
    // Decoding runs a few pictures ahead on the workers; a failure or a cancel below ends
    // the prefetcher with the loop, which stops the workers.
    slideshow::SeriesPrefetcher prefetcher(files, PicPanel->Scale, workers);
    for (int i = 0; i < count; ++i) {
        UniqueDib picture = prefetcher.TakeNext();
        if (!picture) {
            const QString reason = slideshow::LoadFailureText(files[i], PicPanel->Scale,
                                                              platform::AvailableMemoryBytes());
            ShowLoadFailure(reason.isEmpty() ? kLoadNoMemory : reason);
            return false;
        }
        // The size is compared before turning: every picture must match the first as decoded.
        const QSize size(DibWidth(picture.get()), DibHeight(picture.get()));
        if (i == 0) {
            seriesSize = size;
        } else if (size != seriesSize) {
            Report(ssEnd, 100, kPrepare);  // the progress box stays on top: away first
            ErrorImageDlg(picture.get(), files[i], this);
            Clear();
            return false;
        }
        if (dir != kRotateNone) {
            picture.reset(DibRotate(picture.get(), dir));
            if (!picture) {
                ShowLoadFailure(kLoadNoMemory);
                return false;
            }
        }
        if (!AppendPicture(std::move(picture), files[i], i, count)) {
            return false;
        }
    }
    return true;
}

bool TSlideShow::AppendPicture(UniqueDib picture, const QString& file, int index, int count) {
    if (!Reduced) {
        TThumbButton* thumb = ThumbBox->AddButton();
        thumb->Tag = index + 1;
        thumb->setToolTip(QFileInfo(file).fileName());
        HookThumbnail(thumb);
        MakeImageButton(thumb, picture.get(), index, ThumbBox->palette().window().color());
    }
    Pictures.push_back(std::move(picture));
    FileNames.append(file);
    LoadOrder.push_back(index);
    LetMessagesRun();
    bool cancel = false;
    Report(ssStep, slideshow::StepPercent(index, count), kPrepare, &cancel);
    if (cancel) {
        Clear();
        Report(ssEnd, 100, kPrepare);
        return false;
    }
    return true;
}

void TSlideShow::FinishLoading() {
    CurPic = Pictures.empty() ? -1 : 0;
    PicPanel->SetImages(&Pictures);
    if (CurPic >= 0 && !Reduced) {
        ThumbBox->UpdateContentSize();
        ThumbBox->SetScrollIncrement(ThumbBox->ThumbHeight());
    }
    SetControlsState(true);
    DoResize();
    ShowCurPic();
    Report(ssEnd, 100, kPrepare);
}

void TSlideShow::ShowLoadFailure(const QString& text) {
    Clear();
    ErrorMessage(text);
}

// The loading ends before the box shows: the progress box stays on top of every window
// and would cover the message.
void TSlideShow::ErrorMessage(const QString& text) {
    Clear();
    Report(ssEnd, 100, kPrepare);
    platform::ShowMessage(text, QStringLiteral("Error"), {platform::MsgButton::Ok},
                          platform::MsgIcon::Error);
}

void TSlideShow::Clear() {
    Pictures.clear();
    FileNames.clear();
    LoadOrder.clear();
    if (!Reduced) {
        ThumbBox->RemoveAll();
    }
    CurPic = -1;
    SetControlsState(false);
    PicPanel->ForgetFrames();
    PicPanel->SetCurImage(-1);
}

int TSlideShow::GetRotateDir(const QString& firstFile) {
    // The question always shows quarter-size previews, whatever the quality level.
    UniqueDib picture = slideshow::JpegDecompress(firstFile, 4);
    if (!picture) {
        ErrorMessage(QStringLiteral("Can't read file:") + firstFile);
        return kRotateCancelled;
    }
    const auto previews = slideshow::MakeOrientPreviews(picture.get(), palette().window().color());
    picture.reset();
    if (!previews) {
        ErrorMessage(QStringLiteral("Not enough memory for show preview!"));
        return kRotateCancelled;
    }
    if (!AskOrientation) {
        return kRotateNone;
    }
    const int dir = AskOrientation(
        QStringLiteral("Choose desire orientation of the selected images:"),
        QStringLiteral("Select orientation"), (*previews)[0], (*previews)[1], (*previews)[2]);
    return dir == kRotateLeft || dir == kRotateNone || dir == kRotateRight ? dir : kRotateCancelled;
}

void TSlideShow::Rotate(int dir) {
    if (Pictures.empty() || dir == kRotateNone || IsBusy()) {
        return;
    }
    BusyScope busy(*this);
    setEnabled(false);
    platform::CursorGuard waitCursor;
    SetControlsState(false);
    Report(ssBegin, 0, kRotating);
    if (!Reduced) {
        ThumbBox->SetScrollPos(0);
    }
    // Every picture is turned into a new block first; the series changes only when all
    // turns succeeded, so a failure leaves the pictures as they were.
    const int count = Count();
    DibList turned;
    turned.reserve(count);
    for (int i = 0; i < count; ++i) {
        turned.emplace_back(DibRotate(Pictures[i].get(), dir));
        if (!turned.back()) {
            break;
        }
        LetMessagesRun();
        Report(ssStep, slideshow::StepPercent(i, count), kRotating);
    }
    const bool complete = static_cast<int>(turned.size()) == count && turned.back();
    if (complete) {
        Pictures.swap(turned);
        PicPanel->ForgetFrames();
        RebuildThumbnails();
    }
    turned.clear();
    Report(ssEnd, 100, kRotating);  // before the box, which the progress box would cover
    if (!complete) {
        platform::ShowMessage(kRotateNoMemory, QStringLiteral("Error"), {platform::MsgButton::Ok},
                              platform::MsgIcon::Error);
    }
    setEnabled(true);
    DoResize();
    SetControlsState(true);
    PicPanel->UpdateImage();
    ShowCurPic();
}

void TSlideShow::RebuildThumbnails() {
    if (Reduced) {
        return;
    }
    const QColor boxColor = ThumbBox->palette().window().color();
    for (int i = 0; i < ThumbBox->Count() && i < Count(); ++i) {
        MakeImageButton(ThumbBox->Button(i), Pictures[i].get(), i, boxColor);
    }
    ThumbBox->UpdateContentSize();
    if (ThumbBox->Count() > 0) {
        ThumbBox->SetScrollIncrement(ThumbBox->ThumbHeight());
    }
}
