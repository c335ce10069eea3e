#include "catalog/catalog_path.h"

namespace parvola {

void splitItemPath(const std::string& itemPath, std::string& folder, std::string& name) {
    const size_t cut = itemPath.rfind('\\');
    if (cut == std::string::npos) {
        folder.clear();
        name = itemPath;
    } else {
        folder = itemPath.substr(0, cut);
        name = itemPath.substr(cut + 1);
    }
}

}  // namespace parvola
