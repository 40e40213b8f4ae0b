#pragma once
// The folder tree's own diagnostics: broken invariants are logged under one category
// instead of stopping the program, and the caller goes on as if the check had passed.

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcFolderTree)

// Reports a broken invariant found in `function` (a stable name and line for the log).
void FolderTreeAssert(const char* function, int line);
