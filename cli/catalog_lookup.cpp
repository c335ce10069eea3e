#include "cli/catalog_lookup.h"

#include <iostream>
#include <vector>

#include "catalog/catalog_path.h"
#include "cli/folder_path.h"

namespace parvola::cli {

bool isLiveFolder(Catalog& catalog, const std::string& path) {
    if (path.empty())
        return true;
    for (size_t cut = path.find('\\');; cut = path.find('\\', cut + 1)) {
        std::string parent, name;
        splitItemPath(path.substr(0, cut), parent, name);
        if (catalog.exists(parent, name, "Folder") != CatalogPresence::Live)
            return false;
        if (cut == std::string::npos)
            return true;
    }
}

std::optional<std::string> findLiveFolder(Catalog& catalog, const std::string& text) {
    for (const std::string& path : catalogPathSpellings(text))
        if (isLiveFolder(catalog, path))
            return path;
    return std::nullopt;
}

std::optional<FoundFile> findLiveFile(Catalog& catalog, const std::string& text) {
    for (const std::string& path : catalogPathSpellings(text)) {
        FoundFile found;
        std::string name;
        splitItemPath(path, found.folder, name);
        if (name.empty() || !isLiveFolder(catalog, found.folder))
            continue;
        std::vector<CatalogRow> rows;
        catalog.listLevel(found.folder, rows);
        for (const CatalogRow& row : rows) {
            if (row.type == kFileType && row.name == name) {
                found.row = row;
                return found;
            }
        }
    }
    return std::nullopt;
}

std::optional<CatalogRow> findRecycled(Catalog& catalog, const std::string& text) {
    std::vector<CatalogRow> rows;
    catalog.listRecycleBin(rows);
    for (const std::string& path : catalogPathSpellings(text)) {
        for (const CatalogRow& row : rows)
            if (recycledItemPath(row) == path)
                return row;
    }
    return std::nullopt;
}

int ensureLiveFolders(Catalog& catalog, const std::string& path) {
    if (path.empty())
        return 0;
    for (size_t cut = path.find('\\');; cut = path.find('\\', cut + 1)) {
        const std::string folder = path.substr(0, cut);
        if (!isLiveFolder(catalog, folder)) {
            std::string parent, name;
            splitItemPath(folder, parent, name);
            if (const int result = catalog.addFolder(parent, name); result != 0)
                return result;
            std::cout << "created " << folder << std::endl;
        }
        if (cut == std::string::npos)
            return 0;
    }
}

std::string recycledItemPath(const CatalogRow& row) {
    // A folder's record keeps the folder's own path; a file's, its folder's.
    return row.type == kFolderType ? row.path : joinPath(row.path, row.name);
}

}  // namespace parvola::cli
