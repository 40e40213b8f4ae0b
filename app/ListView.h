#pragma once
// The report-style picture lists of the main window: one column of captions, whole-row
// selection, grid lines, green Arial text. Items are addressed by index. Selection changes
// come out as one SelectItem per item whose state changed, then one Change; presses, keys
// and double clicks are offered to the window's handlers before the list acts on them.
// Captions can be kept sorted (by name ignoring letter case, ties in byte order).
// UI thread only.

#include <QTreeWidget>
#include <functional>

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

  private:
    void OnSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    int SortedPlace(const QString& caption) const;

    bool sorted_ = false;
    bool autoDrag_ = true;
    int updateDepth_ = 0;
};

// The order of the sorted list: letter case ignored, then byte order so that names that
// differ only in case keep a fixed order.
bool CaptionLess(const QString& a, const QString& b);
