// TSlideShow: thumbnail drags with insertion marks and automatic scrolling, stepping by
// dragging across the picture, double-click to play, the thumbnail popup menu and the
// full-screen mode.

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QToolButton>
#include <cstdlib>

#include "app/SlideShow/FullScreenForm.h"
#include "app/SlideShow/PicPanel.h"
#include "app/SlideShow/SlideGeometry.h"
#include "app/SlideShow/SlideShow.h"
#include "app/SlideShow/ThumbBox.h"
#include "app/SlideShow/ThumbButton.h"

namespace {

// Vertical distance the pointer must travel with the button held before a drag starts.
constexpr int kDragThreshold = 5;
// Scrolling at the column's ends goes this many times as far as the pointer overshoots.
constexpr int kScrollFactor = 5;

QPoint ScreenPos(const QMouseEvent* event) {
    return event->globalPosition().toPoint();
}

}  // namespace

void TSlideShow::HookThumbnail(TThumbButton* thumb) {
    connect(thumb, &TThumbButton::MouseDown, this,
            [this, thumb](QMouseEvent* event) { OnPicMouseDown(thumb, event); });
    connect(thumb, &TThumbButton::MouseMove, this,
            [this, thumb](QMouseEvent* event) { OnPicMouseMove(thumb, event); });
    connect(thumb, &TThumbButton::MouseUp, this,
            [this, thumb](QMouseEvent* event) { OnPicMouseUp(thumb, event); });
    connect(thumb, &TThumbButton::clicked, this, &TSlideShow::OnPicClick);
}

int TSlideShow::CurPos(int y) const {
    return slideshow::CurPos(y, ThumbBox->ScrollPos(), ThumbBox->ThumbHeight());
}

int TSlideShow::InsPos(int y) const {
    return slideshow::InsPos(y, ThumbBox->ScrollPos(), ThumbBox->ThumbHeight(), Count());
}

QPoint TSlideShow::ToThumbBox(QPoint screen) const {
    return ThumbBox->viewport()->mapFromGlobal(screen);
}

void TSlideShow::OnPicMouseDown(TThumbButton*, QMouseEvent* event) {
    if (ThumbDragging) {
        CancelThumbDrag();  // its release went elsewhere: a new press starts afresh
    }
    if (ThumbPressed || IsPlaying() || IsBusy() || event->button() != Qt::LeftButton) {
        return;
    }
    ThumbPressed = true;
    PressPoint = ScreenPos(event);
}

void TSlideShow::OnPicMouseMove(TThumbButton* thumb, QMouseEvent* event) {
    const QPoint p = ScreenPos(event);
    if (ThumbPressed && std::abs(p.y() - PressPoint.y()) > kDragThreshold) {
        StartThumbDrag(thumb, event);
    } else if (ThumbDragging) {
        ContinueThumbDrag(p);
    }
}

void TSlideShow::StartThumbDrag(TThumbButton* thumb, QMouseEvent* event) {
    const QPoint p = ToThumbBox(ScreenPos(event));
    ThumbPressed = false;
    ThumbDragging = true;
    const QPoint grab = event->position().toPoint();
    ThumbBox->BeginDragImage(thumb->FirstCell(), grab);
    DragSource = ThumbBox->IndexOf(thumb);
    LastInsPos = -1;
    DragX = p.x() + 4;
    GrabY = grab.y();
    // p.y - GrabY is the thumbnail's own top: the first marks frame its present place.
    DrawPlace(p, true);
    ThumbBox->ShowDragImage(p);
    ThumbBox->SetHintsShown(false);
    LastInsPos = DragSource;
}

