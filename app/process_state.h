#pragma once
// Process-wide state that commands hand to worker threads: the accounts
// logged in during this run and a few values. Guarded by the shared lock's roles.
#include <atomic>
#include <string>
#include <vector>

#include "mail/mailbox_account.h"

namespace parvola {

// Every mailbox logged in during this run, in login order (accounts role).
std::vector<MailboxAccount>& loggedInAccounts();

// Copies the first account whose typed address equals `name` (exact,
// case-sensitive) into `record` under the accounts role: 0, or -1 when none.
int findLoggedInAccount(const std::string& name, MailboxAccount& record);
// Appends under the accounts role; false when the typed address is already there.
bool addLoggedInAccount(const MailboxAccount& account);
// Removes every account (tests and logout).
void clearLoggedInAccounts();

// The values the download commands hand to the next download worker.
struct DownloadRequest {
    std::string folder;    // current download folder
    std::string fileName;  // file to download
    std::string subject;   // its stored subject
    long long size = 0;
};

struct ProcessValues {
    std::atomic<bool> filesDownloaded{false};  // a file was saved during this run
    std::atomic<bool> shutdownWhenDone{false};
};

ProcessValues& processValues();

}  // namespace parvola
