// The transfer engine over a recording mailbox: the account names no server
// that answers, so whatever the engine did past the Mailbox seam would fail.
// What is recorded is everything the store, the catalog mail, the download
// (with its subject cache), the trim and the removal ask of the mailbox.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/ini_settings.h"
#include "app/process_state.h"
#include "catalog/catalog.h"
#include "catalog/catalog_hooks.h"
#include "tests/support/temp_dir.h"
#include "transfer/catalog_mail_worker.h"
#include "transfer/catalog_sync.h"
#include "transfer/download_pipeline.h"
#include "transfer/mailbox_factory.h"
#include "transfer/piece_search.h"
#include "transfer/upload_pipeline.h"

namespace parvola::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUser = "seam@sina.test";
constexpr const char* kFolder = "我的文档";

using Calls = std::vector<std::string>;

// The calls that mark deletions or end a session.
Calls endings(const Calls& calls) {
    Calls kept;
    for (const std::string& call : calls)
        if (call.rfind("delete", 0) == 0 || call == "close" || call == "abandon")
            kept.push_back(call);
    return kept;
}

struct StoredMessage {
    std::string id;
    std::string subject;
    std::string attachmentName;
    std::string bytes;
};

// The mailbox's messages (oldest first) and every call made on it.
struct MailboxRecord {
    std::vector<StoredMessage> messages;
    Calls calls;
    std::string unreadableId;  // reading this message's subject fails
    std::string alteredId;     // this message's attachment differs from its digest
    int nextId = 1;

    void add(const std::string& subject, const std::string& name = "",
             const std::string& bytes = "") {
        messages.push_back({"id" + std::to_string(nextId++), subject, name, bytes});
    }
    Calls takeCalls() { return std::exchange(calls, {}); }
};

class RecordingMailbox : public Mailbox {
  public:
    explicit RecordingMailbox(MailboxRecord& record) : record_(record) {}

    bool open() override {
        call("open");
        listing_ = record_.messages;
        open_ = true;
        return true;
    }
    int messageCount() const override { return open_ ? static_cast<int>(listing_.size()) : -1; }
    bool stableIds(std::vector<std::string>& ids) override {
        call("ids");
        for (const StoredMessage& message : listing_)
            ids.push_back(message.id);
        return true;
    }
    bool messageSize(int number, uint32_t& size) override {
        call("size", number);
        size = static_cast<uint32_t>(at(number).subject.size() + at(number).bytes.size());
        return true;
    }
    bool readSubject(int number, std::string& subject) override {
        call("subject", number);
        subject = at(number).subject;
        return at(number).id != record_.unreadableId;
    }
    AttachmentSave saveAttachments(int number, const std::string& folder, int,
                                   ProgressSink*) override {
        call("save", number);
        if (at(number).id == record_.alteredId)
            return AttachmentSave::Altered;
        writeFile(fs::path(folder) / at(number).attachmentName, at(number).bytes);
        return AttachmentSave::Saved;
    }
    AttachmentSave streamAttachment(int number, AttachmentOutput& output, int,
                                    ProgressSink*) override {
        call("save", number);
        if (at(number).id == record_.alteredId)
            return AttachmentSave::Altered;
        const bool taken = output.begin() && output.write(at(number).bytes) && output.end();
        return taken ? AttachmentSave::Saved : AttachmentSave::Failed;
    }
    bool markDeleted(int number) override {
        call("delete", number);
        marked_.push_back(at(number).id);
        return true;
    }
    bool close() override {
        call("close");
        std::erase_if(record_.messages, [this](const StoredMessage& m) {
            return std::find(marked_.begin(), marked_.end(), m.id) != marked_.end();
        });
        return end();
    }
    void abandon() override {
        if (open_)
            call("abandon");
        end();
    }
    int store(const StoreMail& mail, std::string*) override {
        call("store " + mail.subject);
        const fs::path file(mail.attachmentPath);
        record_.add(mail.subject, file.filename().string(), readFile(file));
        return 0;
    }

