#include "Components/PkgFolder/FolderPopulation.h"

#include "Components/PkgFolder/ChildButtons.h"
#include "Components/PkgFolder/ExtFilter.h"

#include <algorithm>
#include <string>
#include <string_view>

using platform::ItemIdList;
using platform::ShellEntry;
namespace Attr = platform::ShellAttr;
namespace EnumFlag = platform::EnumFlag;

unsigned EnumFlagsFor(unsigned itemFlags) {
    unsigned flags = EnumFlag::Folders;
    if (itemFlags & ItemFlag::Files)
        flags |= EnumFlag::NonFolders;
    if (itemFlags & ItemFlag::Hidden)
        flags |= EnumFlag::IncludeHidden;
    return flags;
}

namespace {

// Without system folders only file-system items and their ancestors are shown, and without
// files only those that are folders or hold folders. Items of a file-system folder are
// file-system items themselves, so only virtual folders need asking.
bool PassesSystemFilter(const platform::ShellFolder& folder, const ShellEntry& entry,
                        const PopulationOptions& options) {
    if (options.sysFolders || folder.Location().IsFileSystem())
        return true;
    const ItemIdList item({entry.name});
    const std::uint32_t attributes =
        folder.GetAttributesOf(item, Attr::FileSystem | Attr::FileSysAncestor | Attr::Folder,
                               EnumFlagsFor(options.itemFlags));
    if (!(attributes & (Attr::FileSystem | Attr::FileSysAncestor)))
        return false;
    return options.showFiles || (attributes & Attr::Folder);
}

bool PassesFileFilter(const ShellEntry& entry, const PopulationOptions& options) {
    if (!options.showFiles || options.filterExt.empty() || entry.folder)
        return true;
    return ExtensionMatchesFilter(options.filterExt, entry.name);
}

}  // namespace

std::unique_ptr<TreeNode> MakeItemNode(const SShellFolderPtr& folder, const ShellEntry& entry,
                                       unsigned flags) {
    auto node = std::make_unique<TreeNode>();
    TVITEMDATA& data = node->data.emplace();
    data.folder = folder;
    data.relative = CShellPidl(ItemIdList({entry.name}));
    data.absolute = CShellPidl(folder->Id(), data.relative.Get());
    data.flags = flags;
    data.isFolder = entry.folder;
    data.isLink = entry.link;
    data.isHidden = entry.hidden;
    data.rank = entry.rank;
    if (folder->Location().IsFileSystem())
        node->text = QString::fromStdString(entry.name);
    else
        node->text = QString::fromStdString(
            folder->GetDisplayNameOf(data.relative.Get(), platform::NameKind::InFolder));
    if (!entry.folder)
        node->childState = TreeNode::ChildState::No;
    return node;
}

namespace {

// The folder items past the first `settled` whose buttons are not known yet.
std::shared_ptr<ButtonWork> PendingButtons(const SShellFolderPtr& folder,
                                           const PopulationOptions& options,
                                           const std::vector<std::unique_ptr<TreeNode>>& nodes,
                                           std::size_t settled) {
    auto work = std::make_shared<ButtonWork>();
    for (std::size_t i = settled; i < nodes.size(); ++i) {
        const TreeNode& node = *nodes[i];
        if (IsValidItemData(node.data.get()) && node.childState == TreeNode::ChildState::Unknown)
            work->items.push_back({i, node.data->relative.Get().LastItem()});
    }
    if (work->items.empty())
        return nullptr;
    work->folder = folder;
    work->options = options;
    return work;
}

}  // namespace

PopulationOutcome ReadChildren(const SShellFolderPtr& folder, const PopulationOptions& options,
                               const std::function<bool()>& stop,
                               const std::function<void(int)>& counted, std::size_t settleNow) {
    PopulationOutcome outcome;
    if (!folder)
        return outcome;
    const SEnumIDListPtr enumerator = folder->EnumObjects(EnumFlagsFor(options.itemFlags));
    if (!enumerator)
        return outcome;
    outcome.opened = true;
    ShellEntry entry;
    while (enumerator->Next(entry)) {
        if (stop && stop())
            break;
        if (!PassesSystemFilter(*folder, entry, options) || !PassesFileFilter(entry, options))
            continue;
        outcome.children.push_back(MakeItemNode(folder, entry, options.itemFlags & 0xF));
        if (counted)
            counted(static_cast<int>(outcome.children.size()));
    }
    SortNodes(outcome.children);
    const std::size_t settled = std::min(outcome.children.size(), settleNow);
    ChildButtonProbe(folder->Namespace(), options.filterExt, options.showFiles)
        .Settle(*folder, outcome.children, 0, settled, stop);
    outcome.pendingButtons = PendingButtons(folder, options, outcome.children, settled);
    return outcome;
}

