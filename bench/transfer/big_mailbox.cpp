// Times login, store and read on a mailbox of thousands of ordinary mails,
// most with large attachments, written straight into the server's Maildir
// (the same mailbox the fault test builds, whose results it asserts).
//
//   bench_big_mailbox MAILSTACK_DIR SMTP_PORT POP3_PORT USER PASSWORD [COUNT]
//                     [CATALOG_MAILS] [IMAP_PORT]
//
// USER must be a fresh mailbox user of the running test server (fixture.sh
// start DIR SMTP POP3; mailstack.sh adduser DIR USER PASSWORD). The provider
// row "sohu" (pieces of 6 MiB) is 127.0.0.2. CATALOG_MAILS (1 unless given)
// catalog mails, each after a change of the catalog, are stored before the
// COUNT ordinary mails. With IMAP_PORT the first login is timed once more
// over IMAP (catalog and subject cache removed first). To count the
// commands of each login, point POP3_PORT and IMAP_PORT at
// `bench_link_relay 0 0 127.0.0.2 ... --to 127.0.0.2 --count`.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/process_state.h"
#include "catalog/catalog.h"
#include "catalog/catalog_hooks.h"
#include "mail/pop3_connection.h"
#include "platform/notice_box.h"
#include "platform/worker_threads.h"
#include "tests/faults/bulk_maildir.h"
#include "tests/support/temp_dir.h"
#include "transfer/catalog_sync.h"
#include "transfer/mailbox_index.h"
#include "transfer/task_list.h"
#include "transfer/transfer_workers.h"

using namespace parvola;
using namespace parvola::test;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr,
                     "usage: bench_big_mailbox MAILSTACK_DIR SMTP_PORT POP3_PORT USER PASSWORD "
                     "[COUNT]\n");
        return 2;
    }
    const std::string stack = argv[1];
    const int count = argc > 6 ? std::atoi(argv[6]) : 5000;
    const int catalogMails = argc > 7 ? std::max(1, std::atoi(argv[7])) : 1;
    const int imapPort = argc > 8 ? std::atoi(argv[8]) : 0;
    TempDir home("parvola-bench-home");
    ScopedEnv appHome("PARVOLA_HOME", home.str());
    writeFile(home / "deploy.ini", std::string("[ports]\nsmtp=") + argv[2] + "\npop3=" + argv[3] +
                                       "\n[sohu]\nsmtp=127.0.0.2\npop3=127.0.0.2\n");
    ScopedRecordingNoticeBox notices;
    installTransferEngine();
    CatalogHooks hooks = catalogHooks();
    const auto mailCatalog = hooks.startCatalogMail;
    hooks.notify = [](const std::string&) {};
    hooks.startCatalogMail = nullptr;
    setCatalogHooks(hooks);

    MailboxAccount account(std::string(argv[4]) + "@sohu.test", "secret");
    account.loginAddress = account.mailboxAddress = std::string(argv[4]) + "@sohu.test";
    account.mailboxUser = argv[4];
    account.mailboxPassword = argv[5];
    account.smtpHost = account.pop3Host = "127.0.0.2";
    account.smtpPort = std::atoi(argv[2]);
    account.pop3Port = std::atoi(argv[3]);
    addLoggedInAccount(account);
    const std::string user = account.loginAddress;
    Catalog(user).createNew(user);
    Catalog(user).addFolder("", "旧照片");
    for (int k = 0; k < catalogMails; ++k) {
        if (k > 0)
            Catalog(user).addFolder("", "旧照片 " + std::to_string(k));
        mailCatalog(user);
        waitForWorkers(std::chrono::seconds(60));
    }
    std::printf("catalog mails stored: %d\n", catalogMails);
    std::fflush(stdout);

    auto start = Clock::now();
    const BulkMailbox bulk =
        fillMaildir(stack + "/mail/" + account.mailboxUser + "/Maildir", user, count);
    std::printf("fill Maildir: %d mails, %.1f MiB, %.2f s\n", bulk.messages,
                static_cast<double>(bulk.bytes) / 1048576.0, secondsSince(start));

    start = Clock::now();
    {
        Pop3Connection pop3;
        int messages = 0, total = 0;
        const bool ok = pop3.Connect(account.pop3Host, account.mailboxUser, account.mailboxPassword,
                                     account.pop3Port) &&
                        pop3.Statistics(messages, total);
        pop3.Disconnect();
        std::printf(
            "first POP3 session (server indexes the new mails), STAT: %s, %d mails, "
            "%.2f s\n",
            ok ? "ok" : "FAILED", messages, secondsSince(start));
    }

    std::filesystem::remove(home / (user + "_config"));
    account.catalogFlag = 1;
    start = Clock::now();
    const int login = CatalogLoginStep(account);
    const std::string newest = "旧照片 " + std::to_string(catalogMails - 1);
    auto foundNewest = [&] {
        return Catalog(user).exists("", catalogMails > 1 ? newest : "旧照片", "Folder") ==
               CatalogPresence::Live;
    };
    std::printf(
        "login catalog step over POP3 (newest catalog mail found under all of them): "
        "%s, %.2f s\n",
        login == 0 && foundNewest() ? "ok" : "FAILED", secondsSince(start));
    std::fflush(stdout);

    bool imapLogin = true;
    if (imapPort != 0) {
        MailboxAccount overImap = account;
        overImap.reader = MailboxReader::Imap;
        overImap.imapHost = "127.0.0.2";
        overImap.imapPort = imapPort;
        std::filesystem::remove(home / (user + "_config"));
        std::filesystem::remove_all(std::filesystem::path(mailboxCachePath("x")).parent_path());
        start = Clock::now();
        imapLogin = CatalogLoginStep(overImap) == 0 && foundNewest();
        std::printf("login catalog step over IMAP (the same, no subject cache): %s, %.2f s\n",
                    imapLogin ? "ok" : "FAILED", secondsSince(start));
        std::fflush(stdout);
    }

    const std::string bytes = randomBytes(6 * 1048576 + 1, 64);
    writeFile(home / "new.bin", bytes);
    start = Clock::now();
    const bool stored =
        runUploadWorker(user, (home / "new.bin").string(), "我的文档") == UploadOutcome::Stored;
    std::printf("store of 6 MiB + 1 byte (2 pieces): %s, %.2f s\n", stored ? "ok" : "FAILED",
                secondsSince(start));

    std::vector<CatalogRow> rows;
    Catalog catalog(user);
    catalog.listFolder("我的文档", rows);
    DownloadInputs inputs;
    for (const CatalogRow& row : rows) {
        if (row.name == "new.bin") {
            inputs.storedSubject = row.subject;
            inputs.fileName = row.name;
            inputs.fileSize = row.size;
        }
    }
    TempDir saves("parvola-bench-saves");
    inputs.saveFolder = saves.str();
    inputs.catalogFolder = "我的文档";
    start = Clock::now();
    const bool same = runDownloadWorker(user, inputs) == DownloadOutcome::Saved &&
                      readFile(saves / "new.bin") == bytes;
    std::printf("read back (2 pieces, then the trim of the catalog mails): %s, %.2f s\n",
                same ? "ok" : "FAILED", secondsSince(start));
    waitForWorkers(std::chrono::seconds(60));
    return stored && same && login == 0 && imapLogin ? 0 : 1;
}
