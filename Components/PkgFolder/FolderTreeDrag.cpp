// Drag and drop: as a source (dmAutomatic) the tree drags an item's location; as a target
// it highlights the item under the mouse, remembers it while the mouse is outside, and tells
// receivers the folder it names. A drop never moves the tree's items.

#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>
#include <QUrl>

#include "Components/PkgFolder/FolderTree.h"

HTREEITEM TFolderTree::GetDropTarget() const {
    const HTREEITEM target = dropHighlight_ ? dropHighlight_ : rememberedDropTarget_;
    return model_->Node(target) ? target : 0;
}

void TFolderTree::SetDropTarget(HTREEITEM item) {
    if (dropHighlight_ != item) {
        dropHighlight_ = item;
        viewport()->update();
    }
}

QString TFolderTree::GetDropPath() const {
    return ItemPath(GetDropTarget());
}

void TFolderTree::startDrag(Qt::DropActions) {
    const QModelIndex index = currentIndex();
    TreeNode* node = model_->NodeOf(index);
    if (!node || !node->data) {
        return;
    }
    rememberedDropTarget_ = 0;
    auto* mime = new QMimeData;
    const QString path = ItemPath(node->handle);
    if (!path.isEmpty()) {
        mime->setUrls({QUrl::fromLocalFile(path)});
    }
    mime->setText(path.isEmpty() ? node->text : path);
    QDrag drag(this);
    drag.setMimeData(mime);
    const QRect row = visualRect(index);
    drag.setPixmap(viewport()->grab(row));
    drag.setHotSpot(QPoint(2, 2));
    // Copy or link only: whatever the target does, the tree keeps its item.
    drag.exec(Qt::CopyAction | Qt::LinkAction, Qt::CopyAction);
    SetDropTarget(0);
    rememberedDropTarget_ = 0;
}

void TFolderTree::DoDragOver(QDropEvent* event, TDragState state) {
    const QPoint at = event->position().toPoint();
    const HTREEITEM item = GetNodeAt(at.x(), at.y());
    if (item && (item != dropHighlight_ || item == rememberedDropTarget_)) {
        rememberedDropTarget_ = 0;
        SetDropTarget(item);
    }
    bool accept = false;
    emit OnDragOver(this, event->source(), at.x(), at.y(), state, accept);
    if (accept) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void TFolderTree::dragEnterEvent(QDragEnterEvent* event) {
    DoDragOver(event, dsDragEnter);
    // The enter is taken in any case, so the highlight goes on following the mouse.
    event->accept();
}

void TFolderTree::dragMoveEvent(QDragMoveEvent* event) {
    DoDragOver(event, dsDragMove);
}

void TFolderTree::dragLeaveEvent(QDragLeaveEvent* event) {
    rememberedDropTarget_ = GetDropTarget();
    SetDropTarget(0);
    event->accept();
}

void TFolderTree::dropEvent(QDropEvent* event) {
    rememberedDropTarget_ = 0;
    SetDropTarget(0);
    const QPoint at = event->position().toPoint();
    // The tree reports a drop as a copy or a link, never as a move, so no source deletes
    // what it dragged here.
    const Qt::DropActions possible = event->possibleActions();
    if (!(possible & (Qt::CopyAction | Qt::LinkAction))) {
        event->ignore();
        return;
    }
    emit OnDragDrop(this, event->source(), at.x(), at.y());
    event->setDropAction(possible & Qt::CopyAction ? Qt::CopyAction : Qt::LinkAction);
    event->accept();
}

void TFolderTree::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    TreeNode* node = model_->NodeOf(index);
    if (!node || node->handle != dropHighlight_ || !dropHighlight_) {
        QTreeView::drawRow(painter, option, index);
        return;
    }
    QStyleOptionViewItem highlighted = option;
    highlighted.state |= QStyle::State_Selected;
    QTreeView::drawRow(painter, highlighted, index);
}
