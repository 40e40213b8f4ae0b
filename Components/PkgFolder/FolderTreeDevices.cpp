// TFolderTree: drives that come and go. On Linux a medium has no drive item until it is
// mounted, so an arriving medium inserts its item under the computer node and a removed
// one loses it; network drives are added and removed at once, media after the drive
// timer, which folds the burst of mount changes a medium brings (and keeps the last event
// of each drive).

#include "Components/PkgFolder/FolderTree.h"

#include "Components/PkgFolder/FolderTreeLog.h"

#include <QSocketNotifier>

using platform::DriveType;
using platform::ItemIdList;

void TFolderTree::StartMountMonitor() {
    // Only a tree over the machine's own drives follows the machine's mount table.
    if (&space_->Volumes() != &platform::VolumeTable::System())
        return;
    mountMonitor_ = std::make_unique<platform::MountMonitor>();
    if (mountMonitor_->Fd() < 0) {
        mountMonitor_.reset();
        return;
    }
    knownDrives_ = space_->Volumes().Drives();
    auto* notifier = new QSocketNotifier(mountMonitor_->Fd(), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &TFolderTree::OnMountTableChanged);
}

void TFolderTree::OnMountTableChanged() {
    if (!mountMonitor_)
        return;
    const platform::MountChanges changes = mountMonitor_->TakeChanges();
    if (changes.Empty())
        return;
    const std::vector<platform::Volume> drives = space_->Volumes().Drives();
    const auto find = [](const std::vector<platform::Volume>& list, const std::string& point) {
        const auto found = std::find_if(list.begin(), list.end(), [&](const platform::Volume& v) {
            return v.mountPoint == point;
        });
        return found == list.end() ? nullptr : &*found;
    };
    for (const platform::MountRecord& gone : changes.removed) {
        if (const platform::Volume* drive = find(knownDrives_, gone.mountPoint))
            OnDeviceChange(DeviceEvent::RemoveComplete, *drive);
    }
    for (const platform::MountRecord& came : changes.added) {
        if (const platform::Volume* drive = find(drives, came.mountPoint))
            OnDeviceChange(DeviceEvent::Arrival, *drive);
    }
    knownDrives_ = drives;
}

void TFolderTree::OnDeviceChange(DeviceEvent event, const platform::Volume& drive) {
    const std::string& root = drive.mountPoint;
    if (root.empty())
        return;
    if (event == DeviceEvent::RemoveComplete) {
        // Mounts stack: while another file system is mounted on the folder the drive stays,
        // showing what is there now.
        if (const std::optional<platform::Volume> current = MountedDrive(root)) {
            OnDeviceChange(DeviceEvent::Arrival, *current);
            return;
        }
    }
    if (drive.type != DriveType::Remote) {
        pendingDrives_[root] = event;  // the last event of each drive counts
        if (!driveTimer_.isActive())
            driveTimer_.start(kDriveDelayMs);  // counted from the first event, not restarted
        return;
    }
    if (event == DeviceEvent::Arrival) {
        const HTREEITEM computer = FindComputerItem();
        if (computer && IsExpandedOnce(computer))
            PopulateNewItem(computer);
        FollowDriveAnew(root, DriveType::Remote);
        return;
    }
    watcher_->RemoveWatch(root);
    if (const HTREEITEM computer = FindComputerItem()) {
        if (const HTREEITEM item = FindDriveItem(computer, root))
            RemoveDriveItem(item);
    }
}

void TFolderTree::OnDriveRefresh() {
    driveTimer_.stop();
    std::map<std::string, DeviceEvent> pending;
    pending.swap(pendingDrives_);
    for (const auto& [root, event] : pending) {
        const HTREEITEM computer = FindComputerItem();
        if (!computer)
            return;
        if (event == DeviceEvent::Arrival)
            DriveArrived(computer, root);
        else
            DriveRemoved(computer, root);
    }
}

std::optional<platform::Volume> TFolderTree::MountedDrive(const std::string& root) const {
    for (platform::Volume& drive : space_->Volumes().Drives()) {
        if (drive.mountPoint == root)
            return std::move(drive);
    }
    return std::nullopt;
}

