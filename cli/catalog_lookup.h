#pragma once
// Finding what a command names in the catalog. A path the user typed is
// tried as the catalog's own spelling with "/" as a separator too, then with
// "\" alone, so a folder or file whose name holds "/" (written by an older
// client) can still be reached.
#include <optional>
#include <string>

#include "catalog/catalog.h"

namespace parvola::cli {

// True when every folder on `path` is there and not in the recycle bin (the
// empty path, the user level, always is).
bool isLiveFolder(Catalog& catalog, const std::string& path);

// The catalog path of the live folder `text` names; nullopt when none.
std::optional<std::string> findLiveFolder(Catalog& catalog, const std::string& text);

// A live file: its folder's path and its listing row.
struct FoundFile {
    std::string folder;
    CatalogRow row;
};
// The live file `text` names (its folder, "\", its name; a name alone is at
// the user level); nullopt when none.
std::optional<FoundFile> findLiveFile(Catalog& catalog, const std::string& text);

// The recycle-bin row of the item that was at `text` (a folder's own path,
// or a file's folder and name); nullopt when the bin holds none.
std::optional<CatalogRow> findRecycled(Catalog& catalog, const std::string& text);

// Creates every folder on `path` that is not there yet (mkdir -p), printing
// "created PATH" for each. 0, or the failing change's result (an existing
// name that is only in the recycle bin does not count as there).
int ensureLiveFolders(Catalog& catalog, const std::string& path);

// Where a recycle-bin row's item was: a folder's own path, a file's folder
// path and name.
std::string recycledItemPath(const CatalogRow& row);

}  // namespace parvola::cli
