#include "Components/PkgFolder/RefreshPass.h"

#include "Components/PkgFolder/ChildButtons.h"
#include "Components/PkgFolder/ExtFilter.h"
#include "platform/shell/DirectoryReader.h"
#include "platform/shell/ShellNamespace.h"

#include <sys/stat.h>

#include <cerrno>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace {

bool MeansGone(int error) {
    return error == ENOENT || error == ENOTDIR;
}

// What one folder holds on disk, filtered as the tree fills folders.
struct Listing {
    int error = 0;
    std::vector<platform::ShellEntry> entries;
    std::unordered_set<std::string_view> names;  // views into `entries`, built once complete
};

bool PassesFilters(const platform::DirectoryReader& reader, const platform::DirEntry& item,
                   const PopulationOptions& options, platform::ShellEntry& entry) {
    const bool hidden = platform::IsHiddenName(item.name);
    if (hidden && !(options.itemFlags & ItemFlag::Hidden))
        return false;
    const bool folder = reader.IsDirectory(item);
    if (!folder && !(options.itemFlags & ItemFlag::Files))
        return false;
    if (!folder && options.showFiles && !options.filterExt.empty() &&
        !ExtensionMatchesFilter(options.filterExt, item.name))
        return false;
    entry.name.assign(item.name);
    entry.folder = folder;
    entry.link = reader.IsLink(item);
    entry.hidden = hidden;
    entry.rank = 0;
    return true;
}

Listing ReadListing(const platform::ShellNamespace& space, const std::string& path,
                    const PopulationOptions& options, const std::atomic<bool>* abort) {
    Listing listing;
    const auto reader = space.OpenDirectory(path);
    platform::DirEntry item;
    platform::ShellEntry entry;
    while (reader->Next(item)) {
        if (abort && abort->load(std::memory_order_relaxed)) {
            listing.error = ECANCELED;  // cut short: says nothing about what is gone
            return listing;
        }
        if (PassesFilters(*reader, item, options, entry))
            listing.entries.push_back(entry);
    }
    listing.error = reader->Error();
    listing.names.reserve(listing.entries.size());
    for (const platform::ShellEntry& known : listing.entries)
        listing.names.insert(known.name);
    return listing;
}

RefreshChange::State ExistenceOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return RefreshChange::State::Present;
    return MeansGone(errno) ? RefreshChange::State::Gone : RefreshChange::State::Unreadable;
}

void CompareChildren(const RefreshFolder& folder, const Listing& listing, RefreshChange& change) {
    std::unordered_set<std::string_view> shown(folder.childNames.begin(), folder.childNames.end());
    for (const std::string& name : folder.childNames) {
        if (!listing.names.count(name))
            change.removed.push_back(name);
    }
    for (const platform::ShellEntry& entry : listing.entries) {
        if (!shown.count(entry.name))
            change.added.push_back(
                MakeItemNode(folder.folder, entry, folder.options.itemFlags & 0xF));
    }
    SortNodes(change.added);
}

// The buttons of a read folder's new and unopened children, and its own: a folder whose
// listing is empty may still keep its button (a network folder, a medium).
void WorkOutButtons(const RefreshFolder& folder, const Listing& listing, ChildButtonProbe& probe,
                    const std::atomic<bool>* abort, RefreshChange& change) {
    const auto stop = [abort] { return abort && abort->load(std::memory_order_relaxed); };
    const unsigned flags = folder.options.itemFlags & 0xF;
    probe.Settle(*folder.folder, change.added, 0, change.added.size(), stop);
    change.buttons.reserve(folder.unopenedChildren.size());
    for (const UnopenedFolder& child : folder.unopenedChildren) {
        if (stop())
            return;
        if (listing.names.count(child.name))
            change.buttons.emplace_back(
                child.name, probe.ButtonOfChild(*folder.folder, child.name, flags, child.known));
    }
    change.ownButton = !listing.entries.empty()
                           ? TreeNode::WorkedOutButton{TreeNode::ChildState::Yes, 0, {}}
                           : probe.ButtonOf(folder.folder->Location(), folder.options.itemFlags);
}

std::string ListingKey(const RefreshFolder& folder) {
    // Two items of one folder read with other filters (the desktop root keeps its own)
    // need two readings.
    return folder.path + '\0' + std::to_string(folder.options.itemFlags) + '\0' +
           (folder.options.showFiles ? folder.options.filterExt : std::string());
}

}  // namespace

RefreshResult ComputeRefresh(const RefreshBatch& batch, const std::atomic<bool>* abort) {
    RefreshResult result;
    result.generation = batch.generation;
    std::unordered_map<std::string, Listing> listings;
    std::optional<ChildButtonProbe> probe;  // one for the pass: it keeps what it learnt
    const auto probeFor = [&probe](const RefreshFolder& folder) -> ChildButtonProbe& {
        if (!probe)
            probe.emplace(folder.folder->Namespace(), folder.options.filterExt,
                          folder.options.showFiles);
        return *probe;
    };
    for (const RefreshFolder& folder : batch.folders) {
        if (abort && abort->load(std::memory_order_relaxed))
            break;
        RefreshChange change;
        change.item = folder.item;
        if (!folder.readChildren || !folder.folder) {
            change.state = ExistenceOf(folder.path);
            if (change.state == RefreshChange::State::Present && folder.folder)
                change.ownButton = probeFor(folder).ButtonOf(
                    folder.folder->Location(), folder.options.itemFlags, folder.ownKnown);
        } else {
            const std::string key = ListingKey(folder);
            auto found = listings.find(key);
            if (found == listings.end())
                found = listings
                            .emplace(key, ReadListing(folder.folder->Namespace(), folder.path,
                                                      folder.options, abort))
                            .first;
            const Listing& listing = found->second;
            if (listing.error != 0) {
                // A read cut short is not a list of what is gone.
                change.state = MeansGone(listing.error) && listing.entries.empty()
                                   ? RefreshChange::State::Gone
                                   : RefreshChange::State::Unreadable;
            } else {
                CompareChildren(folder, listing, change);
                WorkOutButtons(folder, listing, probeFor(folder), abort, change);
            }
        }
        result.changes.push_back(std::move(change));
    }
    return result;
}
