#include "app/MainWindow/Panel.h"

#include <QResizeEvent>

namespace {

// Re-placing children may run handlers that change sibling sizes again; a few passes
// always settle the designed rules, and the cap keeps a faulty rule from looping.
constexpr int kMaxAlignPasses = 4;

TPanel* PanelOf(QWidget* widget) {
    return widget != nullptr ? qobject_cast<TPanel*>(widget->parentWidget()) : nullptr;
}

void PlaceChild(QWidget* child, const QRect& rect) {
    if (child->geometry() != rect) {
        child->setGeometry(rect);
    }
    if (auto* panel = qobject_cast<TPanel*>(child)) {
        panel->HandleSizeChange();
    }
}

}  // namespace

TPanel::TPanel(QWidget* parent) : QFrame(parent) {}

void TPanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    HandleSizeChange();
}

void TPanel::HandleSizeChange() {
    if (size() == handledSize_) {
        return;
    }
    handledSize_ = size();
    Realign();
    if (OnResize) {
        OnResize();
    }
}

void TPanel::Realign() {
    if (aligning_) {
        realignPending_ = true;
        return;
    }
    aligning_ = true;
    for (int pass = 0; pass < kMaxAlignPasses; ++pass) {
        realignPending_ = false;
        RunAlignPass();
        if (!realignPending_) {
            break;
        }
    }
    aligning_ = false;
}

void TPanel::RunAlignPass() {
    QRect room = contentsRect();
    PlaceAligned(room);
    PlaceAnchored();
}

void TPanel::PlaceAligned(QRect& room) {
    const TAlign order[] = {TAlign::Top, TAlign::Bottom, TAlign::Left, TAlign::Right,
                            TAlign::Client};
    for (TAlign align : order) {
        for (size_t i = 0; i < entries_.size(); ++i) {
            // Copy: placing a child may run handlers that register more children.
            const Entry entry = entries_[i];
            QWidget* w = entry.widget;
            if (w == nullptr || entry.align != align || w->isHidden()) {
                continue;
            }
            switch (align) {
                case TAlign::Top:
                    PlaceChild(w, QRect(room.left(), room.top(), room.width(), w->height()));
                    room.setTop(room.top() + w->height());
                    break;
                case TAlign::Bottom:
                    PlaceChild(w, QRect(room.left(), room.bottom() + 1 - w->height(), room.width(),
                                        w->height()));
                    room.setBottom(room.bottom() - w->height());
                    break;
                case TAlign::Left:
                    PlaceChild(w, QRect(room.left(), room.top(), w->width(), room.height()));
                    room.setLeft(room.left() + w->width());
                    break;
                case TAlign::Right:
                    PlaceChild(w, QRect(room.right() + 1 - w->width(), room.top(), w->width(),
                                        room.height()));
                    room.setRight(room.right() - w->width());
                    break;
                case TAlign::Client:
                    PlaceChild(w, room);
                    break;
                case TAlign::None:
                    break;
            }
        }
    }
}

void TPanel::PlaceAnchored() {
    for (size_t i = 0; i < entries_.size(); ++i) {
        const Entry entry = entries_[i];
        QWidget* w = entry.widget;
        if (w == nullptr || entry.align != TAlign::None) {
            continue;
        }
        QRect r = w->geometry();
        if ((entry.anchors & akRight) != 0) {
            if ((entry.anchors & akLeft) != 0) {
                r.setWidth(width() - entry.rightGap - r.x());
            } else {
                r.moveLeft(width() - entry.rightGap - r.width());
            }
        }
        if ((entry.anchors & akBottom) != 0) {
            if ((entry.anchors & akTop) != 0) {
                r.setHeight(height() - entry.bottomGap - r.y());
            } else {
                r.moveTop(height() - entry.bottomGap - r.height());
            }
        }
        PlaceChild(w, r);
    }
}

TPanel::Entry* TPanel::Find(const QWidget* child) {
    for (Entry& entry : entries_) {
        if (entry.widget == child) {
            return &entry;
        }
    }
    return nullptr;
}

const TPanel::Entry* TPanel::Find(const QWidget* child) const {
    return const_cast<TPanel*>(this)->Find(child);
}

TPanel::Entry& TPanel::FindOrAdd(QWidget* child) {
    if (Entry* entry = Find(child)) {
        return *entry;
    }
    entries_.push_back(Entry{child});
    RecordGaps(entries_.back());
    return entries_.back();
}

void TPanel::RecordGaps(Entry& entry) const {
    const QRect r = entry.widget->geometry();
    entry.rightGap = width() - (r.x() + r.width());
    entry.bottomGap = height() - (r.y() + r.height());
}

void TPanel::SetChildAlign(QWidget* child, TAlign align) {
    FindOrAdd(child).align = align;
    Realign();
}

void TPanel::SetChildAnchors(QWidget* child, unsigned anchors) {
    Entry& entry = FindOrAdd(child);
    entry.anchors = anchors;
    RecordGaps(entry);
}

void TPanel::ChildMovedOrResized(QWidget* child) {
    Entry* entry = Find(child);
    if (entry == nullptr) {
        return;
    }
    if (entry->align == TAlign::None) {
        RecordGaps(*entry);
    } else {
        Realign();
    }
}

TAlign TPanel::ChildAlign(const QWidget* child) const {
    const Entry* entry = Find(child);
    return entry != nullptr ? entry->align : TAlign::None;
}

QWidget* TPanel::AlignedBefore(const QWidget* child) const {
    const TAlign align = ChildAlign(child);
    QWidget* before = nullptr;
    for (const Entry& entry : entries_) {
        if (entry.widget == child) {
            return before;
        }
        if (entry.widget != nullptr && entry.align == align && !entry.widget->isHidden()) {
            before = entry.widget;
        }
    }
    return nullptr;
}

QWidget* TPanel::ClientChild() const {
    for (const Entry& entry : entries_) {
        if (entry.widget != nullptr && entry.align == TAlign::Client) {
            return entry.widget;
        }
    }
    return nullptr;
}

void SetAlign(QWidget* widget, TAlign align) {
    if (TPanel* parent = PanelOf(widget)) {
        parent->SetChildAlign(widget, align);
    }
}

void SetAnchors(QWidget* widget, unsigned anchors) {
    if (TPanel* parent = PanelOf(widget)) {
        parent->SetChildAnchors(widget, anchors);
    }
}

void SetBounds(QWidget* widget, int left, int top, int width, int height) {
    const QRect rect(left, top, std::max(0, width), std::max(0, height));
    if (widget->geometry() != rect) {
        widget->setGeometry(rect);
    }
    if (TPanel* parent = PanelOf(widget)) {
        parent->ChildMovedOrResized(widget);
    }
    if (auto* panel = qobject_cast<TPanel*>(widget)) {
        panel->HandleSizeChange();
    }
}

void SetLeft(QWidget* w, int left) {
    SetBounds(w, left, w->y(), w->width(), w->height());
}
void SetTop(QWidget* w, int top) {
    SetBounds(w, w->x(), top, w->width(), w->height());
}
void SetWidth(QWidget* w, int width) {
    SetBounds(w, w->x(), w->y(), width, w->height());
}
void SetHeight(QWidget* w, int height) {
    SetBounds(w, w->x(), w->y(), w->width(), height);
}
