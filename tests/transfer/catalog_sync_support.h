#pragma once
// Helpers for the catalog synchronisation, login and exit tests: recording
// catalog hooks, a shell runner, the files left in an application directory,
// and a mailbox reader that waits for deliveries with a bound.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "catalog/catalog_hooks.h"
#include "mail/mailbox_account.h"
#include "mail/mime_reader_text.h"
#include "mail/pop3_connection.h"
#include "tests/support/mail_stack.h"

namespace parvola::test {

// Replaces the catalog hooks for the lifetime of the object: posts are
// recorded, the catalog mail and the piece clean-up start nothing unless the
// test installs its own.
class RecordingCatalogHooks {
  public:
    RecordingCatalogHooks() {
        CatalogHooks hooks;
        hooks.notify = [this](const std::string& form) {
            std::lock_guard<std::mutex> guard(mutex_);
            forms_.push_back(form);
        };
        previous_ = setCatalogHooks(hooks);
    }
    ~RecordingCatalogHooks() { setCatalogHooks(previous_); }
    RecordingCatalogHooks(const RecordingCatalogHooks&) = delete;
    RecordingCatalogHooks& operator=(const RecordingCatalogHooks&) = delete;

    std::vector<std::string> forms() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return forms_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> forms_;
    CatalogHooks previous_;
};

// Every entry under `dir` whose name ends in ".zip" or starts with the
// catalog scratch prefix: what a finished sync or mail must not leave behind.
inline std::vector<std::string> strayCatalogFiles(const std::filesystem::path& dir) {
    std::vector<std::string> stray;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(".catalog-", 0) == 0 ||
            (name.size() > 4 && name.compare(name.size() - 4, 4, ".zip") == 0))
            stray.push_back(entry.path().string());
    }
    return stray;
}

// The deploy.ini that points the "sina" row at the test mail server.
inline std::string mailDeployIni() {
    return "[ports]\nsmtp=" + std::to_string(MailStack::smtpPort()) +
           "\npop3=" + std::to_string(MailStack::pop3Port()) +
           "\n[sina]\nsmtp=127.0.0.1\npop3=127.0.0.1\n";
}

// An account of the test mail server as VerifyLogin would leave it, with the
// login address equal to the mailbox address user@sina.test.
inline MailboxAccount mailAccount(const std::string& user, const std::string& password,
                                  int catalogFlag = 1000) {
    MailboxAccount account(user + "@sina.test", password);
    account.loginAddress = account.typedAddress;
    account.mailboxAddress = account.typedAddress;
    account.mailboxPassword = password;
    account.catalogFlag = catalogFlag;
    account.mailboxUser = user;
    account.smtpHost = "127.0.0.1";
    account.pop3Host = "127.0.0.1";
    account.smtpPort = MailStack::smtpPort();
    account.pop3Port = MailStack::pop3Port();
    return account;
}

// The subjects in the mailbox, oldest first; empty with `ok` false on failure.
inline std::vector<std::string> mailboxSubjects(const MailboxAccount& account, bool* ok = nullptr) {
    std::vector<std::string> subjects;
    Pop3Connection pop3;
    bool good = pop3.Connect("127.0.0.1", account.mailboxUser, account.mailboxPassword,
                             MailStack::pop3Port());
    int count = 0, total = 0;
    good = good && pop3.Statistics(count, total);
    for (int n = 1; good && n <= count; ++n) {
        std::string header;
        good = pop3.GetMessageHeader(n, header);
        subjects.push_back(MimeMessageText(header).GetSubject());
    }
    pop3.Disconnect();
    if (ok)
        *ok = good;
    if (!good)
        subjects.clear();
    return subjects;
}

// Polls the mailbox until `done` holds for its subjects, at most `limit`.
inline bool waitForMailbox(const MailboxAccount& account,
                           const std::function<bool(const std::vector<std::string>&)>& done,
                           std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        bool ok = false;
        std::vector<std::string> subjects = mailboxSubjects(account, &ok);
        if (ok && done(subjects))
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // poll interval
    }
}

inline bool waitForMailCount(const MailboxAccount& account, size_t count) {
    return waitForMailbox(account,
                          [count](const std::vector<std::string>& s) { return s.size() >= count; });
}

}  // namespace parvola::test
