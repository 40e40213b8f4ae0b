// The wait animation of a first expansion (Animation on): while the folder is read, the
// viewport shows its picture from the start of the expansion with the animation beside the
// placeholder, and takes no input.

#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QTimer>

#include "Components/PkgFolder/ExpansionAnimation.h"
#include "Components/PkgFolder/FolderTree.h"

bool TFolderTree::Animating() const {
    return animator_ && animator_->Running();
}

void TFolderTree::StartExpansionAnimation(HTREEITEM placeholder) {
    const QModelIndex index = model_->IndexOf(model_->Node(placeholder));
    if (!index.isValid()) {
        return;
    }
    scrollTo(index);
    // The text's own extent: where the delegate puts it, as wide as the message.
    const QRect textArea = ItemTextRect(index);
    const int textWidth = fontMetrics().horizontalAdvance(waitMessage_) + 6;
    const QRect text(textArea.left(), textArea.top(), textWidth, textArea.height());
    const int small = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    animator_->Start(
        AnimationPlacesFor(text, iconSize().isValid() ? iconSize() : QSize(small, small)),
        animationDelay_, waitIcon_);
    progressShown_ = worker_->Done();
    AskForProgress();
}

void TFolderTree::AskForProgress() {
    if (Animating() && worker_->RequestProgress(progressShown_))
        OnPopulationProgress();  // it changed since the bar was drawn
}

void TFolderTree::OnPopulationProgress() {
    if (!Animating())
        return;
    progressShown_ = worker_->Done();
    animator_->CountChanged();
    // The next change is asked for a frame later: drawing more often shows nothing more and
    // takes the processor from the reading thread.
    QTimer::singleShot(kProgressFrameMs, this, [this] { AskForProgress(); });
}

void TFolderTree::paintEvent(QPaintEvent* event) {
    if (Animating()) {
        QPainter painter(viewport());
        int total = 0;
        const int done = GetPopulationCount(&total);
        animator_->Paint(painter, total, done);
        return;
    }
    QTreeView::paintEvent(event);
}

bool TFolderTree::viewportEvent(QEvent* event) {
    if (Animating()) {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::MouseMove:
            case QEvent::Wheel:
            case QEvent::ContextMenu:
                event->accept();
                return true;
            default:
                break;
        }
    }
    return QTreeView::viewportEvent(event);
}
