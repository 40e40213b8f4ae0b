#include "platform/MountMonitor.h"

#include <libmount/libmount.h>

#include <algorithm>
#include <memory>
#include <tuple>

namespace platform {

namespace {

struct TableDeleter {
    void operator()(libmnt_table* table) const { mnt_unref_table(table); }
};
struct IterDeleter {
    void operator()(libmnt_iter* iter) const { mnt_free_iter(iter); }
};

std::string Text(const char* value) {
    return value ? std::string(value) : std::string();
}

bool SameMount(const MountRecord& a, const MountRecord& b) {
    return a.id == b.id && a.mountPoint == b.mountPoint;
}

// Mounts of `from` that `other` does not have.
std::vector<MountRecord> Missing(const std::vector<MountRecord>& from,
                                 const std::vector<MountRecord>& other) {
    std::vector<MountRecord> missing;
    for (const MountRecord& record : from) {
        if (std::none_of(other.begin(), other.end(),
                         [&](const MountRecord& o) { return SameMount(record, o); }))
            missing.push_back(record);
    }
    return missing;
}

}  // namespace

std::vector<MountRecord> ReadMountTable(const std::string& path) {
    std::vector<MountRecord> records;
    const std::unique_ptr<libmnt_table, TableDeleter> table(mnt_new_table());
    const std::unique_ptr<libmnt_iter, IterDeleter> iter(mnt_new_iter(MNT_ITER_FORWARD));
    if (!table || !iter || mnt_table_parse_file(table.get(), path.c_str()) != 0)
        return records;
    libmnt_fs* fs = nullptr;
    while (mnt_table_next_fs(table.get(), iter.get(), &fs) == 0) {
        records.push_back(MountRecord{mnt_fs_get_id(fs), Text(mnt_fs_get_target(fs)),
                                      Text(mnt_fs_get_fstype(fs)), Text(mnt_fs_get_source(fs))});
    }
    return records;
}

MountChanges DiffMounts(const std::vector<MountRecord>& before,
                        const std::vector<MountRecord>& after) {
    return MountChanges{Missing(after, before), Missing(before, after)};
}

MountMonitor::MountMonitor() : monitor_(mnt_new_monitor()) {
    if (monitor_ && mnt_monitor_enable_kernel(monitor_, 1) == 0)
        fd_ = mnt_monitor_get_fd(monitor_);
    last_ = ReadMountTable(path_);
}

MountMonitor::~MountMonitor() {
    if (monitor_)
        mnt_unref_monitor(monitor_);
}

MountChanges MountMonitor::TakeChanges() {
    if (monitor_)
        mnt_monitor_event_cleanup(monitor_);
    std::vector<MountRecord> now = ReadMountTable(path_);
    if (now.empty())
        return {};  // an unreadable table says nothing about the mounts
    MountChanges changes = DiffMounts(last_, now);
    last_ = std::move(now);
    return changes;
}

}  // namespace platform
