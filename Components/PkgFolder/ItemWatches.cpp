#include "Components/PkgFolder/ItemWatches.h"

#include "Components/PkgFolder/Watcher.h"

#include <algorithm>

namespace {

constexpr int kAssumedUserLimit = 8192;
constexpr int kMostWatches = 2048;

}  // namespace

int WatchBudgetFor(int userLimit) {
    return std::min((userLimit > 0 ? userLimit : kAssumedUserLimit) / 8, kMostWatches);
}

ItemWatches::ItemWatches(TWatcher& watcher, int budget) : watcher_(watcher), budget_(budget) {}

void ItemWatches::Update(const std::vector<Wanted>& wanted) {
    const int roots = static_cast<int>(watcher_.Roots().size());
    const std::size_t fit = static_cast<std::size_t>(std::max(budget_ - roots, 0));
    std::unordered_map<HTREEITEM, const std::string*> keep;
    for (std::size_t i = 0; i < wanted.size() && keep.size() < fit; ++i)
        keep.emplace(wanted[i].item, &wanted[i].path);
    // Releases first, so the number of watches never passes the budget on the way.
    for (auto it = watched_.begin(); it != watched_.end();) {
        const auto found = keep.find(it->first);
        if (found != keep.end() && *found->second == it->second) {
            ++it;
            continue;
        }
        watcher_.RemoveDirectory(it->second);
        it = watched_.erase(it);
    }
    for (const auto& [item, path] : keep) {
        if (watched_.emplace(item, *path).second)
            watcher_.AddDirectory(*path);
    }
}

void ItemWatches::Release(HTREEITEM item) {
    const auto found = watched_.find(item);
    if (found == watched_.end())
        return;
    watcher_.RemoveDirectory(found->second);
    watched_.erase(found);
}
