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

void splitLast(const std::string& path, std::string& parent, std::string& name) {
    size_t cut = path.rfind('\\');
    if (cut == std::string::npos) {
        parent.clear();
        name = path;
    } else {
        parent = path.substr(0, cut);
        name = path.substr(cut + 1);
    }
}

std::string joinPath(const std::string& parent, const std::string& name) {
    if (parent.empty()) return name;
    if (name.empty()) return parent;
    return parent + "\\" + name;
}

}  // namespace parvola::cli
