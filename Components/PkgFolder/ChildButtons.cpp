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

ChildButtonProbe::Button ChildButtonProbe::ButtonOf(const ShellLocation& location,
                                                    unsigned itemFlags, const Button& known) {
    using Kind = ShellLocation::Kind;
    const auto button = [](bool yes) { return Button{yes ? State::Yes : State::No, 0, {}}; };
    switch (location.kind) {
        case Kind::Invalid:
            return button(false);
        case Kind::Desktop:
            return button(true);
        case Kind::Computer:
            return button(!drives_.empty());
        default:
            break;
    }
    const platform::Volume* drive = DriveOf(location.path);
    if (drive && drive->type == DriveType::Remote)
        return button(true);  // read when expanded, never to draw a button
    const bool hidden = itemFlags & ItemFlag::Hidden;
    if (itemFlags & ItemFlag::Files) {
        // Roots always have a button; a plain folder needs an entry the tree would show.
        if (location.kind != Kind::FileSystem)
            return button(true);
        const bool filtered = showFiles_ && !filterExt_.empty();
        return button(subfolders_.HasEntry(location.path, hidden, [&](std::string_view name) {
            return !filtered || ExtensionMatchesFilter(filterExt_, name);
        }));
    }
    // A removable medium may be changed at any time: its drive is not read.
    if (location.kind == Kind::Drive && drive && drive->mountPoint == location.path &&
        (drive->type == DriveType::Removable || drive->type == DriveType::CdRom))
        return button(true);
    const std::uint8_t asked = itemFlags & ItemFlag::Hidden;
    platform::SubfolderAnswer before;
    if (known.state != State::Unknown && known.flags == asked)
        before = {known.state == State::Yes, known.stamp};
    const platform::SubfolderAnswer answer =
        subfolders_.Subdirectory(location.path, hidden, before);
    return {answer.found ? State::Yes : State::No, asked, answer.holdsWhile};
}

ChildButtonProbe::Button ChildButtonProbe::ButtonOfChild(const platform::ShellFolder& folder,
                                                         const std::string& name,
                                                         unsigned itemFlags, const Button& known) {
    return ButtonOf(space_.ChildLocation(folder.Location(), name), itemFlags, known);
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
        const Button button = ButtonOfChild(folder, data->relative.Get().LastItem(), data->flags);
        node.SetWorkedOut(button);
        node.childState = button.state;
    }
}
