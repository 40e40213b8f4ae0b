#pragma once
// Children placed by left, top, width and height that keep their distances to the anchored
// edges of their parent when it is resized. Bounds are kept exactly as set, even when a
// parent is too small for them (a negative width), and only clamped when shown, so that
// growing the parent again gives back the intended layout.

#include <QSize>
#include <map>

class QWidget;

namespace slideshow {

enum Anchor : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
inline constexpr unsigned akAll = akLeft | akTop | akRight | akBottom;

struct Bounds {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int Right() const { return left + width; }
    int Bottom() const { return top + height; }
    bool operator==(const Bounds&) const = default;
};

// bounds placed in a parent of size from, moved to a parent of size to: an edge anchored on
// both sides stretches, an edge anchored on the far side only moves with it.
Bounds AnchoredBounds(const Bounds& bounds, const QSize& from, const QSize& to, unsigned anchors);

class AnchorLayout {
  public:
    explicit AnchorLayout(QWidget* parent) : parent_(parent) {}

    // Places child at bounds in the parent's present size and remembers its anchors.
    void Place(QWidget* child, const Bounds& bounds, unsigned anchors);
    // New bounds for a placed child, taken as relative to the parent's present size.
    void SetBounds(QWidget* child, const Bounds& bounds);
    // The bounds as last set or anchored, unclamped.
    Bounds BoundsOf(const QWidget* child) const;
    // Re-anchors every child to the parent's present size.
    void Apply();
    void Forget(const QWidget* child) { entries_.erase(child); }

  private:
    // Resize events of a hidden parent arrive only when it is shown; every read and write
    // first catches up with the parent's present size, so no step works on stale bounds.
    void Sync() const;

    struct Entry {
        QWidget* widget = nullptr;
        Bounds bounds;
        QSize parentSize;
        unsigned anchors = 0;
    };
    void Show(const Entry& entry) const;

    QWidget* parent_;
    mutable std::map<const QWidget*, Entry> entries_;
};

}  // namespace slideshow
