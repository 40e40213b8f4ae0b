#include "Components/PkgFolder/TreeNode.h"

bool IsValidItemData(const TVITEMDATA* data) {
    return data && data->folder && data->absolute.IsValid() && data->relative.IsValid();
}

int TreeNode::Row() const {
    if (!parent)
        return 0;
    const auto& siblings = parent->children;
    const auto holds = [&] { return row_ < siblings.size() && siblings[row_].get() == this; };
    if (!holds()) {
        parent->NumberChildren(parent->numberedChildren_);
        if (!holds())
            parent->NumberChildren(0);  // a change nobody announced: number them all
        if (!holds())
            return -1;  // not among its parent's children
    }
    return static_cast<int>(row_);
}

void TreeNode::NumberChildren(std::size_t from) const {
    for (std::size_t i = from; i < children.size(); ++i)
        children[i]->row_ = i;
    numberedChildren_ = children.size();
}
