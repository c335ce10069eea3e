#pragma once
// The names a folder path can carry. A path joins names with "\" (the
// command line also splits at "/"), so a name holding either, or a name that
// is empty, "." or "..", could be stored but never reached again; the piece
// subject and the task records separate their fields with ";", which no file
// name can therefore hold, and folder names keep to the same rule. Catalogs
// written before these rules may hold such names: they still list and read;
// only new names are checked.
#include <string>

namespace parvola {

enum class NameProblem { None, Empty, DotName, Separator, Semicolon };

NameProblem folderNameProblem(const std::string& name);
NameProblem fileNameProblem(const std::string& name);

// What a client shows when it refuses a name for `problem` (empty for None).
const char* nameProblemText(NameProblem problem);

}  // namespace parvola
