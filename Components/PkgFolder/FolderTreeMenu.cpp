// The tree's context menu (ExplorerMenu): its own "Expand" or "Collapse" entry, then the
// shell's verbs for the item; and the default verb run by a double-click on a file.

#include <QAction>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>

#include "Components/PkgFolder/FolderTree.h"
#include "Components/PkgFolder/ShellContextMenu.h"

namespace {

constexpr unsigned kTreeCommandId = 19999;
constexpr unsigned kFirstShellCommandId = 20000;
constexpr unsigned kLastShellCommandId = 29999;

}  // namespace

QString TFolderTree::ItemPath(HTREEITEM item) const {
    const TVITEMDATA* data = GetItemData(item);
    if (!IsValidItemData(data)) {
        return QString();
    }
    return QString::fromStdString(PidlToPath(*space_, data->absolute.Get()));
}

bool TFolderTree::IsFileItem(HTREEITEM item) const {
    const TVITEMDATA* data = GetItemData(item);
    if (!IsValidItemData(data) || data->isFolder || GetFirstChild(item)) {
        return false;
    }
    const QFileInfo info(ItemPath(item));
    return info.exists() && !info.isDir();
}

HTREEITEM TFolderTree::ContextMenuItem(const QContextMenuEvent& event, QPoint& at) {
    if (event.reason() != QContextMenuEvent::Keyboard) {
        at = event.pos();
        return GetNodeAt(at.x(), at.y());
    }
    // From the keyboard: the selected item, at the bottom-left corner of its text.
    const HTREEITEM item = GetSelected();
    const QModelIndex index = model_->IndexOf(model_->Node(item));
    if (!index.isValid()) {
        return 0;
    }
    scrollTo(index);
    const QRect text = ItemTextRect(index);
    at = QPoint(text.left(), text.bottom());
    return item;
}

void TFolderTree::BuildContextMenu(HTREEITEM item, QMenu& menu) {
    hitItem_ = item;
    QAction* treeEntry = nullptr;
    const bool isFile = IsFileItem(item);
    if (!isFile) {
        treeEntry = menu.addAction(IsItemExpanded(item) ? QStringLiteral("Collapse")
                                                        : QStringLiteral("Expand"));
        treeEntry->setData(kTreeCommandId);
        treeEntry->setEnabled(HasChildButton(item));
        menu.addSeparator();
    }
    shellMenu_ = std::make_unique<CShellContextMenu>();
    if (shellMenu_->SetMenu(ItemPath(item), !isFile)) {
        shellMenu_->QueryContextMenu(menu, kFirstShellCommandId, kLastShellCommandId);
    }
    if (treeEntry) {
        menu.setDefaultAction(treeEntry);
    }
}

void TFolderTree::contextMenuEvent(QContextMenuEvent* event) {
    if (!explorerMenu_) {
        event->ignore();
        return;
    }
    event->accept();
    QPoint at;
    const HTREEITEM item = ContextMenuItem(*event, at);
    if (!item || !IsValidItemData(GetItemData(item))) {
        return;
    }
    QMenu menu(this);
    BuildContextMenu(item, menu);
    connect(&menu, &QMenu::hovered, this,
            [this](QAction* action) { setStatusTip(action->statusTip()); });
    // The menu runs its own event loop: the item is held by its handle, which names no
    // item any more if the tree changes meanwhile, and is looked up again before use.
    if (QAction* chosen = menu.exec(viewport()->mapToGlobal(at))) {
        OnShellCommand(chosen->data().toUInt());
    }
}

bool TFolderTree::IsContextMenuKey(const QKeyEvent& event) {
    // The menu key, and Shift+F10 as the desktop's keyboard guidelines give it. Platforms
    // that turn the menu key into a context-menu event deliver that first, and the key
    // press then goes to the open menu, so one press opens one menu.
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    return (event.key() == Qt::Key_Menu && modifiers == Qt::NoModifier) ||
           (event.key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier);
}

void TFolderTree::OnShellCommand(unsigned id) {
    if (id == kTreeCommandId) {
        ToggleFromMenu(hitItem_);
        return;
    }
    if (id < kFirstShellCommandId || id > kLastShellCommandId || !shellMenu_) {
        return;
    }
    if (!shellMenu_->InvokeCommand(id) && !shellMenu_->Path().isEmpty()) {
        platform::CurrentShellLauncher().OpenFallback(shellMenu_->Path());
    }
}

void TFolderTree::ToggleFromMenu(HTREEITEM item) {
    TreeNode* node = model_->Node(item);
    if (!node) {
        return;
    }
    const QModelIndex index = model_->IndexOf(node);
    if (!isExpanded(index)) {
        expand(index);
        return;
    }
    // A collapse that hides the current item makes the collapsed item current, and the
    // usual delayed change follows; otherwise nothing is selected and nothing reported.
    for (HTREEITEM up = GetParentItem(GetSelected()); up; up = GetParentItem(up)) {
        if (up == item) {
            SetSelected(item);
            break;
        }
    }
    collapse(index);
}

void TFolderTree::OnDefaultHandler(HTREEITEM item) {
    CShellContextMenu local;
    QMenu menu;
    if (!local.SetMenu(ItemPath(item), false) ||
        !local.QueryContextMenu(menu, kFirstShellCommandId, kLastShellCommandId)) {
        return;
    }
    const unsigned id = menu.defaultAction()->data().toUInt();
    if (!local.InvokeCommand(id)) {
        platform::CurrentShellLauncher().OpenFallback(local.Path());
    }
}
