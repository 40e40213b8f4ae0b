// TSlideShow: playing the series, stepping, selecting a thumbnail and editing the order.

#include <QAction>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include "app/SlideShow/PicPanel.h"
#include "app/SlideShow/SeriesOrder.h"
#include "app/SlideShow/SlideGeometry.h"
#include "app/SlideShow/SlideShow.h"
#include "app/SlideShow/SlideShowRules.h"
#include "app/SlideShow/ThumbBox.h"
#include "app/SlideShow/ThumbButton.h"
#include "platform/MessageService.h"

void TSlideShow::OrderButtons(bool editing) {
    if (editing) {
        PlayTimer->stop();
    } else {
        PlayTimer->start();
    }
    PlayButton->setChecked(!editing);
    if (!Reduced) {
        SetOrderCommandsEnabled(editing && HasPictures());
    }
}

bool TSlideShow::IsPlaying() const {
    return PlayTimer->isActive();
}

void TSlideShow::Start() {
    if (!HasPictures() || IsBusy()) {
        return;
    }
    if (!Reduced) {
        SetThumbDown(-1);
    }
    OrderButtons(false);
}

void TSlideShow::Stop() {
    OrderButtons(true);
    ShowCurPic();
}

void TSlideShow::OnTimer() {
    if (CurPic < 0 || CurPic >= Count()) {
        return;
    }
    PicPanel->SetCurImage(CurPic);
    CurPic = slideshow::WrapIndex(CurPic + 1, Count());
}

void TSlideShow::Next() {
    if (!HasPictures() || IsBusy()) {
        return;
    }
    OrderButtons(true);
    CurPic = slideshow::WrapIndex(CurPic + 1, Count());
    ShowCurPic();
}

void TSlideShow::Prev() {
    if (!HasPictures() || IsBusy()) {
        return;
    }
    OrderButtons(true);
    CurPic = slideshow::WrapIndex(CurPic - 1, Count());
    ShowCurPic();
}

void TSlideShow::SetDelay(int delay) {
    PlayTimer->setInterval(std::max(delay, 1));
    // Showing the delay on the bar must not feed the bar's own rounding back into it.
    const QSignalBlocker quiet(SpeedBar);
    SpeedBar->setValue(slideshow::DelayToSpeed(delay));
}

int TSlideShow::GetDelay() const {
    return PlayTimer->interval();
}

void TSlideShow::OnSpeedChange(int position) {
    PlayTimer->setInterval(slideshow::SpeedToDelay(position));
}

void TSlideShow::OnPlayClick() {
    if (IsPlaying()) {
        Stop();
    } else {
        Start();
    }
    // The button toggles itself on a click; it shows the play state, nothing else.
    PlayButton->setChecked(IsPlaying());
}

void TSlideShow::ShowCurPic() {
    if (CurPic < 0 || CurPic >= Count()) {
        return;
    }
    if (!Reduced && !PicDragging) {
        ThumbBox->EnsureVisible(CurPic);
        SetThumbDown(CurPic);
    }
    PicPanel->SetCurImage(CurPic);
}

void TSlideShow::SetThumbDown(int index) {
    if (Reduced) {
        return;
    }
    for (int i = 0; i < ThumbBox->Count(); ++i) {
        ThumbBox->Button(i)->SetDown(i == index);
    }
}

void TSlideShow::OnPicClick() {
    auto* thumb = qobject_cast<TThumbButton*>(sender());
    if (thumb != nullptr) {
        OnPicClickAt(ThumbBox->IndexOf(thumb));
    }
}

void TSlideShow::OnPicClickAt(int index) {
    if (Reduced || index < 0 || index >= Count() || IsBusy()) {
        return;
    }
    PlayTimer->stop();
    PlayButton->setChecked(false);
    SetOrderCommandsEnabled(true);
    ZOrderButton->setEnabled(true);
    ThumbBox->EnsureVisible(index);
    SetThumbDown(index);
    CurPic = index;
    ShowCurPic();
}

void TSlideShow::TurnClick(int dir) {
    if (IsBusy()) {
        return;
    }
    if (!IsPlaying()) {
        Rotate(dir);
        return;
    }
    Stop();
    Rotate(dir);
    if (!Reduced) {
        ThumbBox->SetScrollPos(0);
    }
    Start();
}

