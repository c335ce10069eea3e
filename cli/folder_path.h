#pragma once
// Folder paths as the catalog writes them ("我的文档\自定义"); the command line
// also takes "/" between names.
#include <string>

namespace parvola::cli {

// "/" becomes "\", repeated separators collapse, and leading or trailing
// separators go: "/我的文档//自定义/" -> "我的文档\自定义". "" is the top level.
std::string catalogPath(const std::string& text);

// "a\b" + "c" -> "a\b\c"; "" + "c" -> "c"; "a" + "" -> "a".
std::string joinPath(const std::string& parent, const std::string& name);

}  // namespace parvola::cli