std::vector<SettledButton> SettleButtons(ButtonWork& work, std::size_t count,
                                         const std::function<bool()>& stop) {
    std::vector<SettledButton> settled;
    if (!work.folder)
        return settled;
    ChildButtonProbe probe(work.folder->Namespace(), work.options.filterExt,
                           work.options.showFiles);
    const unsigned flags = work.options.itemFlags & 0xF;
    for (; work.next < work.items.size() && settled.size() < count; ++work.next) {
        if (stop && stop())
            break;
        const ButtonWork::Item& item = work.items[work.next];
        settled.push_back(
            {item.index, item.name, probe.ButtonOfChild(*work.folder, item.name, flags)});
    }
    return settled;
}

namespace {

std::string_view LastName(const ItemIdList& pidl) {
    return pidl.Count() == 0 ? std::string_view() : std::string_view(pidl.LastItem());
}

}  // namespace

int CompareItemData(const TVITEMDATA& a, const TVITEMDATA& b) {
    const platform::ItemOrderKey keyA{a.rank, a.isFolder, LastName(a.relative.Get())};
    const platform::ItemOrderKey keyB{b.rank, b.isFolder, LastName(b.relative.Get())};
    return platform::CompareOrderKeys(keyA, keyB);
}

namespace {

// One node's place in the sort: its order key, and where its name's natural sort key lies
// in the shared key buffer (none for names CompareNames must order itself).
struct SortEntry {
    platform::ItemOrderKey key;
    bool valid = false;
    bool hasNaturalKey = false;
    std::size_t keyStart = 0;
    std::size_t keyLength = 0;
    std::size_t index = 0;
};

int CompareBytes(std::string_view a, std::string_view b) {
    const int c = a.compare(b);  // char_traits<char> compares as unsigned bytes
    return (c > 0) - (c < 0);
}

}  // namespace

void SortNodes(std::vector<std::unique_ptr<TreeNode>>& nodes) {
    // Each node's keys are gathered once: a folder of tens of thousands of items takes near
    // a million comparisons, which then compare bytes of two small records instead of
    // following every node to its data and decoding both names.
    std::vector<SortEntry> entries(nodes.size());
    std::string naturalKeys;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        SortEntry& entry = entries[i];
        const TVITEMDATA* data = nodes[i]->data.get();
        entry.index = i;
        entry.valid = IsValidItemData(data);
        if (!entry.valid)
            continue;
        entry.key = {data->rank, data->isFolder, LastName(data->relative.Get())};
        entry.keyStart = naturalKeys.size();
        entry.hasNaturalKey = platform::AppendNaturalSortKey(entry.key.name, naturalKeys);
        if (!entry.hasNaturalKey)
            naturalKeys.resize(entry.keyStart);
        entry.keyLength = naturalKeys.size() - entry.keyStart;
    }
    const std::string_view keys = naturalKeys;
    auto compare = [keys](const SortEntry& x, const SortEntry& y) {
        if (x.key.rank != y.key.rank || x.key.folder != y.key.folder || !x.hasNaturalKey ||
            !y.hasNaturalKey)
            return platform::CompareOrderKeys(x.key, y.key);
        const int natural = CompareBytes(keys.substr(x.keyStart, x.keyLength),
                                         keys.substr(y.keyStart, y.keyLength));
        return natural != 0 ? natural : CompareBytes(x.key.name, y.key.name);
    };
    // Items without valid data go first, as they come.
    std::stable_sort(entries.begin(), entries.end(), [&](const SortEntry& x, const SortEntry& y) {
        if (!x.valid || !y.valid)
            return y.valid && !x.valid;
        return compare(x, y) < 0;
    });
    std::vector<std::unique_ptr<TreeNode>> sorted;
    sorted.reserve(nodes.size());
    for (const SortEntry& entry : entries)
        sorted.push_back(std::move(nodes[entry.index]));
    nodes.swap(sorted);
}
