#pragma once
// The directories the folder tree keeps watched for its items. inotify watches count
// against a per-user limit that every program of the user shares (8192 on many systems),
// and a tree that watched every folder it ever showed would use it up paging through one
// large folder. So the tree hands over what it wants watched in order of importance, and
// only as many as fit the budget, beside the watcher's roots, are watched; the rest is
// left to the refresh pass. UI thread only.

#include "Components/PkgFolder/TreeNode.h"

#include <string>
#include <unordered_map>
#include <vector>

class TWatcher;

// The tree's share of the per-user limit: an eighth of it, at most 2048 watches (a limit
// that cannot be read counts as 8192).
int WatchBudgetFor(int userLimit);

class ItemWatches {
  public:
    struct Wanted {
        HTREEITEM item = 0;
        std::string path;
    };

    // The watcher outlives this object.
    ItemWatches(TWatcher& watcher, int budget);
    ItemWatches(const ItemWatches&) = delete;
    ItemWatches& operator=(const ItemWatches&) = delete;

    // Every watch counts, the watcher's roots included.
    void SetBudget(int watches) { budget_ = watches; }
    int Budget() const { return budget_; }
    // Watches the leading items of `wanted` (distinct items, most important first) that fit
    // the budget and releases every other watch, releases first; an item whose path changed
    // (a rename) is watched under its new path.
    void Update(const std::vector<Wanted>& wanted);
    // An item deleted: its watch goes at once.
    void Release(HTREEITEM item);
    int Count() const { return static_cast<int>(watched_.size()); }

  private:
    TWatcher& watcher_;
    int budget_;
    std::unordered_map<HTREEITEM, std::string> watched_;
};
