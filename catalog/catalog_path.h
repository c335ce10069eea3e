#pragma once
// Catalog paths: folder names from the top level down joined by single
// backslashes, without the user level; the empty path is the user level. An
// item path is a folder path with one more name, the item's own.
#include <string>

namespace parvola {

// Splits the item path "a\b\c" into its folder "a\b" and its name "c"; an
// item path without a backslash names an item at the user level (its folder
// is empty).
void splitItemPath(const std::string& itemPath, std::string& folder, std::string& name);

}  // namespace parvola
