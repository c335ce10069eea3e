#pragma once
// What the pipeline tests share: an application directory whose deploy.ini
// points every provider row at its own loopback address of the real mail
// server, accounts logged in by hand, injected shutdown and shell routines, a
// recording notice box, and helpers that look into the mailbox over POP3.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/ini_settings.h"
#include "app/process_state.h"
#include "catalog/catalog.h"
#include "catalog/catalog_hooks.h"
#include "mail/mime_reader_text.h"
#include "mail/pop3_connection.h"
#include "platform/notice_box.h"
#include "platform/system_hooks.h"
#include "platform/worker_threads.h"
#include "tests/support/mail_stack.h"
#include "tests/support/temp_dir.h"
#include "transfer/account_keys.h"
#include "transfer/pause_state.h"
#include "transfer/piece_subject.h"
#include "transfer/task_list.h"
#include "transfer/transfer_workers.h"

namespace parvola::test {

inline constexpr long long kMiB = 1048576;
inline constexpr const char* kDocuments = "我的文档";
inline constexpr const char* kPictures = "我的图片";

// Waits for `condition` to hold, looking every 10 ms; false when `limit` passed.
inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Calls `onChange` (on the transferring thread, under the tasks role) after
// every progress change of a row, with the records as they are then; and
// `onAdded`, `onRemoved` after a row came or went.
class ProgressWatcher : public TaskListListener {
  public:
    using Handler = std::function<void(const std::vector<TransferTask>& records)>;
    explicit ProgressWatcher(Handler onChange, Handler onAdded = {}, Handler onRemoved = {})
        : onChange_(std::move(onChange)),
          onAdded_(std::move(onAdded)),
          onRemoved_(std::move(onRemoved)) {
        taskList().addListener(this);
    }
    ~ProgressWatcher() override { taskList().removeListener(this); }

    void rowAdded(int, const TaskRowTexts&) override {
        if (onAdded_)
            onAdded_(taskList().tasks());
    }
    void rowRemoved(int) override {
        if (onRemoved_)
            onRemoved_(taskList().tasks());
    }
    void progressTextChanged(int, const std::string&) override {
        if (onChange_)
            onChange_(taskList().tasks());
    }
    void speedTextChanged(int, const std::string&) override {}
    void rowsRebuilt(const std::vector<TaskRowTexts>&) override {}

