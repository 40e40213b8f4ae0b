#include "Components/PkgFolder/ChildButtons.h"

#include "Components/PkgFolder/ExtFilter.h"
#include "platform/shell/ShellFolder.h"
#include "platform/shell/ShellNamespace.h"

using platform::DriveType;
using platform::ShellLocation;
using State = TreeNode::ChildState;

ChildButtonProbe::ChildButtonProbe(const platform::ShellNamespace& space, std::string filterExt,
                                   bool showFiles)
    : space_(space),
      filterExt_(std::move(filterExt)),
      showFiles_(showFiles),
      drives_(space.Volumes().Drives()),
      subfolders_(space, space.Access().useLinkCounts) {}

const platform::Volume* ChildButtonProbe::DriveOf(const std::string& path) const {
    // The drive with the longest mount point holding the path: a share mounted inside a
    // local folder is the share's.
    const platform::Volume* best = nullptr;
    for (const platform::Volume& drive : drives_) {
        if (platform::PathIsWithin(path, drive.mountPoint) &&
            (!best || drive.mountPoint.size() > best->mountPoint.size()))
            best = &drive;
    }
    return best;
}

TreeNode::ChildState ChildButtonProbe::StateOf(const ShellLocation& location, unsigned itemFlags) {
    using Kind = ShellLocation::Kind;
    switch (location.kind) {
        case Kind::Invalid:
            return State::No;
        case Kind::Desktop:
            return State::Yes;
        case Kind::Computer:
            return drives_.empty() ? State::No : State::Yes;
        default:
            break;
    }
    const platform::Volume* drive = DriveOf(location.path);
    if (drive && drive->type == DriveType::Remote)
        return State::Yes;  // read when expanded, never to draw a button
    const bool hidden = itemFlags & ItemFlag::Hidden;
    if (itemFlags & ItemFlag::Files) {
        // Roots always have a button; a plain folder needs an entry the tree would show.
        if (location.kind != Kind::FileSystem)
            return State::Yes;
        const bool filtered = showFiles_ && !filterExt_.empty();
        const bool any = subfolders_.HasEntry(location.path, hidden, [&](std::string_view name) {
            return !filtered || ExtensionMatchesFilter(filterExt_, name);
        });
        return any ? State::Yes : State::No;
    }
    // A removable medium may be changed at any time: its drive is not read.
    if (location.kind == Kind::Drive && drive && drive->mountPoint == location.path &&
        (drive->type == DriveType::Removable || drive->type == DriveType::CdRom))
        return State::Yes;
    return subfolders_.HasSubdirectory(location.path, hidden) ? State::Yes : State::No;
}

TreeNode::ChildState ChildButtonProbe::StateOfChild(const platform::ShellFolder& folder,
                                                    const std::string& name, unsigned itemFlags) {
    return StateOf(space_.ChildLocation(folder.Location(), name), itemFlags);
}

void ChildButtonProbe::Settle(const platform::ShellFolder& folder,
                              std::vector<std::unique_ptr<TreeNode>>& nodes, std::size_t first,
                              std::size_t last, const std::function<bool()>& stop) {
    for (std::size_t i = first; i < last && i < nodes.size(); ++i) {
        if (stop && stop())
            return;
        TreeNode& node = *nodes[i];
        const TVITEMDATA* data = node.data.get();
        if (!IsValidItemData(data) || node.childState != State::Unknown)
            continue;
        if (!data->isFolder) {
            node.childState = State::No;
            continue;
        }
        node.childState = StateOfChild(folder, data->relative.Get().LastItem(), data->flags);
    }
}