  private:
    void call(const std::string& what, int number = 0) {
        record_.calls.push_back(number > 0 ? what + " " + std::to_string(number) : what);
    }
    const StoredMessage& at(int number) const { return listing_.at(number - 1); }
    bool end() {
        listing_.clear();
        marked_.clear();
        return std::exchange(open_, false);
    }

    MailboxRecord& record_;
    std::vector<StoredMessage> listing_;
    std::vector<std::string> marked_;
    bool open_ = false;
};

class MailboxSeam : public ::testing::Test {
  protected:
    void SetUp() override {
        savedFactory_ = setMailboxFactory(
            [this](const MailboxAccount&) { return std::make_unique<RecordingMailbox>(record); });
        savedHooks_ = catalogHooks();
        CatalogHooks quiet = savedHooks_;
        quiet.notify = [](const std::string&) {};
        quiet.startCatalogMail = [this](const std::string& user) {
            catalogMailsAsked.push_back(user);
        };
        setCatalogHooks(quiet);
        // Nothing listens on port 1: a way around the seam could only fail.
        account = MailboxAccount(kUser, "pw");
        account.loginAddress = account.mailboxAddress = kUser;
        account.mailboxUser = "seam";
        account.mailboxPassword = "pw";
        account.smtpHost = account.pop3Host = "127.0.0.1";
        account.smtpPort = account.pop3Port = 1;
        ASSERT_TRUE(addLoggedInAccount(account));
        // The calls of one connection, in the order it makes them.
        ASSERT_TRUE(IniSettings().writeConnections(1));
        ASSERT_EQ(Catalog(kUser).createNew(kUser), 0);
        catalogMailsAsked.clear();
    }
    void TearDown() override {
        clearLoggedInAccounts();
        setCatalogHooks(savedHooks_);
        setMailboxFactory(savedFactory_);
    }

    // Downloads the stored file into a fresh folder; its bytes, "<altered>"
    // for a piece changed in the mailbox, or "<failed>".
    std::string download(const std::string& storedSubject) {
        DownloadInputs inputs;
        inputs.saveFolder = (saves / std::to_string(++downloads)).string();
        inputs.storedSubject = storedSubject;
        inputs.fileName = "big.bin";
        std::string saved;
        switch (DownloadFile(account, kUser, inputs, saved, list)) {
            case DownloadOutcome::Saved:
                return readFile(saved);
            case DownloadOutcome::PieceAltered:
                return "<altered>";
            default:
                return "<failed>";
        }
    }

    AppHome home;
    TempDir files, saves;
    MailboxRecord record;
    MailboxAccount account;
    TaskList list;
    std::vector<std::string> catalogMailsAsked;
    int downloads = 0;

  private:
    MailboxFactory savedFactory_;
    CatalogHooks savedHooks_;
};

