#pragma once
// A panel that places its children the way the main window was designed: children
// aligned to the top, bottom, left or right edge keep their height or width and take the
// rest of the edge, one child takes what remains, and unaligned children keep their
// distance to the edges they are anchored to. Sizes change synchronously, visible or not,
// so the window's resize rules can run while the window is still being set up, in a fixed
// order: a panel first places its children (which run their own rules), then runs its own
// OnResize.
//
// Geometry of children is set through the free functions below, which keep the parent
// panel's alignment and anchor records up to date. UI thread only.

#include <QFrame>
#include <QPointer>
#include <functional>
#include <vector>

enum class TAlign { None, Top, Bottom, Left, Right, Client };

enum TAnchor : unsigned {
    akLeft = 1,
    akTop = 2,
    akRight = 4,
    akBottom = 8,
};

class TPanel : public QFrame {
    Q_OBJECT
  public:
    explicit TPanel(QWidget* parent = nullptr);

    // Runs after the children have been placed for a new size.
    std::function<void()> OnResize;

    // Places the aligned and anchored children for the current size.
    void Realign();

    // The size the panel's children were last placed for; geometry set before the first
    // placement is taken as the design size.
    void HandleSizeChange();

    // Records used by the free functions.
    void SetChildAlign(QWidget* child, TAlign align);
    void SetChildAnchors(QWidget* child, unsigned anchors);
    void ChildMovedOrResized(QWidget* child);
    TAlign ChildAlign(const QWidget* child) const;
    // The aligned child just before child among those with the same alignment.
    QWidget* AlignedBefore(const QWidget* child) const;
    // The child that takes the remaining space, or null.
    QWidget* ClientChild() const;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    struct Entry {
        QPointer<QWidget> widget;
        TAlign align = TAlign::None;
        unsigned anchors = akLeft | akTop;
        int rightGap = 0;
        int bottomGap = 0;
    };

    Entry* Find(const QWidget* child);
    const Entry* Find(const QWidget* child) const;
    Entry& FindOrAdd(QWidget* child);
    void RecordGaps(Entry& entry) const;
    void PlaceAligned(QRect& room);
    void PlaceAnchored();
    void RunAlignPass();

    std::vector<Entry> entries_;
    QSize handledSize_{-1, -1};
    bool aligning_ = false;
    bool realignPending_ = false;
};

// Geometry setters in the spirit of the designed forms. For a child of a TPanel they
// re-place its siblings (an aligned child) or record its new anchor distances.
void SetAlign(QWidget* widget, TAlign align);
void SetAnchors(QWidget* widget, unsigned anchors);
void SetBounds(QWidget* widget, int left, int top, int width, int height);
void SetLeft(QWidget* widget, int left);
void SetTop(QWidget* widget, int top);
void SetWidth(QWidget* widget, int width);
void SetHeight(QWidget* widget, int height);
