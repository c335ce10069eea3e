// A file of ten pieces stored and read back over four connections at once
// against the real mail server: the pieces travel side by side, yet every
// index is mailed once under its own subject, the catalog gets one exact
// record after the last piece, the row's progress never goes back, and the
// file reads back byte for byte with nothing left in "temp".
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>

#include "mail/pop3_smtp_mailbox.h"
#include "tests/transfer/forwarding_mailbox.h"
#include "tests/transfer/pipeline_itest_support.h"
#include "transfer/mailbox_factory.h"
#include "transfer/piece_plan.h"

namespace parvola::test {
namespace {

namespace fs = std::filesystem;

// How many calls run at the same moment, and the most there were.
class Overlap {
  public:
    void enter() {
        const int now = ++now_;
        int most = most_.load();
        while (now > most && !most_.compare_exchange_weak(most, now)) {
        }
    }
    void leave() { --now_; }
    int most() const { return most_.load(); }

  private:
    std::atomic<int> now_{0};
    std::atomic<int> most_{0};
};

// The real mailbox, telling how many stores and retrievals overlap.
class OverlapMailbox : public test::ForwardingMailbox {
  public:
    OverlapMailbox(const MailboxAccount& account, Overlap& stores, Overlap& reads)
        : ForwardingMailbox(account), stores_(stores), reads_(reads) {}

    AttachmentSave saveAttachments(int number, const std::string& folder, int taskId,
                                   ProgressSink* sink) override {
        reads_.enter();
        const AttachmentSave saved = inner_.saveAttachments(number, folder, taskId, sink);
        reads_.leave();
        return saved;
    }
    AttachmentSave streamAttachment(int number, AttachmentOutput& output, int taskId,
                                    ProgressSink* sink) override {
        reads_.enter();
        const AttachmentSave saved = inner_.streamAttachment(number, output, taskId, sink);
        reads_.leave();
        return saved;
    }
    int store(const StoreMail& mail, std::string* failureReply) override {
        stores_.enter();
        const int result = inner_.store(mail, failureReply);
        stores_.leave();
        return result;
    }

  private:
    Overlap& stores_;
    Overlap& reads_;
};

class ManyConnections : public PipelineTest {
  protected:
    void SetUp() override {
        PipelineTest::SetUp();
        ASSERT_TRUE(IniSettings().writeConnections(4));
        setMailboxFactory([this](const MailboxAccount& account) {
            return std::make_unique<OverlapMailbox>(account, stores, reads);
        });
    }
    void TearDown() override {
        PipelineTest::TearDown();
        setMailboxFactory({});
    }

    // Every progress the row of `name` showed, and its next piece index then.
    struct Seen {
        std::mutex mutex;
        std::vector<float> progress;
        std::vector<int> nextPiece;
    };
    static ProgressWatcher::Handler watch(Seen& seen, const std::string& name) {
        return [&seen, name](const std::vector<TransferTask>& records) {
            for (const TransferTask& task : records) {
                if (task.fileName != name)
                    continue;
                std::lock_guard<std::mutex> guard(seen.mutex);
                seen.progress.push_back(task.progress);
                seen.nextPiece.push_back(task.nextPieceIndex);
            }
        };
    }
    static void expectRising(Seen& seen, int lastNextPiece) {
        std::lock_guard<std::mutex> guard(seen.mutex);
        ASSERT_FALSE(seen.progress.empty());
        EXPECT_TRUE(std::is_sorted(seen.progress.begin(), seen.progress.end()));
        EXPECT_TRUE(std::is_sorted(seen.nextPiece.begin(), seen.nextPiece.end()));
        EXPECT_GT(seen.progress.back(), 99.9f);
        EXPECT_EQ(seen.nextPiece.back(), lastNextPiece);
    }

    Overlap stores;
    Overlap reads;
};

TEST_F(ManyConnections, TenPiecesGoSideBySideYetKeepTheirOrderAndOneExactRecord) {
    const MailboxAccount account = login("sohu");  // 6 MiB pieces
    const long long piece = 6 * kMiB;
    const std::string bytes = randomBytes(static_cast<size_t>(9 * piece + 12345), 47);
    const std::string user = account.loginAddress;

    Seen stored;
    {
        ProgressWatcher watcher(watch(stored, "ten.bin"));
        ASSERT_EQ(runUploadWorker(user, source("ten.bin", bytes), kDocuments),
                  UploadOutcome::Stored)
            << ::testing::PrintToString(notices.messages());
    }
    EXPECT_GE(stores.most(), 2);
    EXPECT_LE(stores.most(), 4);
    expectRising(stored, 11);

    // One record, written after the last piece: its subject is piece 1's.
    Catalog catalog(user);
    std::vector<CatalogRow> rows;
    catalog.listFolder(kDocuments, rows);
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                            [](const CatalogRow& row) { return row.type == kFileType; }),
              1);
    const CatalogRow record = fileRecord(user, kDocuments, "ten.bin");
    ASSERT_EQ(record.name, "ten.bin");
    EXPECT_EQ(record.size, static_cast<long long>(bytes.size()));
    const PieceSubject first = parseSubject(record.subject);
    EXPECT_EQ(first.pieceCount, 10);
    EXPECT_EQ(first.pieceIndex, 1);
    EXPECT_EQ(first.pieceLength, piece);

