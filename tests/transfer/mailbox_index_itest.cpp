// What a download asks of the real POP3 server, counted by a relay in front
// of it: one session, each header read at most once and each piece retrieved
// once; the next download reads only the headers of new messages; without
// UIDL or with a damaged subject cache every header is read again; and the
// newest of several matching messages is the one used.
#include "mail/pop3_smtp_mailbox.h"
#include "tests/transfer/counting_pop3_proxy.h"
#include "tests/transfer/pipeline_itest_support.h"
#include "transfer/catalog_sync.h"
#include "transfer/download_pipeline.h"
#include "transfer/mailbox_index.h"
#include "transfer/piece_search.h"
#include "transfer/store_mail.h"

namespace parvola::test {
namespace {

class DownloadCost : public PipelineTest {
  protected:
    void SetUp() override {
        PipelineTest::SetUp();
        // The costs of one session: a single connection reads the pieces.
        ASSERT_TRUE(IniSettings().writeConnections(1));
        account = login("sina");
        // Oldest first: two unrelated mails, the three pieces of f.bin, a
        // catalog mail naming the file, a newer copy of piece 2 with other
        // bytes, another file's piece 2 with the same name, one more mail.
        send("hello");
        send("PARVOL:;other.bin;7;1;4;0000000000;1;1", "other");
        piece(1, "AAAA");
        piece(2, "BBBB");
        piece(3, "CC");
        send("PARVOLCONFIG1;1;f.bin");
        piece(2, "bbbb");
        send("PARVOL:;f.bin;43;1;4;0000000000;3;2", "XXXX");
        send("later");
        olderThanPieceOne = 2;
    }

    void send(const std::string& subject, const std::string& attachment = std::string()) {
        StoreMail mail;
        mail.subject = mail.bodyText = subject;
        if (!attachment.empty()) {
            const auto path = sources.path() / std::to_string(++attachments) / "1";
            std::filesystem::create_directories(path.parent_path());
            writeFile(path, attachment);
            mail.attachmentPath = path.string();
        }
        ASSERT_EQ(SendStoreMail(account, mail), 0);
    }

    void piece(int index, const std::string& bytes) {
        PieceSubject subject;
        subject.fileName = "f.bin";
        subject.fileId = 42;
        subject.time = 1000 + index;
        subject.pieceLength = 4;
        subject.pieceCount = 3;
        subject.pieceIndex = index;
        const auto path = sources.path() / std::to_string(++attachments) / std::to_string(index);
        std::filesystem::create_directories(path.parent_path());
        writeFile(path, bytes);
        StoreMail mail;
        mail.subject = mail.bodyText = formatSubject(subject);
        mail.attachmentPath = path.string();
        ASSERT_EQ(SendStoreMail(account, mail), 0);
        if (index == 1)
            storedSubject = mail.subject;
    }

    int messageCount() {
        Pop3Connection pop3;
        int count = -1, total = 0;
        EXPECT_TRUE(pop3.Connect(account.pop3Host, account.mailboxUser, account.mailboxPassword,
                                 account.pop3Port));
        EXPECT_TRUE(pop3.Statistics(count, total));
        pop3.Disconnect();
        return count;
    }

    // Downloads f.bin through `proxy` into a fresh folder; its bytes,
    // "<missing>" when a piece's mail is not in the mailbox, or "<failed>".
    std::string download(const CountingPop3Proxy& proxy) {
        MailboxAccount relayed = account;
        relayed.pop3Port = proxy.port();
        DownloadInputs inputs;
        inputs.saveFolder = (saves.path() / std::to_string(++downloads)).string();
        inputs.storedSubject = storedSubject;
        inputs.fileName = "f.bin";
        inputs.fileSize = 10;
        std::string saved;
        switch (DownloadFile(relayed, account.loginAddress, inputs, saved)) {
            case DownloadOutcome::Saved:
                return readFile(saved);
            case DownloadOutcome::PieceMissing:
                return "<missing>";
            default:
                return "<failed>";
        }
    }

