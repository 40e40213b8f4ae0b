#include "Components/PkgFolder/FolderTreeModel.h"

#include <QApplication>
#include <QPalette>

#include <algorithm>

FolderTreeModel::FolderTreeModel(QObject* parent) : QAbstractItemModel(parent) {
    root_.handle = TVI_ROOT;
    root_.expandedOnce = true;
}

FolderTreeModel::~FolderTreeModel() = default;

namespace {

// A handle is the slot's number past TVI_ROOT in the low half and the slot's use count in
// the high half; counts start at 1, so no handle is 0 or TVI_ROOT.
HTREEITEM HandleOf(std::uint32_t slot, std::uint32_t uses) {
    return (static_cast<HTREEITEM>(uses) << 32) | (static_cast<HTREEITEM>(slot) + TVI_ROOT + 1);
}

std::uint32_t SlotOf(HTREEITEM handle) {
    return static_cast<std::uint32_t>(handle) - (TVI_ROOT + 1);
}

// A name is drawn on one line: a line feed or another control character in it (Linux
// allows every byte but '/' and NUL) shows as its Unicode control picture, and the line and
// paragraph separators as the newline symbol. The name itself stays as it is.
QString OneLine(const QString& text) {
    const auto breaks = [](QChar c) {
        return c.unicode() < 0x20 || c.unicode() == 0x7F || c.unicode() == 0x85 ||
               c.unicode() == 0x2028 || c.unicode() == 0x2029;
    };
    if (std::none_of(text.begin(), text.end(), breaks))
        return text;
    QString line = text;
    for (QChar& c : line) {
        if (c.unicode() < 0x20)
            c = QChar(0x2400 + c.unicode());
        else if (c.unicode() == 0x7F)
            c = QChar(0x2421);
        else if (breaks(c))
            c = QChar(0x2424);
    }
    return line;
}

}  // namespace

TreeNode* FolderTreeModel::Node(HTREEITEM handle) const {
    if (handle == TVI_ROOT)
        return const_cast<TreeNode*>(&root_);
    const std::uint32_t slot = SlotOf(handle);
    if (slot >= slots_.size() || HandleOf(slot, slots_[slot].uses) != handle)
        return nullptr;
    return slots_[slot].node;
}

TreeNode* FolderTreeModel::NodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<TreeNode*>(index.internalPointer()) : nullptr;
}

QModelIndex FolderTreeModel::IndexOf(const TreeNode* node) const {
    if (!node || node == &root_)
        return {};
    return createIndex(node->Row(), 0, const_cast<TreeNode*>(node));
}

void FolderTreeModel::Register(TreeNode* node) {
    std::uint32_t slot = 0;
    if (freeSlots_.empty()) {
        slot = static_cast<std::uint32_t>(slots_.size());
        slots_.emplace_back();
    } else {
        slot = freeSlots_.back();
        freeSlots_.pop_back();
    }
    Slot& entry = slots_[slot];
    entry.node = node;
    ++entry.uses;
    node->handle = HandleOf(slot, entry.uses);
    ++liveItems_;
    for (auto& child : node->children) {
        child->parent = node;
        Register(child.get());
    }
}

void FolderTreeModel::Unregister(TreeNode* node) {
    if (removalObserver_)
        removalObserver_(*node);
    const std::uint32_t slot = SlotOf(node->handle);
    slots_[slot].node = nullptr;
    // A slot whose count would start again is retired, so its handles stay unique.
    if (slots_[slot].uses != UINT32_MAX)
        freeSlots_.push_back(slot);
    --liveItems_;
    for (auto& child : node->children)
        Unregister(child.get());
}

void FolderTreeModel::Insert(TreeNode* parent, std::vector<std::unique_ptr<TreeNode>> nodes,
                             int position) {
    if (!parent || nodes.empty())
        return;
    position = std::clamp(position, 0, static_cast<int>(parent->children.size()));
    beginInsertRows(IndexOf(parent), position, position + static_cast<int>(nodes.size()) - 1);
    for (auto& node : nodes) {
        node->parent = parent;
        Register(node.get());
    }
    parent->children.insert(parent->children.begin() + position,
                            std::make_move_iterator(nodes.begin()),
                            std::make_move_iterator(nodes.end()));
    parent->ChildrenChangedFrom(position);
    endInsertRows();
}

TreeNode* FolderTreeModel::InsertOne(TreeNode* parent, std::unique_ptr<TreeNode> node,
                                     int position) {
    TreeNode* raw = node.get();
    std::vector<std::unique_ptr<TreeNode>> one;
    one.push_back(std::move(node));
    Insert(parent, std::move(one), position);
    return raw;
}

void FolderTreeModel::Remove(TreeNode* node) {
    if (!node || node == &root_ || !node->parent)
        return;
    RemoveRange(node->parent, node->Row(), 1);
}