    // The mails arrive in whatever order the connections finish; each index
    // is there once, with its own length, and piece 1 carries the record's
    // subject.
    auto pieces = pieceMails(account, "ten.bin", first.fileId);
    ASSERT_EQ(pieces.size(), 10u);
    std::sort(pieces.begin(), pieces.end(), [](const PieceSubject& a, const PieceSubject& b) {
        return a.pieceIndex < b.pieceIndex;
    });
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(pieces[i].pieceIndex, i + 1);
        EXPECT_EQ(pieces[i].pieceCount, 10);
        EXPECT_EQ(pieces[i].pieceLength,
                  pieceLength(static_cast<long long>(bytes.size()), piece, i + 1));
    }
    EXPECT_EQ(formatSubject(pieces[0]), record.subject);

    Seen read;
    {
        ProgressWatcher watcher(watch(read, "ten.bin"));
        ASSERT_EQ(readBack(user, record, saves.str()), DownloadOutcome::Saved)
            << ::testing::PrintToString(notices.messages());
    }
    EXPECT_GE(reads.most(), 2);
    EXPECT_LE(reads.most(), 4);
    expectRising(read, 11);
    EXPECT_TRUE(readFile(saves.path() / "ten.bin") == bytes);
    EXPECT_EQ(filesBelow(saves.path()), std::vector<std::string>{"ten.bin"});
    EXPECT_EQ(filesBelow(home.path() / "temp"), std::vector<std::string>());
    EXPECT_TRUE(notices.messages().empty());
}

// The real mailbox behind a server that locks the maildrop for one session
// at a time, as a POP3 server may: a second session is refused with [IN-USE].
class LockingMailbox : public test::ForwardingMailbox {
  public:
    LockingMailbox(const MailboxAccount& account, std::atomic<int>& sessions,
                   std::atomic<int>& refused)
        : ForwardingMailbox(account), sessions_(sessions), refused_(refused) {}
    ~LockingMailbox() override { leave(); }

    bool open() override {
        if (sessions_.fetch_add(1) > 0) {
            --sessions_;
            ++refused_;
            locked_ = true;
            return false;
        }
        locked_ = false;
        in_ = true;
        return inner_.open();
    }
    bool close() override {
        const bool closed = inner_.close();
        leave();
        return closed;
    }
    void abandon() override {
        inner_.abandon();
        leave();
    }
    std::string failureText() const override {
        return locked_ ? "-ERR [IN-USE] Mailbox is locked by another POP3 session"
                       : inner_.failureText();
    }
    MailboxFailure failureKind() const override {
        return locked_ ? MailboxFailure::Transient : inner_.failureKind();
    }

  private:
    void leave() {
        if (in_)
            --sessions_;
        in_ = false;
    }

    std::atomic<int>& sessions_;
    std::atomic<int>& refused_;
    bool locked_ = false;
    bool in_ = false;
};

// Four connections against a server that takes one: the refused ones give
// their pieces back at once, and the one let in reads the whole file. (Tried
// again instead, a refused connection would meet the lock on every try while
// the other one keeps its session, and the read would fail.)
TEST_F(ManyConnections, AServerThatTakesOneSessionGetsEveryPieceOverThatOne) {
    const MailboxAccount account = login("sohu");  // 6 MiB pieces
    const std::string bytes = randomBytes(static_cast<size_t>(5 * 6 * kMiB + 99), 53);
    const std::string user = account.loginAddress;
    ASSERT_EQ(runUploadWorker(user, source("locked.bin", bytes), kDocuments),
              UploadOutcome::Stored);
    const CatalogRow record = fileRecord(user, kDocuments, "locked.bin");

    std::atomic<int> sessions{0}, refused{0};
    setMailboxFactory([&](const MailboxAccount& account) {
        return std::make_unique<LockingMailbox>(account, sessions, refused);
    });
    ASSERT_EQ(readBack(user, record, saves.str()), DownloadOutcome::Saved)
        << ::testing::PrintToString(notices.messages());
    EXPECT_GE(refused.load(), 1);
    EXPECT_TRUE(readFile(saves.path() / "locked.bin") == bytes);
    EXPECT_TRUE(notices.messages().empty());
    EXPECT_EQ(filesBelow(home.path() / "temp"), std::vector<std::string>());
}

}  // namespace
}  // namespace parvola::test
