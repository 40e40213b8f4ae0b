// The wait animation of a first expansion (Animation on): while the folder is read, the
// viewport shows its picture from the start of the expansion with the animation beside the
// placeholder, and takes no input.

#include <QPaintEvent>
#include <QPainter>

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
    const QRect row = visualRect(index);
    const int textWidth = fontMetrics().horizontalAdvance(waitMessage_) + 6;
    const QRect text(row.left(), row.top(), textWidth, row.height());
    animator_->Start(AnimationPlacesFor(text, iconSize().isValid() ? iconSize() : QSize(16, 16)),
                     animationDelay_);
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
