#pragma once
// The item model behind the folder tree view. It owns the items (and so each item's
// TVITEMDATA), gives every item a handle and resolves handles back to items. Children
// buttons, icons and renames are answered through callbacks of the tree, so the model
// itself knows nothing of the namespace rules. UI thread only.

#include "Components/PkgFolder/TreeNode.h"

#include <QAbstractItemModel>
#include <QIcon>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class FolderTreeModel : public QAbstractItemModel {
    Q_OBJECT
  public:
    using ChildProbe = std::function<bool(TreeNode&)>;
    using IconSource = std::function<QIcon(const TreeNode&)>;
    using RenameHandler = std::function<bool(TreeNode&, const QString&)>;
    using NodeLess = std::function<bool(const TreeNode&, const TreeNode&)>;

    explicit FolderTreeModel(QObject* parent = nullptr);
    ~FolderTreeModel() override;

    void SetChildProbe(ChildProbe probe) { childProbe_ = std::move(probe); }
    void SetIconSource(IconSource source) { iconSource_ = std::move(source); }
    void SetRenameHandler(RenameHandler handler) { renameHandler_ = std::move(handler); }
    // Told about every item as it is deleted (its subtree included), before it goes.
    void SetRemovalObserver(std::function<void(const TreeNode&)> observer) {
        removalObserver_ = std::move(observer);
    }
    void SetEditable(bool editable) { editable_ = editable; }
    void SetDragEnabled(bool enabled) { dragEnabled_ = enabled; }
    void SetToolTips(bool toolTips) { toolTips_ = toolTips; }

    TreeNode* Root() { return &root_; }
    // The item of a handle; null for 0 and for deleted items. TVI_ROOT gives the root.
    TreeNode* Node(HTREEITEM handle) const;
    TreeNode* NodeOf(const QModelIndex& index) const;
    QModelIndex IndexOf(const TreeNode* node) const;
    int Count() const { return liveItems_; }

    // Adopts new items (giving them handles) as children of `parent` from `position` on.
    void Insert(TreeNode* parent, std::vector<std::unique_ptr<TreeNode>> nodes, int position);
    TreeNode* InsertOne(TreeNode* parent, std::unique_ptr<TreeNode> node, int position);
    // Deletes an item with its subtree.
    void Remove(TreeNode* node);
    // Deletes `count` children of `parent` from row `first` on, with their subtrees.
    void RemoveRange(TreeNode* parent, int first, int count);
    void RemoveChildren(TreeNode* parent);
    // Deletes every item without the selection signals of single removals.
    void Clear();
    void SortChildren(TreeNode* parent, const NodeLess& less);
    void NotifyChanged(TreeNode* node);
    // The children of `parent` may show other data (buttons, icons): one signal for all.
    void NotifyChildrenChanged(TreeNode* parent);
    // Rows first..last of `parent` may show other data.
    void NotifyRowsChanged(TreeNode* parent, int first, int last);
    // Works out whether an item has a child button when nothing has told it yet (the probe
    // may read the folder: never called while drawing).
    bool ResolveChildState(TreeNode* node);

    QModelIndex index(int row, int column, const QModelIndex& parent) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent) const override;
    int columnCount(const QModelIndex& parent) const override;
    bool hasChildren(const QModelIndex& parent) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override { return Qt::IgnoreAction; }

  private:
    // Handles resolve through a table of slots: a handle names a slot and how many items
    // that slot had held before, so the handle of a deleted item never names the item that
    // takes its slot next. No allocation per item, no hashing per lookup.
    struct Slot {
        TreeNode* node = nullptr;
        std::uint32_t uses = 0;
    };
    void Register(TreeNode* node);
    void Unregister(TreeNode* node);

    TreeNode root_;
    std::vector<Slot> slots_;
    std::vector<std::uint32_t> freeSlots_;
    int liveItems_ = 0;
    ChildProbe childProbe_;
    IconSource iconSource_;
    RenameHandler renameHandler_;
    std::function<void(const TreeNode&)> removalObserver_;
    bool editable_ = false;
    bool dragEnabled_ = false;
    bool toolTips_ = true;
};
