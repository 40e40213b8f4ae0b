#pragma once
// The order of items inside one folder, shared by the namespace's comparison and by callers
// that sort many items with keys they already know (no file-system access per comparison).

#include <string_view>

namespace platform {

// Case-insensitive natural order ("img2" before "img10", "a" beside "A"), then byte order
// as the tie-break, so two names compare equal only when they are the same bytes.
// Returns a negative number, 0 or a positive number.
int CompareNames(std::string_view a, std::string_view b);

// For a name of plain ASCII, appends to `key` bytes whose order (as unsigned bytes, a
// shorter key before its extensions) followed by the names' own bytes as the tie-break
// orders names exactly as CompareNames does, so that sorting many names costs a byte
// comparison each time. False, with `key` in any state, for other names (bytes from 0x80,
// a digit run of more than 255 significant digits), which CompareNames must order.
bool AppendNaturalSortKey(std::string_view name, std::string& key);

// What decides an item's place among its siblings: virtual items come first in their fixed
// rank, then folders before files, then the names.
struct ItemOrderKey {
    int rank = 0;
    bool folder = false;
    std::string_view name;
};

int CompareOrderKeys(const ItemOrderKey& a, const ItemOrderKey& b);

}  // namespace platform
