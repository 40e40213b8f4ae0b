#include "app/SlideShow/AnchorLayout.h"

#include <QWidget>
#include <algorithm>

namespace slideshow {

namespace {

// One axis: position and extent follow the growth of the parent along it.
void AnchorAxis(int& position, int& extent, int growth, bool nearEdge, bool farEdge) {
    if (nearEdge && farEdge) {
        extent += growth;
    } else if (farEdge) {
        position += growth;
    }
}

}  // namespace

Bounds AnchoredBounds(const Bounds& bounds, const QSize& from, const QSize& to, unsigned anchors) {
    Bounds result = bounds;
    AnchorAxis(result.left, result.width, to.width() - from.width(), anchors & akLeft,
               anchors & akRight);
    AnchorAxis(result.top, result.height, to.height() - from.height(), anchors & akTop,
               anchors & akBottom);
    return result;
}

void AnchorLayout::Place(QWidget* child, const Bounds& bounds, unsigned anchors) {
    Entry& entry = entries_[child];
    entry = {child, bounds, parent_->size(), anchors};
    Show(entry);
}

void AnchorLayout::SetBounds(QWidget* child, const Bounds& bounds) {
    Sync();
    auto found = entries_.find(child);
    if (found == entries_.end()) {
        Place(child, bounds, akLeft | akTop);
        return;
    }
    found->second.bounds = bounds;
    found->second.parentSize = parent_->size();
    Show(found->second);
}

Bounds AnchorLayout::BoundsOf(const QWidget* child) const {
    Sync();
    auto found = entries_.find(child);
    return found == entries_.end() ? Bounds{} : found->second.bounds;
}

void AnchorLayout::Apply() {
    Sync();
}

void AnchorLayout::Sync() const {
    const QSize size = parent_->size();
    for (auto& [key, entry] : entries_) {
        if (entry.parentSize == size) {
            continue;
        }
        entry.bounds = AnchoredBounds(entry.bounds, entry.parentSize, size, entry.anchors);
        entry.parentSize = size;
        Show(entry);
    }
}

void AnchorLayout::Show(const Entry& entry) const {
    // A child that lives elsewhere for a while (the picture panel in full screen) is left alone.
    if (entry.widget->parentWidget() != parent_) {
        return;
    }
    const Bounds& b = entry.bounds;
    entry.widget->setGeometry(b.left, b.top, std::max(b.width, 0), std::max(b.height, 0));
}

}  // namespace slideshow