void TSlideShow::ExchangePics(int a, int b) {
    const int count = Count();
    if (a < 0 || b < 0 || a >= count || b >= count) {
        return;
    }
    FileNames.swapItemsAt(a, b);
    std::swap(Pictures[a], Pictures[b]);
    std::swap(LoadOrder[a], LoadOrder[b]);
    if (Reduced || ThumbBox->Count() != count) {
        return;
    }
    // The thumbnails stay where they are; what they show travels with the picture.
    TThumbButton* first = ThumbBox->Button(a);
    TThumbButton* second = ThumbBox->Button(b);
    const QPixmap glyph = first->Glyph();
    first->SetGlyph(second->Glyph(), 4);
    second->SetGlyph(glyph, 4);
    const QString hint = first->toolTip();
    first->setToolTip(second->toolTip());
    second->setToolTip(hint);
    std::swap(first->Tag, second->Tag);
    SetThumbDown(b);
}

void TSlideShow::ApplyExchanges(const std::vector<std::pair<int, int>>& exchanges) {
    if (!Reduced) {
        ThumbBox->setUpdatesEnabled(false);
    }
    for (const auto& [a, b] : exchanges) {
        ExchangePics(a, b);
    }
    if (!Reduced) {
        ThumbBox->setUpdatesEnabled(true);
    }
}

void TSlideShow::MovePic(int from, int to) {
    const slideshow::Exchanges steps = slideshow::MoveExchanges(from, to, Count());
    if (steps.empty()) {
        return;
    }
    ApplyExchanges(steps);
    Changed = true;
}

void TSlideShow::ZOrder() {
    const int count = Count();
    if (count == 0) {
        return;
    }
    ApplyExchanges(slideshow::ReverseExchanges(count));
    const int index = slideshow::IndexAfterReverse(CurPic, count);
    if (Reduced) {
        CurPic = index;
        ShowCurPic();
        return;
    }
    OnPicClickAt(index);
}

void TSlideShow::OnZOrderClick() {
    if (!HasPictures() || IsBusy()) {
        return;
    }
    if (IsPlaying()) {
        Stop();
        ZOrder();
        if (!Reduced) {
            ThumbBox->SetScrollPos(0);
        }
        Start();
    } else {
        ZOrder();
    }
    Changed = true;
}

void TSlideShow::MoveCurrentTo(int to) {
    SetControlsState(false);
    MovePic(CurPic, to);
    CurPic = to;
    SetControlsState(true);
    ShowCurPic();
    Changed = true;
}

void TSlideShow::OnMoveUpClick() {
    if (Reduced || IsBusy() || Count() < 2 || CurPic < 0) {
        return;
    }
    MoveCurrentTo(slideshow::MoveUpTarget(CurPic, Count()));
}

void TSlideShow::OnMoveDownClick() {
    if (Reduced || IsBusy() || Count() < 2 || CurPic < 0) {
        return;
    }
    MoveCurrentTo(slideshow::MoveDownTarget(CurPic, Count()));
}

void TSlideShow::OnMakeFirstClick() {
    if (Reduced || IsBusy() || CurPic < 1 || CurPic >= Count()) {
        return;
    }
    ApplyExchanges(slideshow::MakeFirstExchanges(CurPic, Count()));
    CurPic = 0;
    ShowCurPic();
    Changed = true;
}

namespace {

bool ConfirmRemoval(const QString& text) {
    return platform::ShowMessage(text, QStringLiteral("Removing confirmation"),
                                 {platform::MsgButton::Yes, platform::MsgButton::No},
                                 platform::MsgIcon::Question,
                                 platform::MsgButton::No) == platform::MsgButton::Yes;
}

}  // namespace

void TSlideShow::OnDeleteClick() {
    if (Reduced || IsBusy() || CurPic < 0 || CurPic >= Count()) {
        return;
    }
    if (Count() > 1) {
        if (ConfirmRemoval(
                QStringLiteral("Do you want to remove the selected image from series?"))) {
            RemoveCurrent();
        }
        return;
    }
    if (!ConfirmRemoval(QStringLiteral("Do you want to remove the last image in the series?"))) {
        return;
    }
    Clear();
    Changed = false;
    if (CloseButton) {
        CloseButton->click();
    }
}

void TSlideShow::RemoveCurrent() {
    const int scroll = ThumbBox->ScrollPos();
    const int countBefore = Count();
    Pictures.erase(Pictures.begin() + CurPic);
    PicPanel->ForgetFrames();
    FileNames.removeAt(CurPic);
    LoadOrder.erase(LoadOrder.begin() + CurPic);
    ThumbBox->RemoveButton(CurPic);
    CurPic = slideshow::IndexAfterRemoval(CurPic, countBefore);
    ThumbBox->SetScrollPos(0);
    ThumbBox->RestackButtons();
    ThumbBox->SetScrollPos(scroll);
    DoResize();
    // The number box now reads a smaller count: the whole panel is repainted.
    PicPanel->UpdateImage();
    ShowCurPic();
    Changed = true;
}
