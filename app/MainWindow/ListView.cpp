#include "app/MainWindow/ListView.h"

#include <QCoreApplication>
#include <QDrag>
#include <QDropEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <algorithm>

#include "app/MainWindow/MainGeometry.h"

namespace {

const QColor kListText(0x00, 0x80, 0x00);
const QColor kGridLine(0xd8, 0xd8, 0xd8);

// Draws each row as usual and a grid line under it.
class GridDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(kGridLine);
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->restore();
    }
};

QModelIndex RowIndex(const QTreeWidget* list, int row) {
    return list->model()->index(row, 0);
}

}  // namespace

namespace {

QByteArray ProcessTag() {
    return QByteArray::number(QCoreApplication::applicationPid()) + ':';
}

}  // namespace

QMimeData* NewPictureDragData(const QString& listName) {
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kPictureDragMime), ProcessTag() + listName.toUtf8());
    return data;
}

QString PictureDragSource(const QMimeData* data) {
    const QString type = QString::fromLatin1(kPictureDragMime);
    if (data == nullptr || !data->hasFormat(type)) {
        return {};
    }
    const QByteArray value = data->data(type);
    const QByteArray tag = ProcessTag();
    return value.startsWith(tag) ? QString::fromUtf8(value.mid(tag.size())) : QString();
}

