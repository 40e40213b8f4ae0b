#pragma once
// Reading a folder's children into new tree items: enumeration, the tree's filters and the
// sibling order. Pure work on namespace data, so it runs on the population worker as well
// as on the UI thread (for lookups that must expand on the spot).

#include "Components/PkgFolder/TreeNode.h"

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

// Folder items of a folder just read whose buttons are still to be worked out: a folder of
// thousands of items is handed over first, and the buttons of the items past the first
// screens follow in steps (SettleButtons), so that showing it waits for no more than that.
struct ButtonWork {
    struct Item {
        std::size_t index = 0;  // the item's place among the folder's children as read
        std::string name;
    };
    SShellFolderPtr folder;
    PopulationOptions options;
    std::vector<Item> items;  // in the order of the children
    std::size_t next = 0;     // the first item not worked out yet
};

// A button worked out by a step of ButtonWork.
struct SettledButton {
    std::size_t index = 0;
    std::string name;
    TreeNode::WorkedOutButton button;
};

struct PopulationOutcome {
    bool opened = false;                              // false when the folder gave no enumerator
    std::vector<std::unique_ptr<TreeNode>> children;  // sorted, handles not yet assigned
    std::shared_ptr<ButtonWork> pendingButtons;       // null when every button is known
};

unsigned EnumFlagsFor(unsigned itemFlags);

// How many buttons ReadChildren works out before it returns (a few screens' worth), and how
// many each later step does.
inline constexpr std::size_t kButtonsWithChildren = 256;
inline constexpr std::size_t kButtonsPerStep = 2048;

// Reads `folder`; stops early (with what it has) when `stop` says so. `counted` is told
// how many items have been read so far, after each one, for a progress display. The
// buttons of the first `settleNow` items are worked out, those of the others are left in
// `pendingButtons` (all of them on the UI thread, where working one out may read a folder
// of thousands of files).
PopulationOutcome ReadChildren(const SShellFolderPtr& folder, const PopulationOptions& options,
                               const std::function<bool()>& stop = {},
                               const std::function<void(int)>& counted = {},
                               std::size_t settleNow = kButtonsWithChildren);
// Works out the buttons of up to `count` further items of `work`.
std::vector<SettledButton> SettleButtons(ButtonWork& work, std::size_t count,
                                         const std::function<bool()>& stop = {});

// The sibling order: virtual items in their fixed order, folders first, natural names.
int CompareItemData(const TVITEMDATA& a, const TVITEMDATA& b);
void SortNodes(std::vector<std::unique_ptr<TreeNode>>& nodes);

// A new item for `relative` inside `folder`, with the label the tree shows for it.
std::unique_ptr<TreeNode> MakeItemNode(const SShellFolderPtr& folder,
                                       const platform::ShellEntry& entry, unsigned flags);