  private:
    Handler onChange_;
    Handler onAdded_;
    Handler onRemoved_;
};

// The subjects of every message in the mailbox, oldest first.
inline std::vector<std::string> mailboxSubjects(const MailboxAccount& account) {
    std::vector<std::string> subjects;
    Pop3Connection pop3;
    if (!pop3.Connect(account.pop3Host, account.mailboxUser, account.mailboxPassword,
                      account.pop3Port))
        return {"<no connection>"};
    int count = 0, total = 0;
    if (!pop3.Statistics(count, total))
        return {"<no STAT>"};
    for (int n = 1; n <= count; ++n) {
        std::string header;
        if (!pop3.GetMessageHeader(n, header))
            return {"<no TOP>"};
        subjects.push_back(MimeMessageText(header).GetSubject());
    }
    pop3.Disconnect();
    return subjects;
}

// The parsed piece subjects in the mailbox of the file with this name and id.
inline std::vector<PieceSubject> pieceMails(const MailboxAccount& account,
                                            const std::string& fileName, int fileId) {
    std::vector<PieceSubject> pieces;
    for (const std::string& text : mailboxSubjects(account)) {
        if (!looksLikePieceSubject(text))
            continue;
        const PieceSubject s = parseSubject(text);
        if (s.fileName == fileName && s.fileId == fileId)
            pieces.push_back(s);
    }
    return pieces;
}

inline int pieceMailCount(const MailboxAccount& account) {
    int count = 0;
    for (const std::string& text : mailboxSubjects(account))
        count += looksLikePieceSubject(text) ? 1 : 0;
    return count;
}

// Deletes the piece mail of `fileName` with this index (DELE, then QUIT).
inline bool deletePieceMail(const MailboxAccount& account, const std::string& fileName, int index) {
    Pop3Connection pop3;
    if (!pop3.Connect(account.pop3Host, account.mailboxUser, account.mailboxPassword,
                      account.pop3Port))
        return false;
    int count = 0, total = 0;
    if (!pop3.Statistics(count, total))
        return false;
    bool deleted = false;
    for (int n = 1; n <= count; ++n) {
        std::string header;
        if (!pop3.GetMessageHeader(n, header))
            return false;
        const std::string text = MimeMessageText(header).GetSubject();
        if (!looksLikePieceSubject(text))
            continue;
        const PieceSubject s = parseSubject(text);
        if (s.fileName == fileName && s.pieceIndex == index)
            deleted = pop3.Delete(n) || deleted;
    }
    return pop3.Disconnect() && deleted;
}

// One test's world: its own application directory, users and routines.
class PipelineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(MailStack::running());
        writeDeployIni(home.path());
        setShutdownRoutine([this] {
            shutdowns.fetch_add(1);
            return true;
        });
        setShellOpenRoutine([this](const std::string& target) {
            std::lock_guard<std::mutex> guard(openedMutex);
            opened.push_back(target);
            return true;
        });
        installTransferEngine();
        // The build runs the pipeline tests once more with another number of
        // connections per transfer (PARVOLA_TEST_CONNECTIONS); without it
        // they run with the default.
        if (const char* connections = std::getenv("PARVOLA_TEST_CONNECTIONS")) {
            ASSERT_TRUE(IniSettings().writeConnections(std::atoi(connections)));
        }
        engineHooks = catalogHooks();
        engineHooks.notify = [](const std::string&) {};
        // No web service and no catalog mails here: only the piece mails the
        // tests count are in the mailbox. The purge's clean-up stays.
        CatalogHooks hooks = engineHooks;
        hooks.notify = [](const std::string&) {};
        hooks.startCatalogMail = nullptr;
        setCatalogHooks(hooks);
        taskList().clear();
        forgetAllAccountKeys();  // an encrypted account of an earlier test is not this one's
        resumeTransfers();
        processValues().shutdownWhenDone.store(false);
        processValues().filesDownloaded.store(false);
    }

    void TearDown() override {
        resumeTransfers();
        EXPECT_TRUE(waitForWorkers(std::chrono::seconds(120)));
        taskList().clear();
        clearLoggedInAccounts();
        forgetAllAccountKeys();
        setShutdownRoutine({});
        setShellOpenRoutine({});
    }

    // deploy.ini: sina 127.0.0.1, sohu .2, tom .3, 21cn .4, sogou .5, qq .6,
    // foxmail .7 (127.0.0.8 belongs to no row), all on the test server's ports.
    static void writeDeployIni(const std::filesystem::path& home) {
        const char* rows[] = {"sina", "sohu", "tom", "21cn", "sogou", "qq", "foxmail"};
        std::string text = "[ports]\nsmtp=" + std::to_string(MailStack::smtpPort()) +
                           "\npop3=" + std::to_string(MailStack::pop3Port()) + "\n";
        for (int i = 0; i < 7; ++i) {
            const std::string address = "127.0.0." + std::to_string(i + 1);
            text += std::string("[") + rows[i] + "]\nsmtp=" + address + "\npop3=" + address + "\n";
        }
        writeFile(home / "deploy.ini", text);
    }

    // A fresh mailbox user of `domain` ("sohu", "qq", "other", ...), logged in
    // with a new catalog; the account's servers are the row's loopback address.
    static MailboxAccount login(const std::string& domain) {
        static const std::vector<std::string> order = {"sina",  "sohu", "tom",     "21cn",
                                                       "sogou", "qq",   "foxmail", "other"};
        size_t row = 0;
        while (row < order.size() && order[row] != domain)
            ++row;
        const std::string name = MailStack::uniqueUser("pipe");
        EXPECT_TRUE(MailStack::addUser(name, "pw"));
        const std::string address = name + "@" + domain + ".test";
        MailboxAccount account(address, "secret");
        account.loginAddress = address;
        account.mailboxAddress = address;
        account.mailboxUser = name;
        account.mailboxPassword = "pw";
        account.smtpHost = account.pop3Host = "127.0.0." + std::to_string(row + 1);
        account.smtpPort = MailStack::smtpPort();
        account.pop3Port = MailStack::pop3Port();
        EXPECT_TRUE(addLoggedInAccount(account));
        Catalog catalog(address);
        EXPECT_EQ(catalog.createNew(address), 0);
        return account;
    }

    // The catalog record of a file; a default row when there is none.
    static CatalogRow fileRecord(const std::string& user, const std::string& folder,
                                 const std::string& name) {
        Catalog catalog(user);
        std::vector<CatalogRow> rows;
        catalog.listFolder(folder, rows);
        for (const CatalogRow& row : rows)
            if (row.name == name && row.type == kFileType)
                return row;
        return {};
    }

    // Writes `bytes` into the source folder under `name`; its full path.
    std::string source(const std::string& name, const std::string& bytes) {
        const auto path = sources.path() / name;
        writeFile(path, bytes);
        return path.string();
    }

    // Reads a stored file back into `folder` through the download worker's body.
    static DownloadOutcome readBack(const std::string& user, const CatalogRow& record,
                                    const std::string& folder, bool openWhenDone = false) {
        DownloadInputs inputs;
        inputs.saveFolder = folder;
        inputs.storedSubject = record.subject;
        inputs.fileName = record.name;
        inputs.fileSize = record.size;
        inputs.catalogFolder = record.path;
        inputs.openWhenDone = openWhenDone;
        return runDownloadWorker(user, inputs);
    }

    std::vector<std::string> openedTargets() {
        std::lock_guard<std::mutex> guard(openedMutex);
        return opened;
    }

    CatalogHooks engineHooks;  // as the engine installed them (no web service)
    AppHome home;
    TempDir sources{"parvola-sources"};
    TempDir saves{"parvola-saves"};
    ScopedRecordingNoticeBox notices;
    std::atomic<int> shutdowns{0};
    std::mutex openedMutex;
    std::vector<std::string> opened;
};

}  // namespace parvola::test
