#pragma once
// Reading a folder's children into new tree items: enumeration, the tree's filters and the
// sibling order. Pure work on namespace data, so it runs on the population worker as well
// as on the UI thread (for lookups that must expand on the spot).

#include "Components/PkgFolder/TreeNode.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct PopulationOptions {
    unsigned itemFlags = 0;  // ItemFlag::Files / ItemFlag::Hidden: what to read
    bool sysFolders = true;
    bool showFiles = true;
    std::string filterExt;
};

struct PopulationOutcome {
    bool opened = false;                              // false when the folder gave no enumerator
    std::vector<std::unique_ptr<TreeNode>> children;  // sorted, handles not yet assigned
};

unsigned EnumFlagsFor(unsigned itemFlags);

// Reads `folder`; stops early (with what it has) when `abort` becomes true. `counted` is
// told how many items have been read so far, after each one, for a progress display.
PopulationOutcome ReadChildren(const SShellFolderPtr& folder, const PopulationOptions& options,
                               const std::atomic<bool>* abort = nullptr,
                               const std::function<void(int)>& counted = {});

// The sibling order: virtual items in their fixed order, folders first, natural names.
int CompareItemData(const TVITEMDATA& a, const TVITEMDATA& b);
void SortNodes(std::vector<std::unique_ptr<TreeNode>>& nodes);

// A new item for `relative` inside `folder`, with the label the tree shows for it.
std::unique_ptr<TreeNode> MakeItemNode(const SShellFolderPtr& folder,
                                       const platform::ShellEntry& entry, unsigned flags);