void TSlideShow::ContinueThumbDrag(QPoint screen) {
    QPoint p = ToThumbBox(screen);
    const int scroll = ThumbBox->ScrollPos();
    const int boxHeight = ThumbBox->ClientHeight();
    const int thumbHeight = ThumbBox->ThumbHeight();
    const int glyphHeight = thumbHeight - 4;
    const int d = p.y() - GrabY;  // where the dragged thumbnail's top would be
    if (d < 0) {
        if (scroll > 0) {
            ThumbBox->HideDragImage();
            ThumbBox->SetScrollPos(scroll - kScrollFactor * (GrabY - p.y()));
            p.setY(GrabY);
            DrawPlace(p, true);
            ThumbBox->ShowDragImage({DragX, p.y()});
            QCursor::setPos(ThumbBox->viewport()->mapToGlobal(p));
        }
        return;
    }
    if (glyphHeight + d > boxHeight) {
        if (Count() * thumbHeight - boxHeight > scroll) {
            ThumbBox->HideDragImage();
            ThumbBox->SetScrollPos(scroll +
                                   kScrollFactor * (glyphHeight + p.y() - boxHeight - GrabY));
            p.setY(boxHeight - glyphHeight + GrabY);
            DrawPlace(p, true);
            ThumbBox->ShowDragImage({DragX, p.y()});
            QCursor::setPos(ThumbBox->viewport()->mapToGlobal(p));
        }
        return;
    }
    p.setY(std::max(GrabY, std::min(p.y(), boxHeight - thumbHeight + GrabY)));
    if (InsPos(p.y() - GrabY) != LastInsPos) {
        ThumbBox->HideDragImage();
        DrawPlace(p, false);
        ThumbBox->ShowDragImage({DragX, p.y()});
    } else {
        ThumbBox->MoveDragImage({DragX, p.y()});
    }
}

void TSlideShow::OnPicMouseUp(TThumbButton* thumb, QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        if (ThumbPressed) {
            // A plain click: the button's own click selects the picture.
            ThumbPressed = false;
            ThumbDragging = false;
        } else if (ThumbDragging) {
            DropThumb(thumb, ScreenPos(event));
        }
        return;
    }
    if (event->button() == Qt::RightButton && !IsBusy()) {
        OnPicClickAt(ThumbBox->IndexOf(thumb));
        PopupMenu->popup(ScreenPos(event));
    }
}

void TSlideShow::DropThumb(TThumbButton* thumb, QPoint screen) {
    // The release ends the drag; it must not also select the thumbnail it started on.
    thumb->CancelClick();
    ThumbDragging = false;
    ThumbBox->EndDragImage();
    LastInsPos = -1;
    ThumbBox->SetHintsShown(true);
    const QPoint p = ToThumbBox(screen);
    const int target = slideshow::DropTarget(InsPos(p.y() - GrabY), Count());
    if (target != DragSource) {
        MovePic(DragSource, target);
        CurPic = target;
    } else {
        CurPic = DragSource;
    }
    ErasePlace();
    ThumbBox->viewport()->update();
    ShowCurPic();
}

void TSlideShow::CancelThumbDrag() {
    ThumbDragging = false;
    ThumbBox->EndDragImage();
    LastInsPos = -1;
    ThumbBox->SetHintsShown(true);
    ErasePlace();
    ThumbBox->viewport()->update();
}

void TSlideShow::DrawPlace(QPoint p, bool forced) {
    ErasePlace();
    const int count = Count();
    const int ins = InsPos(p.y() - GrabY);
    if (ins == LastInsPos && !forced) {
        return;
    }
    const int e = slideshow::MarkGap(ins, DragSource, count);
    const int gapY = e * ThumbBox->ThumbHeight() - ThumbBox->ScrollPos();
    const int x = (slideshow::kThumbButtonWidth - PlaceUpMark.width()) / 2;
    QPixmap upper;
    QPixmap lower;
    if (slideshow::ShowsUpperMark(ins, count)) {
        upper = PlaceUpMark;
        if (TThumbButton* above = ThumbBox->Button(e - 1)) {
            above->Tag = -std::abs(above->Tag);
        }
    }
    if (slideshow::ShowsLowerMark(ins, DragSource, count)) {
        lower = PlaceDownMark;
        if (TThumbButton* below = ThumbBox->Button(e)) {
            below->Tag = -std::abs(below->Tag);
        }
    }
    ThumbBox->ShowMarks(upper, gapY - PlaceUpMark.height() - 11, lower, gapY + 9, x);
    LastInsPos = ins;
}

