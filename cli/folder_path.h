#pragma once
// Folder paths as the catalog writes them ("我的文档\自定义"); the command line
// also takes "/" between names.
#include <string>
#include <vector>

namespace parvola::cli {

// "/" becomes "\", repeated separators collapse, and leading or trailing
// separators go: "/我的文档//自定义/" -> "我的文档\自定义". "" is the top level.
std::string catalogPath(const std::string& text);
// The same with "\" alone as the separator: the spelling that reaches a
// name holding "/" (older catalogs may have one).
std::string catalogPathBackslashOnly(const std::string& text);

// The spellings of `text` to try, most likely first (one or two).
std::vector<std::string> catalogPathSpellings(const std::string& text);

// "a\b" + "c" -> "a\b\c"; "" + "c" -> "c"; "a" + "" -> "a".
std::string joinPath(const std::string& parent, const std::string& name);

}  // namespace parvola::cli
