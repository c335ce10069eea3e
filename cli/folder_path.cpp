#include "cli/folder_path.h"

namespace parvola::cli {

namespace {

std::string normalised(const std::string& text, bool slashSeparates) {
    std::string path;
    for (char c : text) {
        if ((slashSeparates && c == '/') || c == '\\') {
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

}  // namespace

std::string catalogPath(const std::string& text) {
    return normalised(text, true);
}

std::string catalogPathBackslashOnly(const std::string& text) {
    return normalised(text, false);
}

std::vector<std::string> catalogPathSpellings(const std::string& text) {
    std::vector<std::string> spellings{catalogPath(text)};
    if (text.find('/') != std::string::npos)
        spellings.push_back(catalogPathBackslashOnly(text));
    return spellings;
}

std::string joinPath(const std::string& parent, const std::string& name) {
    if (parent.empty())
        return name;
    if (name.empty())
        return parent;
    return parent + "\\" + name;
}

}  // namespace parvola::cli
