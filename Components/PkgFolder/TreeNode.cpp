#include "Components/PkgFolder/TreeNode.h"

bool IsValidItemData(const TVITEMDATA* data) {
    return data && data->folder && data->absolute.IsValid() && data->relative.IsValid();
}

int TreeNode::Row() const {
    if (!parent)
        return 0;
    const auto& siblings = parent->children;
    if (rowHint_ < siblings.size() && siblings[rowHint_].get() == this)
        return static_cast<int>(rowHint_);
    for (std::size_t i = 0; i < siblings.size(); ++i) {
        if (siblings[i].get() == this) {
            rowHint_ = i;
            return static_cast<int>(i);
        }
    }
    return -1;
}