    MailboxAccount account;
    std::string storedSubject;
    int attachments = 0;
    int downloads = 0;
    int olderThanPieceOne = 0;
};

TEST_F(DownloadCost, OneSessionReadsEachHeaderOnceAndTakesTheNewestMatch) {
    const int messages = messageCount();
    ASSERT_EQ(messages, 9);
    CountingPop3Proxy proxy(account.pop3Host, account.pop3Port);
    // The newer copy of piece 2 wins; the other file id and the catalog mail
    // are never taken.
    EXPECT_EQ(download(proxy), "AAAAbbbbCC");
    EXPECT_EQ(proxy.count("USER"), 1);
    EXPECT_EQ(proxy.count("UIDL"), 1);
    // Headers from the newest down to piece 1, each once: at most M + P in all.
    EXPECT_EQ(proxy.count("TOP"), messages - olderThanPieceOne);
    EXPECT_EQ(proxy.count("RETR"), 3);
    EXPECT_LE(proxy.count("TOP") + proxy.count("RETR"), messages + 3);
    EXPECT_EQ(proxy.count("QUIT"), 1);
}

TEST_F(DownloadCost, TheNextDownloadReadsOnlyTheHeadersOfNewMessages) {
    CountingPop3Proxy proxy(account.pop3Host, account.pop3Port);
    ASSERT_EQ(download(proxy), "AAAAbbbbCC");
    const int first = proxy.count("TOP");
    proxy.reset();
    EXPECT_EQ(download(proxy), "AAAAbbbbCC");
    EXPECT_EQ(proxy.count("TOP"), 0);
    EXPECT_EQ(proxy.count("RETR"), 3);

    // Two new mails, one of them a still newer piece 3: only they are read.
    send("news");
    piece(3, "cc");
    proxy.reset();
    EXPECT_EQ(download(proxy), "AAAAbbbbcc");
    EXPECT_EQ(proxy.count("TOP"), 2);
    EXPECT_EQ(proxy.count("RETR"), 3);
    EXPECT_GT(first, 2);

    // The purge's removal shares the cache: it reads only the two unrelated
    // mails older than piece 1 that no search has reached yet.
    MailboxAccount relayed = account;
    relayed.pop3Port = proxy.port();
    proxy.reset();
    EXPECT_EQ(RemovePieceMails(relayed, storedSubject), 5);
    EXPECT_EQ(proxy.count("TOP"), olderThanPieceOne);
    EXPECT_EQ(proxy.count("DELE"), 5);
    EXPECT_TRUE(pieceMails(account, "f.bin", 42).empty());
    EXPECT_EQ(pieceMails(account, "f.bin", 43).size(), 1u);
}

TEST_F(DownloadCost, TheCatalogTrimAfterADownloadReadsOnlyWhatTheDownloadDidNot) {
    CountingPop3Proxy proxy(account.pop3Host, account.pop3Port);
    ASSERT_EQ(download(proxy), "AAAAbbbbCC");
    MailboxAccount relayed = account;
    relayed.pop3Port = proxy.port();
    proxy.reset();
    EXPECT_EQ(SyncCatalog(account.loginAddress, relayed, SyncMode::Trim), kSyncNoCatalog);
    EXPECT_EQ(proxy.count("TOP"), olderThanPieceOne);
    proxy.reset();
    EXPECT_EQ(SyncCatalog(account.loginAddress, relayed, SyncMode::Trim), kSyncNoCatalog);
    EXPECT_EQ(proxy.count("TOP"), 0);
    EXPECT_EQ(proxy.count("DELE"), 0);
    EXPECT_EQ(messageCount(), 9);
}

TEST_F(DownloadCost, WithoutUidlOrWithADamagedCacheEveryHeaderIsReadAgain) {
    CountingPop3Proxy refusing(account.pop3Host, account.pop3Port, true);
    ASSERT_EQ(download(refusing), "AAAAbbbbCC");
    const int full = refusing.count("TOP");
    EXPECT_EQ(full, messageCount() - olderThanPieceOne);
    refusing.reset();
    EXPECT_EQ(download(refusing), "AAAAbbbbCC");
    EXPECT_EQ(refusing.count("TOP"), full);
    EXPECT_EQ(refusing.count("UIDL"), 1);

    CountingPop3Proxy proxy(account.pop3Host, account.pop3Port);
    ASSERT_EQ(download(proxy), "AAAAbbbbCC");
    MailboxAccount relayed = account;
    relayed.pop3Port = proxy.port();
    const std::string cache = mailboxCachePath(mailboxCacheName(relayed));
    ASSERT_TRUE(std::filesystem::exists(cache));
    // A cache cut short in its last record is not trusted at all, nor one
    // written for another mailbox.
    const std::string text = readFile(cache);
    writeFile(cache, text.substr(0, text.size() - 3));
    proxy.reset();
    EXPECT_EQ(download(proxy), "AAAAbbbbCC");
    EXPECT_EQ(proxy.count("TOP"), full);
    writeFile(cache, "parvola-subjects 1\nnot this mailbox\n");
    proxy.reset();
    EXPECT_EQ(download(proxy), "AAAAbbbbCC");
    EXPECT_EQ(proxy.count("TOP"), full);
}

TEST_F(DownloadCost, AMissingPieceFailsAfterOnePassAndTheSearchMatchesTheSingleSessionOne) {
    // The shared search answers exactly as a search of its own per piece.
    Pop3SmtpMailbox mailbox(account);
    ASSERT_TRUE(mailbox.open());
    MailboxIndex index(mailbox);
    ASSERT_TRUE(index.open());
    PieceSubject wanted = parseSubject(storedSubject);
    for (int i = 1; i <= 4; ++i) {
        wanted.pieceIndex = i;
        EXPECT_EQ(index.findPiece(wanted), FindPieceMessage(mailbox, formatSubject(wanted))) << i;
    }
    EXPECT_EQ(index.findPiece(wanted), -1);
    EXPECT_EQ(index.headersRead(), messageCount());
    mailbox.close();

    ASSERT_TRUE(deletePieceMail(account, "f.bin", 3));
    CountingPop3Proxy proxy(account.pop3Host, account.pop3Port);
    EXPECT_EQ(download(proxy), "<missing>");
    EXPECT_EQ(proxy.count("RETR"), 2);
    EXPECT_LE(proxy.count("TOP"), messageCount());
}

}  // namespace
}  // namespace parvola::test