bool CaptionLess(const QString& a, const QString& b) {
    const int folded = QString::compare(a, b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
}

TListView::TListView(QWidget* parent, const QString& columnCaption, bool multiSelect)
    : QTreeWidget(parent) {
    setColumnCount(1);
    setHeaderLabels({columnCaption});
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setItemsExpandable(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(multiSelect ? QAbstractItemView::ExtendedSelection
                                 : QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAllColumnsShowFocus(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setItemDelegate(new GridDelegate(this));
    header()->setStretchLastSection(false);
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::Text, kListText);
    // The selection stays visible while another control has the focus.
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DragDrop);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TListView::OnSelectionChanged);
    connect(header(), &QHeaderView::sectionClicked, this, &TListView::ColumnClick);
}

QString TListView::Caption(int index) const {
    const QTreeWidgetItem* item = topLevelItem(index);
    return item != nullptr ? item->text(0) : QString();
}

void TListView::SetCaption(int index, const QString& caption) {
    if (QTreeWidgetItem* item = topLevelItem(index)) {
        item->setText(0, caption);
    }
}

int TListView::SortedPlace(const QString& caption) const {
    int low = 0;
    int high = Count();
    while (low < high) {
        const int mid = (low + high) / 2;
        if (CaptionLess(caption, Caption(mid))) {
            high = mid;
        } else {
            low = mid + 1;
        }
    }
    return low;
}

int TListView::AddItem(const QString& caption) {
    const int index = sorted_ ? SortedPlace(caption) : Count();
    InsertItem(index, caption);
    return index;
}

void TListView::InsertItem(int index, const QString& caption) {
    auto* item = new QTreeWidgetItem(QStringList{caption});
    insertTopLevelItem(std::clamp(index, 0, Count()), item);
}

void TListView::DeleteItem(int index) {
    delete takeTopLevelItem(index);
}

void TListView::ClearItems() {
    clear();
}

bool TListView::IsSelected(int index) const {
    const QTreeWidgetItem* item = topLevelItem(index);
    return item != nullptr && item->isSelected();
}

void TListView::SetSelected(int index, bool selected) {
    if (index < 0 || index >= Count()) {
        return;
    }
    auto flags = selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect;
    if (selected && selectionMode() == QAbstractItemView::SingleSelection) {
        flags = QItemSelectionModel::ClearAndSelect;
    }
    selectionModel()->select(RowIndex(this, index), flags | QItemSelectionModel::Rows);
}

int TListView::SelCount() const {
    int count = 0;
    for (int i = 0; i < Count(); ++i) {
        count += IsSelected(i) ? 1 : 0;
    }
    return count;
}

int TListView::FirstSelected() const {
    for (int i = 0; i < Count(); ++i) {
        if (IsSelected(i)) {
            return i;
        }
    }
    return -1;
}

void TListView::SelectListItem(int index) {
    if (index < 0 || index >= Count()) {
        return;
    }
    SetSelected(index, true);
    selectionModel()->setCurrentIndex(RowIndex(this, index), QItemSelectionModel::NoUpdate);
    scrollTo(RowIndex(this, index), QAbstractItemView::EnsureVisible);
}

void TListView::SelectAllItems() {
    if (selectionMode() != QAbstractItemView::SingleSelection) {
        selectAll();
    }
}

int TListView::ItemAt(const QPoint& viewportPos) const {
    const QModelIndex index = indexAt(viewportPos);
    return index.isValid() ? index.row() : -1;
}

int TListView::VisibleRowCount() const {
    const int rowHeight = Count() > 0 ? std::max(1, sizeHintForRow(0)) : fontMetrics().height();
    return viewport()->height() / std::max(1, rowHeight);
}

void TListView::FitColumn(int margin) {
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    setColumnWidth(0, std::max(0, mainwin::ListColumnWidth(width(), margin, VisibleRowCount(),
                                                           Count(), scrollBar)));
}

void TListView::BeginUpdate() {
    if (updateDepth_++ == 0) {
        setUpdatesEnabled(false);
    }
}

void TListView::EndUpdate() {
    if (updateDepth_ > 0 && --updateDepth_ == 0) {
        setUpdatesEnabled(true);
    }
}

void TListView::OnSelectionChanged(const QItemSelection& selected,
                                   const QItemSelection& deselected) {
    for (const QModelIndex& index : deselected.indexes()) {
        emit SelectItem(index.row(), false);
    }
    for (const QModelIndex& index : selected.indexes()) {
        emit SelectItem(index.row(), true);
    }
    emit Change();
}

void TListView::mousePressEvent(QMouseEvent* event) {
    if (OnMouseDown && OnMouseDown(event)) {
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void TListView::mouseReleaseEvent(QMouseEvent* event) {
    QTreeWidget::mouseReleaseEvent(event);
    if (OnMouseUp) {
        OnMouseUp(event);
    }
    if (OnClick && event->button() == Qt::LeftButton) {
        OnClick();
    }
}

void TListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidget::mouseDoubleClickEvent(event);
    if (OnDblClick && event->button() == Qt::LeftButton) {
        OnDblClick();
    }
}

void TListView::keyPressEvent(QKeyEvent* event) {
    if (OnKeyDown && OnKeyDown(event)) {
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

bool TListView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip && OnInfoTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int index = ItemAt(help->pos());
        const QString tip = index >= 0 ? OnInfoTip(index) : QString();
        if (tip.isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(help->globalPos(), tip, viewport());
        }
        return true;
    }
    return QTreeWidget::viewportEvent(event);
}

// Our own drag: the data names this list, and nothing is removed here whatever the drop
// target reports (the view's own drag would delete the rows after a move).
void TListView::startDrag(Qt::DropActions) {
    if (!autoDrag_ || SelCount() == 0) {
        return;
    }
    auto* drag = new QDrag(this);
    drag->setMimeData(NewPictureDragData(objectName()));
    drag->exec(Qt::MoveAction);
}

bool TListView::MayDrop(const QDropEvent* event) const {
    return !PictureDragSource(event->mimeData()).isEmpty() && OnDragOver && OnDragOver(event);
}

void TListView::dragEnterEvent(QDragEnterEvent* event) {
    if (MayDrop(event)) {
        setState(DraggingState);
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void TListView::dragMoveEvent(QDragMoveEvent* event) {
    // The view scrolls near its edges; what it would drop is decided here.
    QTreeWidget::dragMoveEvent(event);
    if (MayDrop(event)) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void TListView::dropEvent(QDropEvent* event) {
    stopAutoScroll();
    setState(NoState);
    if (!MayDrop(event)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    OnDragDrop(event);
    viewport()->update();
}