void FolderTreeModel::RemoveRange(TreeNode* parent, int first, int count) {
    if (!parent || first < 0 || count <= 0 ||
        first + count > static_cast<int>(parent->children.size()))
        return;
    beginRemoveRows(IndexOf(parent), first, first + count - 1);
    const auto begin = parent->children.begin() + first;
    for (auto it = begin; it != begin + count; ++it)
        Unregister(it->get());
    parent->children.erase(begin, begin + count);
    parent->ChildrenChangedFrom(first);
    endRemoveRows();
}

void FolderTreeModel::RemoveChildren(TreeNode* parent) {
    if (!parent || parent->children.empty())
        return;
    RemoveRange(parent, 0, static_cast<int>(parent->children.size()));
    parent->placeholder = 0;
}

void FolderTreeModel::Clear() {
    beginResetModel();
    for (auto& child : root_.children)
        Unregister(child.get());
    root_.children.clear();
    root_.ChildrenChangedFrom(0);
    endResetModel();
}

void FolderTreeModel::SortChildren(TreeNode* parent, const NodeLess& less) {
    if (!parent || parent->children.size() < 2)
        return;
    const QModelIndex parentIndex = IndexOf(parent);
    emit layoutAboutToBeChanged({QPersistentModelIndex(parentIndex)});
    const QModelIndexList before = persistentIndexList();
    std::vector<TreeNode*> owners;
    for (const QModelIndex& index : before)
        owners.push_back(NodeOf(index));
    std::stable_sort(parent->children.begin(), parent->children.end(),
                     [&](const auto& a, const auto& b) { return less(*a, *b); });
    parent->ChildrenChangedFrom(0);
    QModelIndexList after;
    for (TreeNode* node : owners)
        after.push_back(IndexOf(node));
    changePersistentIndexList(before, after);
    emit layoutChanged({QPersistentModelIndex(parentIndex)});
}

void FolderTreeModel::NotifyChanged(TreeNode* node) {
    const QModelIndex index = IndexOf(node);
    if (index.isValid())
        emit dataChanged(index, index);
}

void FolderTreeModel::NotifyChildrenChanged(TreeNode* parent) {
    if (!parent || parent->children.empty())
        return;
    const QModelIndex first = IndexOf(parent->children.front().get());
    const QModelIndex last = IndexOf(parent->children.back().get());
    emit dataChanged(first, last);
}

void FolderTreeModel::NotifyRowsChanged(TreeNode* parent, int first, int last) {
    if (!parent || first < 0 || last < first || last >= static_cast<int>(parent->children.size()))
        return;
    emit dataChanged(IndexOf(parent->children[first].get()), IndexOf(parent->children[last].get()));
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
    const TreeNode* owner = parent.isValid() ? NodeOf(parent) : &root_;
    if (column != 0 || row < 0 || row >= static_cast<int>(owner->children.size()))
        return {};
    return createIndex(row, 0, owner->children[row].get());
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const {
    const TreeNode* node = NodeOf(child);
    if (!node || !node->parent || node->parent == &root_)
        return {};
    return IndexOf(node->parent);
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0)
        return 0;
    const TreeNode* owner = parent.isValid() ? NodeOf(parent) : &root_;
    return static_cast<int>(owner->children.size());
}

int FolderTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool FolderTreeModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid())
        return !root_.children.empty();
    const TreeNode* node = NodeOf(parent);
    if (!node->children.empty())
        return true;
    if (node->childState == TreeNode::ChildState::Unknown)
        return node->data && node->data->isFolder;  // until a read or a pass tells
    return node->childState == TreeNode::ChildState::Yes;
}

bool FolderTreeModel::ResolveChildState(TreeNode* node) {
    if (!node || node == &root_)
        return false;
    if (node->childState == TreeNode::ChildState::Unknown) {
        const bool before = hasChildren(IndexOf(node));
        const bool has = childProbe_ ? childProbe_(*node) : false;
        node->childState = has ? TreeNode::ChildState::Yes : TreeNode::ChildState::No;
        if (has != before)
            NotifyChanged(node);
    }
    return !node->children.empty() || node->childState == TreeNode::ChildState::Yes;
}

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const {
    const TreeNode* node = NodeOf(index);
    if (!node)
        return {};
    switch (role) {
        case Qt::DisplayRole:
            return OneLine(node->text);
        case Qt::EditRole:
            return node->text;
        case Qt::ToolTipRole:
            return toolTips_ ? QVariant(OneLine(node->text)) : QVariant();
        case Qt::DecorationRole:
            return iconSource_ ? QVariant(iconSource_(*node)) : QVariant();
        case Qt::ForegroundRole:
            // Hidden items are drawn faded.
            if (node->data && node->data->isHidden)
                return QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
            return {};
        default:
            return {};
    }
}

bool FolderTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    TreeNode* node = NodeOf(index);
    if (!node || role != Qt::EditRole || !renameHandler_)
        return false;
    const bool taken = renameHandler_(*node, value.toString());
    if (taken)
        NotifyChanged(node);
    return taken;
}

Qt::ItemFlags FolderTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (editable_ && NodeOf(index)->data)
        result |= Qt::ItemIsEditable;
    if (dragEnabled_ && NodeOf(index)->data)
        result |= Qt::ItemIsDragEnabled;
    return result;
}
