#include "cli/folder_path.h"

namespace parvola::cli {

std::string catalogPath(const std::string& text) {
    std::string path;
    for (char c : text) {
        if (c == '/' || c == '\\') {
            if (!path.empty() && path.back() != '\\')
                path += '\\';
        } else {
            path += c;
        }
    }
    if (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path;
}

std::string joinPath(const std::string& parent, const std::string& name) {
    if (parent.empty())
        return name;
    if (name.empty())
        return parent;
    return parent + "\\" + name;
}

}  // namespace parvola::cli
