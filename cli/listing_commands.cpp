// The commands that only read the catalog: ls, tree, bin and space answer
// from the catalog on this computer without the network (--refresh, or
// `sync`, brings the newest from the mailbox first), as text or, with
// --json, as one JSON document.
#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <sstream>

#include "catalog/catalog.h"
#include "catalog/catalog_path.h"
#include "catalog/folder_tree.h"
#include "cli/catalog_lookup.h"
#include "cli/cli_notice_box.h"
#include "cli/cli_session.h"
#include "cli/folder_path.h"
#include "cli/json_text.h"
#include "cli/option_parser.h"
#include "cli/text_width.h"
#include "presentation/size_text.h"
#include "presentation/view_rules.h"

namespace parvola::cli {
namespace {

constexpr long long kQuotaBytes = 524288000;  // 500 MiB, as the space line counts

void printRow(const std::string& type, const std::string& size, const std::string& time,
              const std::string& name) {
    std::cout << padToWidth(type, 8) << padToWidth(size, 16, true) << "  " << padToWidth(time, 19)
              << name << "\n";
}

const char* jsonType(const CatalogRow& row) {
    return row.type == kFileType ? "file" : "folder";
}

// What every listing command starts with: its options (--json, and the one
// argument `ls` takes), then the catalog on this computer of the remembered
// user. kExitOk when the command can go on.
struct ListingStart {
    bool json = false;
    std::string user;
    std::optional<std::string> argument;
};

int startListing(const std::vector<std::string>& args, const GlobalOptions& options,
                 bool takesArgument, ListingStart& start) {
    OptionParser parser(args);
    start.json = parser.flag("--json");
    if (takesArgument)
        start.argument = parser.positional(0);
    if (!parser.done(takesArgument ? 1 : 0))
        return kExitUsage;
    return openLocalCatalog(options, start.user);
}

int runLs(const std::vector<std::string>& args, const GlobalOptions& options) {
    ListingStart start;
    if (int rc = startListing(args, options, true, start); rc != kExitOk)
        return rc;
    Catalog catalog(start.user);
    const auto path = findLiveFolder(catalog, start.argument.value_or(""));
    if (!path) {
        printError("no such folder: " + catalogPath(*start.argument));
        return kExitFailure;
    }
    std::vector<CatalogRow> rows;
    catalog.listLevel(*path, rows);
    if (start.json) {
        std::ostringstream out;
        out << "{\"folder\": " << jsonString(*path) << ", \"items\": [";
        const char* separator = "";
        for (const CatalogRow& row : rows) {
            out << separator << "\n  {\"type\": \"" << jsonType(row)
                << "\", \"name\": " << jsonString(row.name)
                << ", \"path\": " << jsonString(joinPath(*path, row.name))
                << ", \"size\": " << row.size << ", \"created\": " << jsonTime(row.time) << "}";
            separator = ",";
        }
        // The top level ends with the recycle bin, as the account node does.
        if (path->empty())
            out << separator
                << "\n  {\"type\": \"recycle_bin\", \"name\": " << jsonString(kRecycleName) << "}";
        out << "\n]}\n";
        std::cout << out.str() << std::flush;
        return kExitOk;
    }
    for (const CatalogRow& row : rows)
        printRow(row.type, fileSizeText(row.size, row.type), row.time, row.name);
    if (path->empty())
        printRow(kFolderType, "", "", kRecycleName);
    std::cout.flush();
    return kExitOk;
}

void printTree(const std::vector<FolderTreeNode>& nodes, const std::string& indent) {
    for (size_t i = 0; i < nodes.size(); ++i) {
        bool last = i + 1 == nodes.size();
        std::cout << indent << (last ? "└─ " : "├─ ") << nodes[i].name << "\n";
        printTree(nodes[i].children, indent + (last ? "   " : "│  "));
    }
}

void jsonTree(std::ostream& out, const std::vector<FolderTreeNode>& nodes,
              const std::string& parent, const std::string& indent) {
    out << "[";
    const char* separator = "";
    for (const FolderTreeNode& node : nodes) {
        const std::string path = joinPath(parent, node.name);
        out << separator << "\n"
            << indent << "  {\"name\": " << jsonString(node.name)
            << ", \"path\": " << jsonString(path) << ", \"folders\": ";
        jsonTree(out, node.children, path, indent + "  ");
        out << "}";
        separator = ",";
    }
    if (!nodes.empty())
        out << "\n" << indent;
    out << "]";
}

int runTree(const std::vector<std::string>& args, const GlobalOptions& options) {
    ListingStart start;
    if (int rc = startListing(args, options, false, start); rc != kExitOk)
        return rc;
    Catalog catalog(start.user);
    FolderTree tree = walkFolderTree(catalog.document());
    if (start.json) {
        std::ostringstream out;
        out << "{\"account\": " << jsonString(tree.userName) << ", \"folders\": ";
        jsonTree(out, tree.folders, "", "");
        out << ", \"recycle_bin\": " << jsonString(tree.recycleName) << "}\n";
        std::cout << out.str() << std::flush;
        return kExitOk;
    }
    std::cout << tree.userName << "\n";
    std::vector<FolderTreeNode> nodes = tree.folders;
    nodes.push_back(FolderTreeNode{tree.recycleName, FolderImage::Common, {}});
    printTree(nodes, "");
    std::cout.flush();
    return kExitOk;
}

int runBin(const std::vector<std::string>& args, const GlobalOptions& options) {
    ListingStart start;
    if (int rc = startListing(args, options, false, start); rc != kExitOk)
        return rc;
    Catalog catalog(start.user);
    std::vector<CatalogRow> rows;
    catalog.listRecycleBin(rows);
    if (start.json) {
        std::ostringstream out;
        out << "{\"items\": [";
        const char* separator = "";
        for (const CatalogRow& row : rows) {
            const std::string path = recycledItemPath(row);
            std::string folder, name;
            splitItemPath(path, folder, name);
            out << separator << "\n  {\"type\": \"" << jsonType(row)
                << "\", \"name\": " << jsonString(row.name) << ", \"path\": " << jsonString(path)
                << ", \"folder\": " << jsonString(folder) << ", \"size\": " << row.size
                << ", \"deleted\": " << jsonTime(row.time) << "}";
            separator = ",";
        }
        out << (rows.empty() ? "]}\n" : "\n]}\n");
        std::cout << out.str() << std::flush;
        return kExitOk;
    }
    for (const CatalogRow& row : rows)
        printRow(row.type, fileSizeText(row.size, row.type), row.time, recycledItemPath(row));
    std::cout.flush();
    return kExitOk;
}

int runSpace(const std::vector<std::string>& args, const GlobalOptions& options) {
    ListingStart start;
    if (int rc = startListing(args, options, false, start); rc != kExitOk)
        return rc;
    Catalog catalog(start.user);
    long long files = 0, weighted = 0;
    if (catalog.spaceUsed(files, weighted) != 0) {
        printError("the catalog has no space figures");
        return kExitFailure;
    }
    if (start.json) {
        XmlDoc& doc = catalog.document();
        doc.resetPosition();
        doc.findNext("User");
        const long long stored = std::atoll(doc.attribute("SUM").c_str());
        std::cout << "{\"files\": " << files << ", \"stored_bytes\": " << stored
                  << ", \"weighted_bytes\": " << weighted << ", \"quota_bytes\": " << kQuotaBytes
                  << ", \"available_bytes\": " << std::max(0LL, kQuotaBytes - weighted) << "}"
                  << std::endl;
        return kExitOk;
    }
    std::cout << spaceLineText(files, weighted) << std::endl;
    return kExitOk;
}

int runSync(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    if (!parser.done(0))
        return kExitUsage;
    CliSession session;
    if (int rc = openSession(options, session); rc != kExitOk)
        return rc;
    Catalog catalog(session.user());
    long long files = 0, weighted = 0;
    catalog.spaceUsed(files, weighted);
    std::cout << "catalog of " << session.user() << ": version " << catalog.version() << ", "
              << files << (files == 1 ? " file" : " files") << std::endl;
    finishSession();
    return kExitOk;
}

const char* const kLocalNote =
    "  Answers from the catalog on this computer, without the network; --refresh\n"
    "  (or parvola-cli sync) brings the newest catalog from the mailbox first.\n";

}  // namespace

Command lsCommand() {
    return {
        "ls", "list a folder",
        std::string("usage: parvola-cli ls [FOLDER] [--json]\n"
                    "  Lists the folders, then the files, of FOLDER; without FOLDER the\n"
                    "  account's top level: its folders, the files kept there, the recycle bin.\n"
                    "  Folder paths are written as the catalog writes them (我的文档\\自定义);\n"
                    "  / works too.\n") +
            kLocalNote +
            "  --json: {\"folder\": PATH, \"items\": [{\"type\": \"folder\"|\"file\"|\n"
            "  \"recycle_bin\", \"name\", \"path\", \"size\" (bytes), \"created\" (ISO 8601)}]}\n",
        runLs};
}
Command treeCommand() {
    return {"tree", "show the folder tree",
            std::string("usage: parvola-cli tree [--json]\n"
                        "  Shows every live folder, then the recycle bin.\n") +
                kLocalNote +
                "  --json: {\"account\", \"folders\": [{\"name\", \"path\", \"folders\": [...]}],\n"
                "  \"recycle_bin\": NAME}\n",
            runTree};
}
Command binCommand() {
    return {
        "bin", "list the recycle bin",
        std::string("usage: parvola-cli bin [--json]\n"
                    "  Lists the recycle bin, each item with the path it had.\n") +
            kLocalNote +
            "  --json: {\"items\": [{\"type\": \"folder\"|\"file\", \"name\", \"path\" (where it\n"
            "  was), \"folder\" (the folder it was in), \"size\" (bytes), \"deleted\" (ISO "
            "8601)}]}\n",
        runBin};
}
Command spaceCommand() {
    return {"space", "show the space line",
            std::string("usage: parvola-cli space [--json]\n"
                        "  Shows total, used and available space and the file count (stored bytes\n"
                        "  weigh 1.2 against the 500 MiB quota).\n") +
                kLocalNote +
                "  --json: {\"files\", \"stored_bytes\", \"weighted_bytes\", \"quota_bytes\",\n"
                "  \"available_bytes\"}\n",
            runSpace};
}
Command syncCommand() {
    return {"sync", "bring the newest catalog from the mailbox",
            "usage: parvola-cli sync\n"
            "  Logs in and brings the newest catalog from the mailbox to this computer,\n"
            "  where ls, tree, bin and space read it.\n",
            runSync};
}

}  // namespace parvola::cli