void TFolderTree::FollowDriveAnew(const std::string& root, DriveType type) {
    // A watch holds on to the file system that was mounted when it was made: a drive that
    // arrives again (one mounted on top of another, or the top one gone) is watched anew,
    // and what the tree shows of it is read in the next pass.
    watcher_->RemoveWatch(root);
    if (type == DriveType::Fixed || type == DriveType::RamDisk || type == DriveType::Remote)
        watcher_->AddWatch(root, type == DriveType::Remote);
    ScheduleWatchUpdate();  // the roots take their share of the budget
    OnFolderChange(root);
}

HTREEITEM TFolderTree::FindComputerItem() {
    // A tree around a root folder shows no drives.
    if (singleRoot_ || GetCount() == 0)
        return 0;
    return SFFindTreeItem(ItemIdList({platform::ShellNamespace::kComputerKey}));
}

HTREEITEM TFolderTree::FindDriveItem(HTREEITEM computer, const std::string& root) const {
    // Every child is looked at, by its exact path.
    for (HTREEITEM child = GetFirstChild(computer); child; child = GetNextSibling(child)) {
        const TVITEMDATA* data = GetItemData(child);
        if (IsValidItemData(data) && PidlToPath(*space_, data->absolute.Get()) == root)
            return child;
    }
    return 0;
}

void TFolderTree::RemoveDriveItem(HTREEITEM item) {
    TreeNode* node = model_->Node(item);
    if (!node)
        return;
    for (const TreeNode* walk = model_->Node(GetSelected()); walk; walk = walk->parent) {
        if (walk == node) {
            SetSelected(node->parent->handle);
            break;
        }
    }
    if (TreeNode* again = model_->Node(item))
        model_->Remove(again);
}

void TFolderTree::DriveArrived(HTREEITEM computer, const std::string& root) {
    if (!IsExpandedOnce(computer))
        ExpandItemNow(computer);  // reads every drive, the new one with them
    HTREEITEM item = FindDriveItem(computer, root);
    if (!item) {
        PopulateNewItem(computer);
        item = FindDriveItem(computer, root);
    }
    TreeNode* node = model_->Node(item);
    if (!node)
        return;
    if (!IsValidItemData(node->data.get())) {
        FolderTreeAssert("TFolderTree::OnDriveRefresh", __LINE__);
        return;
    }
    TVITEMDATA& data = *node->data;
    // A new medium may give a new identifier; one that cannot be parsed keeps the old.
    const ItemIdList fresh = PidlFromPath(*space_, root);
    if (fresh.Count() == 2 && fresh.Item(0) == platform::ShellNamespace::kComputerKey) {
        data.absolute = CShellPidl(fresh);
        data.relative = CShellPidl(PidlLast(fresh));
    }
    node->text = QString::fromStdString(
        data.folder->GetDisplayNameOf(data.relative.Get(), platform::NameKind::InFolder));
    node->iconKind = -1;
    if (node->children.empty())
        node->childState = TreeNode::ChildState::Unknown;
    model_->NotifyChanged(node);
    FollowDriveAnew(root, space_->Volumes().TypeOfPath(root));
}

void TFolderTree::DriveRemoved(HTREEITEM computer, const std::string& root) {
    watcher_->RemoveWatch(root);
    const HTREEITEM item = FindDriveItem(computer, root);
    TreeNode* node = model_->Node(item);
    if (!node)
        return;
    // Collapsed and emptied first (the selection moving up out of it), then deleted: the
    // folder that stays behind is no drive any more.
    for (const TreeNode* walk = model_->Node(GetSelected()); walk; walk = walk->parent) {
        if (walk == node) {
            SetSelected(computer);
            break;
        }
    }
    if ((node = model_->Node(item))) {
        quietExpansion_ = true;
        collapse(model_->IndexOf(node));
        quietExpansion_ = false;
        DeleteChildren(item);
        node->expandedOnce = false;
    }
    RemoveDriveItem(item);
}
