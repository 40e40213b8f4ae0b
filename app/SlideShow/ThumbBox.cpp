#include "app/SlideShow/ThumbBox.h"

#include <QEvent>
#include <QScrollBar>

#include "app/SlideShow/SlideGeometry.h"

namespace {

QLabel* MakeOverlay(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->hide();
    return label;
}

}  // namespace

TThumbBox::TThumbBox(QWidget* parent) : QScrollArea(parent), content_(new QWidget) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWidgetResizable(false);
    setWidget(content_);
    verticalScrollBar()->setTracking(true);
    upperMark_ = MakeOverlay(viewport());
    lowerMark_ = MakeOverlay(viewport());
    dragImage_ = MakeOverlay(viewport());
}

TThumbButton* TThumbBox::Button(int index) const {
    return index >= 0 && index < Count() ? buttons_[index] : nullptr;
}

int TThumbBox::IndexOf(const TThumbButton* button) const {
    for (int i = 0; i < Count(); ++i) {
        if (buttons_[i] == button) {
            return i;
        }
    }
    return -1;
}

TThumbButton* TThumbBox::AddButton() {
    auto* button = new TThumbButton(content_);
    button->setGeometry(1, 0, slideshow::kThumbButtonWidth, 24);
    button->installEventFilter(this);
    button->show();
    buttons_.push_back(button);
    return button;
}

void TThumbBox::RemoveButton(int index) {
    if (index < 0 || index >= Count()) {
        return;
    }
    // Deleted later: the button may be the sender of the click being handled.
    buttons_[index]->hide();
    buttons_[index]->deleteLater();
    buttons_.erase(buttons_.begin() + index);
}

void TThumbBox::RemoveAll() {
    while (!buttons_.empty()) {
        RemoveButton(Count() - 1);
    }
    UpdateContentSize();
}

void TThumbBox::RestackButtons() {
    for (int i = 0; i < Count(); ++i) {
        TThumbButton* button = buttons_[i];
        button->move(button->x(), button->height() * i);
    }
    UpdateContentSize();
}

int TThumbBox::ThumbHeight() const {
    return buttons_.empty() ? 0 : buttons_.front()->height();
}

// From the box's own bounds, not the viewport's: before the box is first laid out (a
// control loaded before it is shown) the viewport still has its default size, and the
// thumbnails would count as overflowing. The box never shows a horizontal bar.
int TThumbBox::ClientHeight() const {
    return contentsRect().height();
}

int TThumbBox::ScrollPos() const {
    return verticalScrollBar()->value();
}

void TThumbBox::SetScrollPos(int position) {
    verticalScrollBar()->setValue(position);
}

void TThumbBox::SetScrollIncrement(int step) {
    verticalScrollBar()->setSingleStep(std::max(step, 1));
}

void TThumbBox::EnsureVisible(int index) {
    if (TThumbButton* button = Button(index)) {
        ensureWidgetVisible(button, 0, 0);
    }
}

void TThumbBox::UpdateContentSize() {
    content_->resize(viewport()->width(), ThumbsHeight());
}

void TThumbBox::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    UpdateContentSize();
}

void TThumbBox::SetHintsShown(bool shown) {
    hintsShown_ = shown;
}

bool TThumbBox::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip && !hintsShown_) {
        return true;
    }
    return QScrollArea::eventFilter(watched, event);
}

void TThumbBox::ShowMarks(const QPixmap& upper, int upperTop, const QPixmap& lower, int lowerTop,
                          int left) {
    const auto place = [left](QLabel* mark, const QPixmap& pixmap, int top) {
        if (pixmap.isNull()) {
            mark->hide();
            return;
        }
        mark->setPixmap(pixmap);
        mark->setGeometry(left, top, pixmap.width(), pixmap.height());
        mark->show();
        mark->raise();
    };
    place(upperMark_, upper, upperTop);
    place(lowerMark_, lower, lowerTop);
    dragImage_->raise();
}

void TThumbBox::HideMarks() {
    upperMark_->hide();
    lowerMark_->hide();
}

void TThumbBox::BeginDragImage(const QPixmap& image, const QPoint& hotSpot) {
    dragImage_->setPixmap(image);
    dragImage_->resize(image.size());
    hotSpot_ = hotSpot;
}

void TThumbBox::MoveDragImage(const QPoint& at) {
    dragImage_->move(at - hotSpot_);
}

void TThumbBox::HideDragImage() {
    dragImage_->hide();
}

void TThumbBox::ShowDragImage(const QPoint& at) {
    MoveDragImage(at);
    dragImage_->show();
    dragImage_->raise();
}

void TThumbBox::EndDragImage() {
    dragImage_->hide();
    dragImage_->setPixmap(QPixmap());
}
