#include "catalog/item_names.h"

namespace parvola {

NameProblem fileNameProblem(const std::string& name) {
    if (name.empty())
        return NameProblem::Empty;
    if (name == "." || name == "..")
        return NameProblem::DotName;
    if (name.find_first_of("\\/") != std::string::npos)
        return NameProblem::Separator;
    if (name.find(';') != std::string::npos)
        return NameProblem::Semicolon;
    return NameProblem::None;
}

NameProblem folderNameProblem(const std::string& name) {
    return fileNameProblem(name);
}

const char* nameProblemText(NameProblem problem) {
    switch (problem) {
        case NameProblem::None:
            return "";
        case NameProblem::Empty:
            return "名称不能为空!";
        case NameProblem::DotName:
            return "名称不能是\".\"或\"..\"!";
        case NameProblem::Separator:
            return "名称中不能含有\"\\\"或\"/\"!";
        case NameProblem::Semicolon:
            return "名称中不能含有分号(;)!";
    }
    return "";
}

}  // namespace parvola
