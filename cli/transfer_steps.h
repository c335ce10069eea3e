#pragma once
// One file stored or read with its progress shown and its last line printed
// ("stored FOLDER\NAME", "saved PATH"), or the reason it was not, for the
// commands that move files (store, read, backup).
#include <string>

#include "catalog/catalog.h"
#include "cli/cli_session.h"

namespace parvola::cli {

// kExitOk, kExitFailure (the reason was shown), or kExitInterrupted after
// Ctrl-C cancelled it and what it had sent and cut was removed (with
// `saveUnfinished`, Ctrl-C ends the process instead, the store saved).
int storeOne(const CliSession& session, const std::string& localPath,
             const std::string& catalogFolder, bool saveUnfinished);

// Reads the file of `row` (in `catalogFolder`) into `saveFolder`, which is
// created when missing. Results as storeOne.
int readOne(const CliSession& session, const CatalogRow& row, const std::string& catalogFolder,
            const std::string& saveFolder, bool saveUnfinished);

}  // namespace parvola::cli
