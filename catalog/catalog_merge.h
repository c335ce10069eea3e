#pragma once
// Two computers may change one user's catalog at the same time: each mails
// its own catalog, and the later save must not drop the other's change. The
// merge combines the catalog this computer holds with the one the other
// mailed, knowing the catalog both started from (the base):
//
// - records added on either side are kept (a folder added on both sides with
//   the same name is one folder holding what both put in it);
// - a record deleted on one side stays deleted (moved to the recycle bin, or
//   purged); a folder purged on one side goes, except for what the other side
//   stored into it meanwhile, which stays in the folder and is told;
// - a folder is followed across a rename by its creation time, so a rename on
//   one side and changes inside it on the other both survive; renamed on both
//   sides to different names, the other computer's name stays (it has been
//   mailed already) and the user is told;
// - two different files given the same name in one folder are both kept: the
//   later one (by its record's time) gets a visible " (2)" in its name, and
//   the user is told.
// The catalog has no move; a move made by another client reads as a deletion
// and an addition. Without a base (no catalog was ever loaded or mailed
// here) everything on both sides counts as added. The result's Version is
// one above both, and its file count and byte sum are counted anew.
#include <string>
#include <string_view>
#include <vector>

namespace parvola {

enum class CatalogMergeOutcome {
    Merged,      // `text` holds the merged catalog
    Impossible,  // one side is not a catalog of the same user: nothing merged
};

struct CatalogMerge {
    CatalogMergeOutcome outcome = CatalogMergeOutcome::Impossible;
    std::string text;
    // One line per conflict the user should hear of (empty for a clean merge).
    std::vector<std::string> conflicts;
};

// Merges `local` and `remote`, both changed from `base` (empty or
// unreadable: no base). Pure: reads and writes no file.
CatalogMerge mergeCatalogs(std::string_view base, std::string_view local, std::string_view remote);

// What the user is shown after a merge with conflicts (the lines follow it)
// and after a merge that was impossible (the path of the kept copy follows).
inline constexpr const char* kCatalogMergedText = "另一台电脑同时修改了目录,两边的修改已合并:";
inline constexpr const char* kCatalogNotMergedText =
    "另一台电脑同时修改了目录,两份目录无法合并。本机的目录照常保存,另一台电脑的目录另存为:";

}  // namespace parvola
