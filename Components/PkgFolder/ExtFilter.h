#pragma once
// The file filter of the folder tree: a ";"-separated list of extensions such as
// ".jpg;.jpeg" (a leading "*" of an entry is ignored). A file matches when its whole
// extension, compared without letter case, is one of the entries.

#include <string>
#include <string_view>

// The extension of a file name from its last dot, dot included, in lower case; empty when
// the name has no dot.
std::string LowerExtension(std::string_view fileName);
bool ExtensionMatchesFilter(std::string_view filterExt, std::string_view fileName);
