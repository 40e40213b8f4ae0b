#pragma once
// One pass of following changes on disk, in three steps so that no thread but the UI
// thread touches the tree: the tree takes a snapshot of the items concerned (UI thread),
// ComputeRefresh compares them with the disk and works out the buttons of the folders it
// shows (any thread: readdir and stat, no tree access), and the tree applies the changes
// if it has not been rebuilt meanwhile.

#include "Components/PkgFolder/FolderPopulation.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A folder item the tree shows and has not opened, with the button it shows.
struct UnopenedFolder {
    std::string name;
    TreeNode::WorkedOutButton known;  // spares the read while the folder is unchanged
};

// One tree item in a pass.
struct RefreshFolder {
    HTREEITEM item = 0;
    std::string path;
    // An expanded folder: its children are compared with the folder's items on disk.
    // Otherwise only whether the item itself still exists is checked.
    bool readChildren = false;
    // The item's own folder, parent of new children; for an item that is not read, set
    // when its own button is to be worked out (a folder never opened).
    SShellFolderPtr folder;
    PopulationOptions options;            // what is read below the item (its button too)
    std::vector<std::string> childNames;  // the children it shows
    // Those of them whose buttons the pass works out: folders not opened yet (an opened
    // one is in the pass itself, or shows what its read found).
    std::vector<UnopenedFolder> unopenedChildren;
    // For an item that is not read: the button it shows (as `known` of UnopenedFolder).
    TreeNode::WorkedOutButton ownKnown;
};

struct RefreshBatch {
    std::uint64_t generation = 0;
    std::vector<RefreshFolder> folders;  // parents before their children
};

struct RefreshChange {
    // Gone only when the system says so (no such file, not a directory); a folder that
    // cannot be read for any other reason (no permission, an I/O error) is kept as it is.
    enum class State { Present, Gone, Unreadable };
    HTREEITEM item = 0;
    State state = State::Present;
    std::vector<std::string> removed;              // children gone from disk
    std::vector<std::unique_ptr<TreeNode>> added;  // new children, sorted, buttons known
    // The buttons of the unopened children still there, and the item's own button (for a
    // read folder: whether what the tree would show of it is not empty).
    std::vector<std::pair<std::string, TreeNode::WorkedOutButton>> buttons;
    TreeNode::WorkedOutButton ownButton;
};

struct RefreshResult {
    std::uint64_t generation = 0;
    std::vector<RefreshChange> changes;  // in the order of the batch
};

// Reads each folder once, however many items show it. Stops early (with a partial result
// the caller drops) when `abort` becomes true.
RefreshResult ComputeRefresh(const RefreshBatch& batch, const std::atomic<bool>* abort = nullptr);
