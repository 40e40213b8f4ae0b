#pragma once
// The report-style picture lists of the main window: one column of captions, whole-row
// selection, grid lines, green Arial text. Items are addressed by index. Selection changes
// come out as one SelectItem per item whose state changed, then one Change; presses, keys
// and double clicks are offered to the window's handlers before the list acts on them.
// Captions can be kept sorted (by name ignoring letter case, ties in byte order).
//
// Items are dragged inside this program only: a drag carries a private type naming its
// source list and this process, only such data is offered to the window's drag handlers,
// and the source list never removes anything itself (the drop handler changes the lists),
// so a drop into another program or a drag from one changes nothing.
// UI thread only.

#include <QTreeWidget>
#include <functional>

class QMimeData;

// The private type of the pictures dragged between the window's lists.
inline constexpr char kPictureDragMime[] = "application/x-orvane-viewer-pictures";

// The drag data that names list (by its object name) as coming from this process.
QMimeData* NewPictureDragData(const QString& listName);
// The object name of the list a drag comes from; empty unless the data is a picture drag
// of this process.
QString PictureDragSource(const QMimeData* data);

class TListView : public QTreeWidget {
    Q_OBJECT
  public:
    TListView(QWidget* parent, const QString& columnCaption, bool multiSelect);

    bool Sorted() const { return sorted_; }
    void SetSorted(bool value) { sorted_ = value; }
    // Whether a press may start a drag of the list's items (the drags themselves are the
    // window's business; the list only keeps the setting).
    bool AutoDrag() const { return autoDrag_; }
    void SetAutoDrag(bool value) { autoDrag_ = value; }

    int Count() const { return topLevelItemCount(); }
    QString Caption(int index) const;
    void SetCaption(int index, const QString& caption);
    // Appends, or inserts at the sorted place when the list is sorted. Returns the index.
    int AddItem(const QString& caption);
    void InsertItem(int index, const QString& caption);
    void DeleteItem(int index);
    void ClearItems();

    bool IsSelected(int index) const;
    void SetSelected(int index, bool selected);
    int SelCount() const;
    // The first selected item, -1 when none.
    int FirstSelected() const;
    // Gives item index the selected and focused states and scrolls it fully into view; a
    // negative index does nothing.
    void SelectListItem(int index);
    void SelectAllItems();

    int ItemAt(const QPoint& viewportPos) const;
    int VisibleRowCount() const;
    void FitColumn(int margin);

    void BeginUpdate();
    void EndUpdate();

    // Offered before the list handles the event; returning true consumes it.
    std::function<bool(QMouseEvent*)> OnMouseDown;
    std::function<void(QMouseEvent*)> OnMouseUp;
    std::function<bool(QKeyEvent*)> OnKeyDown;
    std::function<void()> OnDblClick;
    std::function<void()> OnClick;
    // The tooltip of an item, asked when one is about to show.
    std::function<QString(int)> OnInfoTip;
    // A picture drag over the list (true: it may drop here) and its drop. Only drags
    // that carry this program's picture data reach them.
    std::function<bool(const QDropEvent*)> OnDragOver;
    std::function<void(const QDropEvent*)> OnDragDrop;

  signals:
    void SelectItem(int index, bool selected);
    void Change();
    void ColumnClick(int column);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void OnSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    int SortedPlace(const QString& caption) const;
    bool MayDrop(const QDropEvent* event) const;

    bool sorted_ = false;
    bool autoDrag_ = true;
    int updateDepth_ = 0;
};

// The order of the sorted list: letter case ignored, then byte order so that names that
// differ only in case keep a fixed order.
bool CaptionLess(const QString& a, const QString& b);
