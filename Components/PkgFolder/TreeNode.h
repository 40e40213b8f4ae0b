#pragma once
// One item of the folder tree and the namespace record it carries. Items are plain data:
// a population may build them on a worker thread before the model adopts them.

#include "Components/PkgFolder/ShellWrappers.h"
#include "platform/shell/SubfolderProbe.h"

#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// An item's handle: a number that the model resolves, unique to the item for the model's
// life, 0 for none. A handle kept across an event loop is looked up again before use, so a
// deleted item is never touched.
using HTREEITEM = std::uint64_t;
// The invisible parent of the top-level items.
inline constexpr HTREEITEM TVI_ROOT = 1;

// Item data flags: what the enumeration below the item includes, and how its label is made.
namespace ItemFlag {
constexpr unsigned Files = 0x1;
constexpr unsigned Hidden = 0x2;
constexpr unsigned FullName = 0x10;
constexpr unsigned PathLabel = 0x20;
}  // namespace ItemFlag

struct TVITEMDATA {
    SShellFolderPtr folder;  // the folder that contains the item
    CShellPidl absolute;     // from the desktop to the item
    CShellPidl relative;     // the item below `folder`
    unsigned flags = 0;
    // What the enumeration already knew, so sorting and drawing need no disk access.
    bool isFolder = false;
    bool isLink = false;
    bool isHidden = false;
    int rank = 0;
};

// Valid when the record exists and its folder and both identifiers are set.
bool IsValidItemData(const TVITEMDATA* data);

// An item's record, held inside the item itself, or none (the wait placeholder). It reads
// like the owning pointer it stands for; keeping the record in place saves an allocation
// per item, which counts when a folder brings 100,000 of them.
class ItemDataHolder {
  public:
    TVITEMDATA& emplace() { return value_.emplace(); }
    TVITEMDATA* get() const { return value_ ? &*value_ : nullptr; }
    TVITEMDATA* operator->() const { return get(); }
    TVITEMDATA& operator*() const { return *get(); }
    explicit operator bool() const { return value_.has_value(); }

  private:
    mutable std::optional<TVITEMDATA> value_;  // the item's record: const items hand it out
};

struct TreeNode {
    enum class ChildState : std::uint8_t { Unknown, Yes, No };
    // An expand button as a probe worked it out (ChildButtonProbe), with the flags it was
    // worked out for and the stamp the folder keeps for as long as it holds. Kept with the
    // item, it spares each refresh pass reading again a folder that has not changed: a
    // folder of 200,000 files and no subfolder is read to its end to tell.
    struct WorkedOutButton {
        ChildState state = ChildState::Unknown;
        std::uint8_t flags = 0;       // ItemFlag::Files and ItemFlag::Hidden as asked
        platform::FolderStamp stamp;  // unset: worked out anew when next asked
    };

    HTREEITEM handle = 0;
    TreeNode* parent = nullptr;
    std::vector<std::unique_ptr<TreeNode>> children;
    ItemDataHolder data;  // none for the wait placeholder
    QString text;
    ChildState childState = ChildState::Unknown;  // Unknown: a button, until a read tells
    bool expandedOnce = false;
    bool populating = false;
    // The probe's last answer for the folder (WorkedOut), which childState may differ from:
    // its state and flags fill the space before the next field, its stamp comes last, so
    // that the fields every insertion and row lookup touches keep their places in the
    // item's cache lines (a larger item, or one whose fields moved, made expanding a folder
    // of 50,000 files a third slower).
    ChildState workedOutState = ChildState::Unknown;
    std::uint8_t workedOutFlags = 0;
    HTREEITEM placeholder = 0;
    int iconKind = -1;  // worked out when first drawn

    // The item's place among its siblings, in constant time: each item keeps its row, and
    // after a change of the children only the rows from the change on are numbered again,
    // once, when one of them is next asked for. A folder of 100,000 items is asked for its
    // rows all the time (every model index, every step to a next sibling).
    int Row() const;
    // Whoever changes `children` (the model) says from which position on they changed.
    void ChildrenChangedFrom(std::size_t position) const {
        numberedChildren_ = std::min(numberedChildren_, position);
    }

  private:
    void NumberChildren(std::size_t from) const;

    mutable std::size_t row_ = 0;
    // The children before this position hold their row; those from it on may not.
    mutable std::size_t numberedChildren_ = 0;

  public:
    platform::FolderStamp workedOutStamp;

    WorkedOutButton WorkedOut() const { return {workedOutState, workedOutFlags, workedOutStamp}; }
    void SetWorkedOut(const WorkedOutButton& button) {
        workedOutState = button.state;
        workedOutFlags = button.flags;
        workedOutStamp = button.stamp;
    }
};