void TSlideShow::ErasePlace() {
    if (Reduced) {
        return;
    }
    for (int i = 0; i < ThumbBox->Count(); ++i) {
        TThumbButton* thumb = ThumbBox->Button(i);
        if (thumb->Tag < 0) {
            thumb->Tag = -thumb->Tag;
            thumb->update();
        }
    }
    ThumbBox->HideMarks();
}

void TSlideShow::PanelMouseDown(QMouseEvent* event) {
    if (FullScreen) {
        if (FsForm != nullptr) {
            FsForm->reject();
        }
        return;
    }
    if (PicDragging || !HasPictures() || IsBusy() ||
        !PicPanel->ImageRect.contains(event->position().toPoint())) {
        return;
    }
    PicDragging = true;
    PicMoved = false;
    PicDragX = ScreenPos(event).x();
}

void TSlideShow::PanelMouseMove(QMouseEvent* event) {
    if (FullScreen) {
        return;
    }
    if (!PicDragging) {
        const bool over = PicPanel->ImageRect.contains(event->position().toPoint());
        PicPanel->setCursor(over ? Qt::SizeHorCursor : Qt::ArrowCursor);
        return;
    }
    PicPanel->setCursor(Qt::SizeHorCursor);
    const int sx = ScreenPos(event).x();
    const int imageWidth = PicPanel->ImageRect.width() - 1;  // right - left
    const int steps = slideshow::DragSteps(PicDragX - sx, Count(), imageWidth);
    if (steps <= 0) {
        return;
    }
    PicMoved = true;
    if (IsPlaying()) {
        Stop();
    }
    CurPic = slideshow::WrapIndex(sx < PicDragX ? CurPic - steps : CurPic + steps, Count());
    PicDragX = sx;
    ShowCurPic();
}

void TSlideShow::PanelMouseUp(QMouseEvent*) {
    if (!PicDragging) {
        return;
    }
    PicDragging = false;
    if (PicMoved) {
        ShowCurPic();  // now the thumbnail column follows
    }
    PicMoved = false;
}

void TSlideShow::PanelDblClick(QMouseEvent* event) {
    PicDragging = false;
    if (!FullScreen && PicPanel->ImageRect.contains(event->position().toPoint())) {
        PlayButton->click();
    }
}

void TSlideShow::ToggleFullScreen() {
    if (FullScreen || IsBusy()) {
        return;
    }
    FullScreen = true;
    QScreen* shown = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    TFullScreenForm form(shown != nullptr ? shown->geometry() : QRect(0, 0, 800, 600));
    FsForm = &form;
    form.OnShow = [this] { FsFormShow(); };
    form.OnHide = [this] { FsFormHide(); };
    form.exec();
    form.OnShow = nullptr;
    form.OnHide = nullptr;
    FsForm = nullptr;
    FullScreen = false;
}

void TSlideShow::FsFormShow() {
    SavedPanelBounds = PicPanel->geometry();
    PicPanel->setParent(FsForm);
    PicPanel->setGeometry(0, 0, FsForm->width() + 1, FsForm->height() + 1);
    PicPanel->unsetCursor();
    PicPanel->show();
}

void TSlideShow::FsFormHide() {
    if (PicPanel->parentWidget() == this) {
        return;
    }
    PicPanel->setParent(this);
    anchors_.SetBounds(PicPanel, {SavedPanelBounds.x(), SavedPanelBounds.y(),
                                  SavedPanelBounds.width(), SavedPanelBounds.height()});
    PicPanel->show();
}
