#include "Components/PkgFolder/RefreshPass.h"

#include "Components/PkgFolder/ExtFilter.h"
#include "platform/shell/DirectoryReader.h"

#include <sys/stat.h>

#include <cerrno>
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

Listing ReadListing(const std::string& path, const PopulationOptions& options) {
    Listing listing;
    platform::DirectoryReader reader(path);
    platform::DirEntry item;
    platform::ShellEntry entry;
    while (reader.Next(item)) {
        if (PassesFilters(reader, item, options, entry))
            listing.entries.push_back(entry);
    }
    listing.error = reader.Error();
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
    for (const RefreshFolder& folder : batch.folders) {
        if (abort && abort->load(std::memory_order_relaxed))
            break;
        RefreshChange change;
        change.item = folder.item;
        if (!folder.readChildren || !folder.folder) {
            change.state = ExistenceOf(folder.path);
        } else {
            const std::string key = ListingKey(folder);
            auto found = listings.find(key);
            if (found == listings.end())
                found = listings.emplace(key, ReadListing(folder.path, folder.options)).first;
            const Listing& listing = found->second;
            if (listing.error != 0) {
                // A read cut short is not a list of what is gone.
                change.state = MeansGone(listing.error) && listing.entries.empty()
                                   ? RefreshChange::State::Gone
                                   : RefreshChange::State::Unreadable;
            } else {
                CompareChildren(folder, listing, change);
            }
        }
        result.changes.push_back(std::move(change));
    }
    return result;
}
