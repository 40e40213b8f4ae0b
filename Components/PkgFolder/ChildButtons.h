#pragma once
// Whether a folder item shows an expand button. It is worked out where a folder is read
// (on the population worker) or compared with the disk (in the refresh pass), never while a
// row is drawn: finding out may read the folder, and a network share may take seconds to
// list one, or never answer. So a folder on a network drive gets its button without being
// read (as a removable drive does), and elsewhere the link count answers where the file
// system keeps it (platform::SubfolderProbe), a read of the folder where it does not.
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

    // The button of a folder item that leads to `location` and enumerates what `itemFlags`
    // say (ItemFlag::Files, ItemFlag::Hidden).
    TreeNode::ChildState StateOf(const platform::ShellLocation& location, unsigned itemFlags);
    // The button of the folder item `name` of `folder`.
    TreeNode::ChildState StateOfChild(const platform::ShellFolder& folder, const std::string& name,
                                      unsigned itemFlags);
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