TEST_F(MailboxSeam, AStoreIsOneCallPerPieceAndADownloadReadsEachSubjectOnce) {
    record.add("hello");
    const std::string bytes = randomBytes(10 * 1048576 + 5, 7);  // two pieces of 10 MiB at most
    writeFile(files / "big.bin", bytes);
    UploadRequest request{kUser, account, (files / "big.bin").string(), kFolder};
    ASSERT_EQ(UploadFile(request, list), UploadOutcome::Stored);
    ASSERT_EQ(record.calls.size(), 2u);
    for (int index = 1; index <= 2; ++index) {
        const StoredMessage& piece = record.messages[static_cast<size_t>(index)];
        EXPECT_EQ(record.calls[static_cast<size_t>(index - 1)], "store " + piece.subject);
        const PieceSubject subject = parseSubject(piece.subject);
        EXPECT_EQ(subject.fileName, "big.bin");
        EXPECT_EQ(subject.pieceCount, 2);
        EXPECT_EQ(subject.pieceIndex, index);
        EXPECT_EQ(piece.attachmentName, std::to_string(index));
        EXPECT_EQ(piece.bytes, bytes.substr(static_cast<size_t>(index - 1) * 10 * 1048576,
                                            static_cast<size_t>(subject.pieceLength)));
    }
    record.calls.clear();

    // The catalog change mails the catalog: one session that looks for a
    // catalog mailed meanwhile by another computer (reading each subject
    // once, deleting nothing), then one more store.
    ASSERT_EQ(catalogMailsAsked, std::vector<std::string>{kUser});
    ASSERT_EQ(mailCatalogNow(kUser), 0);
    const Calls catalogMail = record.takeCalls();
    ASSERT_EQ(catalogMail.size(), 10u) << ::testing::PrintToString(catalogMail);
    EXPECT_EQ(Calls(catalogMail.begin(), catalogMail.end() - 1),
              (Calls{"open", "ids", "size 3", "subject 3", "size 2", "subject 2", "size 1",
                     "subject 1", "close"}));
    EXPECT_EQ(catalogMail.back().rfind("store PARVOLCONFIG", 0), 0u) << catalogMail.back();
    EXPECT_EQ(record.messages.back().attachmentName, std::string(kUser) + "_config.zip");

    // Messages 2 and 3 are the pieces, 4 the catalog mail. One session reads
    // the subjects it does not know yet (the catalog mail's look at the
    // mailbox read the others), once for both searches.
    const std::string stored = record.messages[1].subject;
    EXPECT_EQ(download(stored), bytes);
    EXPECT_EQ(record.takeCalls(), (Calls{"open", "ids", "size 4", "subject 4", "size 3", "size 2",
                                         "save 2", "save 3", "close"}));
    // The next session knows every subject from the cache: ids and sizes only.
    EXPECT_EQ(download(stored), bytes);
    EXPECT_EQ(record.takeCalls(),
              (Calls{"open", "ids", "size 4", "size 3", "size 2", "save 2", "save 3", "close"}));
    // A piece changed in the mailbox ends the download with its own result.
    record.alteredId = record.messages[2].id;
    EXPECT_EQ(download(stored), "<altered>");
    EXPECT_EQ(record.takeCalls().back(), "abandon");
}

TEST_F(MailboxSeam, DeletionsHappenOnlyWhenTheSessionClosesAndAFailedRemovalDeletesNothing) {
    const std::string piece1 = "PARVOL:;a.bin;5;1;4;0000000000;2;1";
    record.add(piece1, "1", "AAAA");
    for (int version = 1; version <= 12; ++version)
        record.add(CatalogSubject(version, 1256450000 + version, kUser));
    record.add("PARVOL:;a.bin;5;1;2;0000000000;2;2", "2", "BB");

    // The trim keeps the ten newest catalog mails: messages 3 and 2 go.
    EXPECT_EQ(SyncCatalog(kUser, account, SyncMode::Trim), kSyncNoCatalog);
    EXPECT_EQ(endings(record.takeCalls()), (Calls{"delete 3", "delete 2", "close"}));
    EXPECT_EQ(record.messages.size(), 12u);

    // Pieces are 1 and 12 now. A subject that cannot be read abandons the
    // removal before anything is marked.
    record.add("news");
    record.unreadableId = record.messages.back().id;
    EXPECT_EQ(RemovePieceMails(account, piece1), -1);
    EXPECT_EQ(endings(record.takeCalls()), Calls{"abandon"});
    EXPECT_EQ(record.messages.size(), 13u);

    // Only the new mail's subject is read; the trim left the others cached.
    record.unreadableId.clear();
    EXPECT_EQ(RemovePieceMails(account, piece1), 2);
    const Calls calls = record.takeCalls();
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                            [](const std::string& c) { return c.rfind("subject", 0) == 0; }),
              1);
    EXPECT_EQ(endings(calls), (Calls{"delete 12", "delete 1", "close"}));
    EXPECT_EQ(record.messages.size(), 11u);
}

}  // namespace
}  // namespace parvola::test
