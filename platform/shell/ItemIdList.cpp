#include "platform/shell/ItemIdList.h"

#include <algorithm>

namespace platform {

ItemIdList::ItemIdList(std::vector<std::string> items) : null_(false), items_(std::move(items)) {}

ItemIdList::ItemIdList(std::initializer_list<std::string> items) : null_(false), items_(items) {}

ItemIdList ItemIdList::ItemAt(std::size_t index) const {
    if (index >= items_.size())
        return Null();
    return ItemIdList({items_[index]});
}

ItemIdList ItemIdList::Parent() const {
    if (null_ || items_.empty())
        return Null();
    return ItemIdList(std::vector<std::string>(items_.begin(), items_.end() - 1));
}

ItemIdList ItemIdList::Appended(const ItemIdList& tail) const {
    if (null_ && tail.null_)
        return Null();
    std::vector<std::string> joined;
    joined.reserve(items_.size() + tail.items_.size());
    joined.insert(joined.end(), items_.begin(), items_.end());
    joined.insert(joined.end(), tail.items_.begin(), tail.items_.end());
    return ItemIdList(std::move(joined));
}

ItemIdList ItemIdList::Prefix(std::size_t count) const {
    if (null_)
        return Null();
    count = std::min(count, items_.size());
    return ItemIdList(std::vector<std::string>(items_.begin(), items_.begin() + count));
}

bool ItemIdList::StartsWith(const ItemIdList& prefix) const {
    if (null_ || prefix.null_ || prefix.items_.size() > items_.size())
        return false;
    return std::equal(prefix.items_.begin(), prefix.items_.end(), items_.begin());
}

}  // namespace platform
