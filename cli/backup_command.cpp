// backup: a one-way copy of a local folder into a catalog folder. Files the
// catalog does not hold yet are stored; files it holds with another size
// are stored again in place of the old copy; the rest is skipped. The
// local folder's tree becomes catalog folders below FOLDER.
#include <algorithm>
#include <filesystem>
#include <iostream>

#include "catalog/catalog.h"
#include "catalog/item_names.h"
#include "cli/catalog_lookup.h"
#include "cli/cli_notice_box.h"
#include "cli/cli_session.h"
#include "cli/folder_path.h"
#include "cli/option_parser.h"
#include "cli/transfer_steps.h"
#include "cli/transfer_wait.h"
#include "transfer/upload_pipeline.h"

namespace parvola::cli {
namespace {

namespace fs = std::filesystem;

struct BackupFile {
    fs::path local;
    std::string catalogFolder;
    long long size = 0;
};

// Every regular file below `folder`, in name order, with the catalog folder
// it belongs in; folders and files whose names a catalog path could not
// carry are reported and left out.
void collect(const fs::path& folder, const std::string& catalogFolder,
             std::vector<BackupFile>& files, std::vector<std::string>& folders, int& refused) {
    std::vector<fs::directory_entry> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries.push_back(*it);
    if (error) {
        printError(folder.string() + ": " + error.message());
        ++refused;
        return;
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.path().filename() < b.path().filename();
    });
    for (const auto& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (entry.is_directory(error) && !entry.is_symlink(error)) {
            if (const NameProblem problem = folderNameProblem(name); problem != NameProblem::None) {
                printError("skipped " + entry.path().string() + ": " + nameProblemText(problem));
                ++refused;
                continue;
            }
            const std::string below = joinPath(catalogFolder, name);
            folders.push_back(below);
            collect(entry.path(), below, files, folders, refused);
        } else if (entry.is_regular_file(error)) {
            if (const std::string refusal = storeNameRefusal(name, catalogFolder);
                !refusal.empty()) {
                printError("skipped " + entry.path().string() + ": " + refusal);
                ++refused;
                continue;
            }
            files.push_back(
                {entry.path(), catalogFolder, static_cast<long long>(entry.file_size(error))});
        }
    }
}

enum class Held { No, SameSize, OtherSize, InRecycleBin };

Held heldAs(Catalog& catalog, const BackupFile& file) {
    const std::string name = file.local.filename().string();
    if (catalog.exists(file.catalogFolder, name, "File") == CatalogPresence::OnlyDeleted)
        return Held::InRecycleBin;
    const auto found = findLiveFile(catalog, joinPath(file.catalogFolder, name));
    if (!found)
        return Held::No;
    return found->row.size == file.size ? Held::SameSize : Held::OtherSize;
}

int runBackup(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    auto folderOption = parser.option("--folder");
    const bool dryRun = parser.flag("--dry-run", "-n");
    auto source = parser.positional(0);
    if (!source || !folderOption || !parser.done(1))
        return kExitUsage;
    std::error_code error;
    if (!fs::is_directory(*source, error)) {
        printError(*source + ": " + (error ? error.message() : std::string("not a folder")));
        return kExitFailure;
    }
    CliSession session;
    if (int rc = openSession(options, session); rc != kExitOk)
        return rc;
    std::string folder;
    {
        Catalog catalog(session.user());
        const auto found = findLiveFolder(catalog, *folderOption);
        if (!found) {
            printError("no such folder: " + catalogPath(*folderOption));
            return kExitFailure;
        }
        folder = *found;
    }
    if (folder.empty()) {
        showNotice(kUserLevelStoreText);
        return kExitFailure;
    }
    std::vector<BackupFile> files;
    std::vector<std::string> folders;
    int refused = 0;
    collect(fs::absolute(*source, error), folder, files, folders, refused);

    int stored = 0, skipped = 0, failed = refused;
    for (const std::string& path : folders) {
        Catalog catalog(session.user());
        if (dryRun || isLiveFolder(catalog, path))
            continue;
        if (ensureLiveFolders(catalog, path) != 0) {
            printError("the folder " + path + " could not be created");
            return kExitFailure;
        }
    }
    for (const BackupFile& file : files) {
        const std::string item = joinPath(file.catalogFolder, file.local.filename().string());
        Catalog catalog(session.user());
        const Held held = heldAs(catalog, file);
        if (held == Held::SameSize) {
            ++skipped;
            continue;
        }
        if (held == Held::InRecycleBin) {
            printError("not stored " + item +
                       ": a deleted file of that name is in the recycle bin; restore or purge it");
            ++failed;
            continue;
        }
        if (dryRun) {
            std::cout << (held == Held::OtherSize ? "would replace " : "would store ") << item
                      << std::endl;
            ++stored;
            continue;
        }
        if (held == Held::OtherSize) {
            // The catalog keeps one file per name: the old copy goes, with
            // its piece mails, before the new one is stored.
            if (catalog.deleteFile(item) != 0 ||
                catalog.purgeFile(file.catalogFolder, file.local.filename().string()) != 0) {
                printError("not stored " + item + ": the older copy could not be replaced");
                ++failed;
                continue;
            }
            std::cout << "replacing " << item << std::endl;
        }
        const int rc = storeOne(session, file.local.string(), file.catalogFolder, true);
        if (rc == kExitInterrupted)
            return rc;
        (rc == kExitOk ? stored : failed) += 1;
    }
    if (!dryRun)
        finishSession();
    std::cout << "backup of " << *source << " into " << folder << ": " << stored
              << (dryRun ? " to store, " : " stored, ") << skipped << " skipped (already held)";
    if (failed > 0)
        std::cout << ", " << failed << " not stored";
    std::cout << std::endl;
    return failed == 0 ? kExitOk : kExitFailure;
}

}  // namespace

Command backupCommand() {
    return {"backup", "copy a local folder's new and changed files into a catalog folder",
            "usage: parvola-cli backup DIR --folder FOLDER [--dry-run]\n"
            "  A one-way copy: stores each file below DIR that FOLDER does not hold yet,\n"
            "  or holds with another size (the older copy is purged first), keeping\n"
            "  DIR's subfolders as catalog folders below FOLDER; files held with the\n"
            "  same size are skipped. Nothing in the catalog that DIR lacks is touched.\n"
            "  --dry-run (-n) only tells what it would store. A Ctrl-C saves the\n"
            "  unfinished store for `resume`.\n",
            runBackup};
}

}  // namespace parvola::cli
