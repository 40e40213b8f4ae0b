#pragma once
// An item identifier list: the chain of items that leads from the desktop to a namespace
// item. Each item is one name: a virtual item's key on the desktop, a drive's mount point
// below the computer node, or one path component below a file-system folder.
// A null list (no identifier at all) and the empty list (the desktop itself) are distinct.

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

namespace platform {

class ItemIdList {
  public:
    ItemIdList() = default;  // null
    explicit ItemIdList(std::vector<std::string> items);
    ItemIdList(std::initializer_list<std::string> items);

    static ItemIdList Null() { return {}; }
    static ItemIdList Empty() { return ItemIdList(std::vector<std::string>{}); }

    bool IsNull() const { return null_; }
    // The desktop: a list that exists and holds no item.
    bool IsEmpty() const { return !null_ && items_.empty(); }
    std::size_t Count() const { return items_.size(); }
    const std::vector<std::string>& Items() const { return items_; }
    const std::string& Item(std::size_t index) const { return items_.at(index); }
    const std::string& LastItem() const { return items_.back(); }

    // The list holding only item `index` (null when out of range).
    ItemIdList ItemAt(std::size_t index) const;
    // All items but the last; a one-item list gives the empty list, null and empty give null.
    ItemIdList Parent() const;
    // This list followed by `tail`'s items; null only when both are null.
    ItemIdList Appended(const ItemIdList& tail) const;
    // The first `count` items (count clamped to Count()); null stays null.
    ItemIdList Prefix(std::size_t count) const;
    bool StartsWith(const ItemIdList& prefix) const;

    // Bytes the list would take in the classic encoding: every item carries a 16-bit size
    // before its name, and a 16-bit zero ends the chain. Kept so sizes stay comparable.
    static std::size_t EncodedItemSize(const std::string& item) { return 2 + item.size(); }

    friend bool operator==(const ItemIdList& a, const ItemIdList& b) = default;

  private:
    bool null_ = true;
    std::vector<std::string> items_;
};

}  // namespace platform
