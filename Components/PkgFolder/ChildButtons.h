#pragma once
// Whether a folder item shows an expand button. It is worked out where a folder is read
// (on the population worker) or compared with the disk (in the refresh pass), never while a
// row is drawn: finding out may read the folder, and a network share may take seconds to
// list one, or never answer. So a folder on a network drive gets its button without being
// read (as a removable drive does), and elsewhere platform::SubfolderProbe answers: by the
// link count where it proves a subfolder, else by a read. A button worked out for folders
// alone comes with the folder's stamp, and given back as `known` it is taken as it is
// while the folder keeps that stamp. One worked out with files shown is not kept: it
// depends on the file filter, which the tree may change without being read again.
// Plain work on namespace data: one probe serves one thread for one pass.

#include "Components/PkgFolder/TreeNode.h"
#include "platform/shell/SubfolderProbe.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class ChildButtonProbe {
  public:
    // `filterExt` and `showFiles` are the tree's file filter and whether it shows files.
    ChildButtonProbe(const platform::ShellNamespace& space, std::string filterExt, bool showFiles);

    using Button = TreeNode::WorkedOutButton;

    // The button of a folder item that leads to `location` and enumerates what `itemFlags`
    // say (ItemFlag::Files, ItemFlag::Hidden); `known`, the item's button worked out
    // before, spares the read while it holds.
    Button ButtonOf(const platform::ShellLocation& location, unsigned itemFlags,
                    const Button& known = {});
    TreeNode::ChildState StateOf(const platform::ShellLocation& location, unsigned itemFlags) {
        return ButtonOf(location, itemFlags).state;
    }
    // The button of the folder item `name` of `folder`.
    Button ButtonOfChild(const platform::ShellFolder& folder, const std::string& name,
                         unsigned itemFlags, const Button& known = {});
    // Works out the buttons of the folders among nodes[first, last), items of `folder` whose
    // button is not known yet; stops early when `stop` says so.
    void Settle(const platform::ShellFolder& folder, std::vector<std::unique_ptr<TreeNode>>& nodes,
                std::size_t first, std::size_t last, const std::function<bool()>& stop = {});

  private:
    const platform::Volume* DriveOf(const std::string& path) const;

    const platform::ShellNamespace& space_;
    std::string filterExt_;
    bool showFiles_;
    std::vector<platform::Volume> drives_;  // read once per probe
    platform::SubfolderProbe subfolders_;
};
