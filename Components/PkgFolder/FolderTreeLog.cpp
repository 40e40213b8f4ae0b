#include "Components/PkgFolder/FolderTreeLog.h"

Q_LOGGING_CATEGORY(lcFolderTree, "orvane.foldertree")

void FolderTreeAssert(const char* function, int line) {
    qCWarning(lcFolderTree, "invariant broken in %s (line %d)", function, line);
}
