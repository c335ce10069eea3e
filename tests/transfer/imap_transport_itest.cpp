// IMAP as a transport against the real Dovecot of the test server, through
// the transfer engine: pieces appended over IMAP read back byte-exact over
// POP3 and pieces sent over SMTP over IMAP; a mailbox full of decoys (other
// file ids, other users' catalogs, a newer copy of a piece, unrelated mail)
// reads right; a second read asks for no subject again and a read after new
// mail asks only for those; a removal expunges exactly the file's mails; and
// the same over TLS, with a password never sent in plain text unless allowed.
#include <algorithm>
#include <random>

#include "mail/imap_connection.h"
#include "mail/imap_mailbox.h"
#include "mail/progress_sink.h"
#include "mail/store_mail.h"
#include "tests/support/loopback_relay.h"
#include "tests/transfer/pipeline_itest_support.h"
#include "transfer/download_pipeline.h"
#include "transfer/piece_search.h"
#include "transfer/store_mail.h"

namespace parvola::test {
namespace {

// A relay in front of the real IMAP server that keeps the client's command
// lines, so a test can tell what a read asked for.
class ImapCommandLog {
  public:
    ImapCommandLog(const std::string& host, int port)
        : relay_(
              "127.0.0.1", host, port,
              [this](LoopbackRelay::Session& s, LoopbackRelay::Side from, std::string_view bytes) {
                  if (from == LoopbackRelay::Side::FromClient) {
                      std::lock_guard<std::mutex> guard(mutex_);
                      sent_.append(bytes);
                      s.toServer(bytes);
                  } else {
                      s.toClient(bytes);
                  }
              }) {}
    int port() const { return relay_.port(); }
    void reset() {
        std::lock_guard<std::mutex> guard(mutex_);
        sent_.clear();
    }
    // How many UIDs the subject fetches named in all.
    int subjectsAsked() const { return uidsIn("BODY.PEEK[HEADER.FIELDS (SUBJECT)]"); }
    int messagesFetched() const { return uidsIn("(UID BODY.PEEK[])"); }
    int count(const std::string& words) const {
        std::lock_guard<std::mutex> guard(mutex_);
        int n = 0;
        for (size_t at = sent_.find(words); at != std::string::npos; at = sent_.find(words, at + 1))
            ++n;
        return n;
    }

  private:
    int uidsIn(const std::string& items) const {
        std::lock_guard<std::mutex> guard(mutex_);
        int total = 0;
        size_t start = 0;
        for (size_t end = sent_.find("\r\n"); end != std::string::npos;
             start = end + 2, end = sent_.find("\r\n", start)) {
            const std::string line = sent_.substr(start, end - start);
            const size_t fetch = line.find(" UID FETCH ");
            if (fetch == std::string::npos || line.find(items) == std::string::npos)
                continue;
            const size_t from = fetch + 11;
            const std::string set = line.substr(from, line.find(' ', from) - from);
            // "3:5,9": ranges counted whole.
            size_t at = 0;
            while (at < set.size()) {
                size_t comma = set.find(',', at);
                if (comma == std::string::npos)
                    comma = set.size();
                const std::string range = set.substr(at, comma - at);
                const size_t colon = range.find(':');
                total += colon == std::string::npos
                             ? 1
                             : std::stoi(range.substr(colon + 1)) - std::stoi(range) + 1;
                at = comma + 1;
            }
        }
        return total;
    }

    mutable std::mutex mutex_;
    std::string sent_;
    LoopbackRelay relay_;  // last: its sessions end before the members above go
};

class ImapTransport : public PipelineTest {
  protected:
    void SetUp() override {
        PipelineTest::SetUp();
        pop3Account = login("sina");
        imapAccount = pop3Account;
        imapAccount.reader = MailboxReader::Imap;
        imapAccount.storeRoute = StoreRoute::ImapAppend;
        imapAccount.imapHost = pop3Account.pop3Host;
        imapAccount.imapPort = MailStack::imapPort();
    }

    static std::string randomBytes(size_t size, unsigned seed) {
        std::mt19937 random(seed);
        std::string bytes(size, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random());
        return bytes;
    }

    // Stores `bytes` as piece `index` of `count` of `name` (file id `id`)
    // through `account`'s store route; the subject.
    std::string piece(const MailboxAccount& account, const std::string& name, int id, int index,
                      int count, const std::string& bytes, size_t pieceLength) {
        PieceSubject subject;
        subject.fileName = name;
        subject.fileId = id;
        subject.time = 1000 + index;
        subject.pieceLength = static_cast<long long>(pieceLength);
        subject.pieceCount = count;
        subject.pieceIndex = index;
        const auto path = sources.path() / std::to_string(++attachments) / std::to_string(index);
        std::filesystem::create_directories(path.parent_path());
        writeFile(path, bytes);
        StoreMail mail;
        mail.subject = mail.bodyText = formatSubject(subject);
        mail.attachmentPath = path.string();
        EXPECT_EQ(SendStoreMail(account, mail), 0) << mail.subject;
        return mail.subject;
    }

    // Stores `bytes` as `name` in pieces of `pieceLength`; piece 1's subject.
    std::string storeFile(const MailboxAccount& account, const std::string& name, int id,
                          const std::string& bytes, size_t pieceLength) {
        const int count = static_cast<int>((bytes.size() + pieceLength - 1) / pieceLength);
        std::string first;
        for (int i = 1; i <= count; ++i) {
            const std::string subject = piece(
                account, name, id, i, count,
                bytes.substr(static_cast<size_t>(i - 1) * pieceLength, pieceLength), pieceLength);
            if (i == 1)
                first = subject;
        }
        return first;
    }

    void send(const MailboxAccount& account, const std::string& subject) {
        StoreMail mail;
        mail.subject = mail.bodyText = subject;
        ASSERT_EQ(SendStoreMail(account, mail), 0);
    }

    // Reads the file back through `account`: its bytes, or "<outcome N>".
    std::string download(const MailboxAccount& account, const std::string& storedSubject,
                         const std::string& name, long long size) {
        DownloadInputs inputs;
        inputs.saveFolder = (saves.path() / std::to_string(++downloads)).string();
        inputs.storedSubject = storedSubject;
        inputs.fileName = name;
        inputs.fileSize = size;
        std::string saved;
        DownloadFailure failure;
        const DownloadOutcome outcome =
            DownloadFile(account, account.loginAddress, inputs, saved, taskList(), &failure);
        if (outcome != DownloadOutcome::Saved)
            return "<outcome " + std::to_string(static_cast<int>(outcome)) + " " + failure.text +
                   ">";
        return readFile(saved);
    }

    int pop3Count() {
        Pop3Connection pop3;
        int count = -1, total = 0;
        EXPECT_TRUE(pop3.Connect(pop3Account.pop3Host, pop3Account.mailboxUser,
                                 pop3Account.mailboxPassword, pop3Account.pop3Port));
        EXPECT_TRUE(pop3.Statistics(count, total));
        pop3.Disconnect();
        return count;
    }

    MailboxAccount pop3Account;
    MailboxAccount imapAccount;
    int attachments = 0;
    int downloads = 0;
};

TEST_F(ImapTransport, AppendedPiecesReadBackOverPop3AndSentPiecesOverImapByteExact) {
    // The bytes APPEND puts into the mailbox are the store mail's text as
    // composed for SMTP, and POP3 gives them back unchanged.
    StoreMail probe;
    probe.subject = probe.bodyText = "PARVOL:;probe;1;1;4;0000000000;1;1";
    const std::string probeFile = source("probe", randomBytes(5000, 1));
    probe.attachmentPath = probeFile;
    const std::string text = storeMailText(probe, imapAccount.mailboxAddress);
    {
        ImapConnection imap;
        ASSERT_TRUE(imap.Connect(imapAccount.imapHost, imapAccount.imapPort,
                                 imapAccount.mailboxUser, imapAccount.mailboxPassword))
            << imap.lastReply();
        EXPECT_TRUE(imap.has("UIDPLUS"));
        EXPECT_EQ(imap.Append("INBOX", "(\\Seen)", text), 0) << imap.lastReply();
        EXPECT_TRUE(imap.Logout());
    }
    {
        Pop3Connection pop3;
        std::string retrieved;
        ASSERT_TRUE(pop3.Connect(pop3Account.pop3Host, pop3Account.mailboxUser,
                                 pop3Account.mailboxPassword, pop3Account.pop3Port));
        ASSERT_TRUE(pop3.Retrieve(1, retrieved));
        pop3.Disconnect();
        // Retrieve gives the text without the line break that the end mark
        // of the listing takes as its own.
        EXPECT_TRUE(retrieved + "\r\n" == text) << "the appended mail came back changed";
    }

    // A file of three pieces stored by APPEND through the engine's store,
    // read by POP3 through the engine's download.
    const std::string appended = randomBytes(150000, 2);
    const std::string subjectA = storeFile(imapAccount, "appended.bin", 7, appended, 60000);
    EXPECT_TRUE(download(pop3Account, subjectA, "appended.bin", 150000) == appended);

    // And the other way: sent over SMTP (the IMAP account's SMTP route),
    // read over IMAP.
    MailboxAccount viaSmtp = imapAccount;
    viaSmtp.storeRoute = StoreRoute::Smtp;
    const std::string sent = randomBytes(130000, 3);
    const std::string subjectS = storeFile(viaSmtp, "sent.bin", 8, sent, 50000);
    EXPECT_TRUE(download(imapAccount, subjectS, "sent.bin", 130000) == sent);
    EXPECT_TRUE(download(imapAccount, subjectA, "appended.bin", 150000) == appended);
    EXPECT_EQ(pop3Count(), 7);
}

TEST_F(ImapTransport, DecoysReadRightAndALaterReadAsksOnlyForWhatIsNewAndDeletesOnlyTheFile) {
    // The commands of one session: a single connection reads the pieces.
    ASSERT_TRUE(IniSettings().writeConnections(1));
    // Written by the service accounts' path (SMTP), oldest first: unrelated
    // mail, another user's catalog mail, another file id's piece with the
    // same name, the three pieces, our catalog, a newer piece 2, one more.
    MailboxAccount viaSmtp = imapAccount;
    viaSmtp.storeRoute = StoreRoute::Smtp;
    send(viaSmtp, "hello");
    send(viaSmtp, "PARVOLCONFIG1;1;someone.else@sina.test");
    piece(viaSmtp, "f.bin", 43, 2, 3, "XXXX", 4);
    const std::string stored = piece(viaSmtp, "f.bin", 42, 1, 3, "AAAA", 4);
    piece(viaSmtp, "f.bin", 42, 2, 3, "BBBB", 4);
    piece(viaSmtp, "f.bin", 42, 3, 3, "CC", 4);
    send(viaSmtp, "PARVOLCONFIG1;1;" + imapAccount.mailboxAddress);
    piece(imapAccount, "f.bin", 42, 2, 3, "bbbb", 4);  // appended: the newest copy wins
    send(viaSmtp, "later");
    ASSERT_EQ(pop3Count(), 9);

    ImapCommandLog log(imapAccount.imapHost, imapAccount.imapPort);
    MailboxAccount relayed = imapAccount;
    relayed.imapPort = log.port();
    EXPECT_EQ(download(relayed, stored, "f.bin", 10), "AAAAbbbbCC");
    // The search leaves out the two unrelated mails; the subjects of the
    // seven others are read at most once, the three pieces fetched once.
    EXPECT_EQ(log.count(" UID SEARCH "), 1);
    EXPECT_LE(log.subjectsAsked(), 7);
    EXPECT_GE(log.subjectsAsked(), 5);
    EXPECT_EQ(log.messagesFetched(), 3);
    EXPECT_EQ(log.count(" LOGOUT"), 1);

    log.reset();
    EXPECT_EQ(download(relayed, stored, "f.bin", 10), "AAAAbbbbCC");
    EXPECT_EQ(log.subjectsAsked(), 0);
    EXPECT_EQ(log.messagesFetched(), 3);

    // New mail, one of it a still newer piece 3: only that subject is asked.
    send(viaSmtp, "news");
    piece(imapAccount, "f.bin", 42, 3, 3, "cc", 4);
    log.reset();
    EXPECT_EQ(download(relayed, stored, "f.bin", 10), "AAAAbbbbcc");
    EXPECT_EQ(log.subjectsAsked(), 1);

    // The removal expunges the five mails of file id 42 by UID and nothing else.
    log.reset();
    EXPECT_EQ(RemovePieceMails(relayed, stored), 5);
    EXPECT_EQ(log.count(" UID EXPUNGE "), 1);
    EXPECT_EQ(pop3Count(), 11 - 5);
    EXPECT_TRUE(pieceMails(pop3Account, "f.bin", 42).empty());
    EXPECT_EQ(pieceMails(pop3Account, "f.bin", 43).size(), 1u);
    const auto subjects = mailboxSubjects(pop3Account);
    EXPECT_EQ(std::count(subjects.begin(), subjects.end(), "hello"), 1);
    EXPECT_EQ(std::count(subjects.begin(), subjects.end(), "news"), 1);
}

TEST_F(ImapTransport, OverTlsStoresAndReadsAndAPasswordNeverGoesOutInPlainTextUnlessAllowed) {
    const std::string bytes = randomBytes(90000, 4);
    MailboxAccount implicit = imapAccount;
    implicit.imapHost = "127.0.0.1";
    implicit.imapPort = MailStack::imapsPort();
    implicit.imapTls.mode = TlsMode::Implicit;
    implicit.imapTls.caFile = MailStack::caFile();
    implicit.imapTls.plaintextLoginAllowed = false;
    const std::string subject = storeFile(implicit, "tls.bin", 9, bytes, 40000);
    EXPECT_TRUE(download(implicit, subject, "tls.bin", 90000) == bytes);

    MailboxAccount upgraded = implicit;
    upgraded.imapPort = MailStack::imapStartTlsPort();
    for (TlsMode mode : {TlsMode::StartTls, TlsMode::StartTlsIfOffered}) {
        upgraded.imapTls.mode = mode;
        EXPECT_TRUE(download(upgraded, subject, "tls.bin", 90000) == bytes);
    }

    // Plain text on the server's plain port: refused by us, before any
    // word of the password, unless the account allows it.
    MailboxAccount plain = upgraded;
    plain.imapTls.mode = TlsMode::None;
    ImapMailbox refused(plain);
    EXPECT_FALSE(refused.open());
    EXPECT_NE(refused.failureText().find("login: IMAP server " + plain.imapHost + ":" +
                                         std::to_string(plain.imapPort) +
                                         " offers no TLS: the password was not sent"),
              std::string::npos)
        << refused.failureText();
    plain.imapTls.plaintextLoginAllowed = true;
    ImapMailbox allowed(plain);
    ASSERT_TRUE(allowed.open()) << allowed.failureText();
    EXPECT_EQ(allowed.messageCount(), 3);
    EXPECT_TRUE(allowed.close());

    // The limits the servers announce: none for APPEND here, Exim's SIZE
    // for the SMTP route.
    EXPECT_EQ(ImapMailbox(implicit).storeSizeLimit(), 0u);
    MailboxAccount viaSmtp = imapAccount;
    viaSmtp.storeRoute = StoreRoute::Smtp;
    EXPECT_EQ(ImapMailbox(viaSmtp).storeSizeLimit(), 200u * 1024 * 1024);
}

// Records the reports; asks to stop from the `stopAt`-th question on.
class StoppingSink : public ProgressSink {
  public:
    explicit StoppingSink(int stopAt) : stopAt_(stopAt) {}
    void report(int taskId, float percent, long, bool) override {
        EXPECT_EQ(taskId, 5);
        percents.push_back(percent);
    }
    bool shouldContinue(int) override { return ++questions < stopAt_; }
    std::vector<float> percents;
    int questions = 0;

  private:
    int stopAt_;
};

TEST_F(ImapTransport, ProgressIsReportedAndACancelLeavesNothingInTheMailboxOrTheFolder) {
    const std::string bytes = randomBytes(3u << 20, 5);
    StoreMail mail;
    mail.subject = mail.bodyText = "PARVOL:;big.bin;3;1;3145728;0000000000;1;1";
    mail.attachmentPath = source("1", bytes);
    mail.taskId = 5;
    StoppingSink stopAtOnce(1);
    mail.progress = &stopAtOnce;
    ImapMailbox mailbox(imapAccount);
    EXPECT_EQ(mailbox.store(mail), kTransferCancelledCode);
    EXPECT_EQ(stopAtOnce.questions, 1);
    EXPECT_EQ(pop3Count(), 0);

    StoppingSink never(1 << 30);
    mail.progress = &never;
    ASSERT_EQ(mailbox.store(mail), 0) << mailbox.failureText();
    ASSERT_GT(never.percents.size(), 20u);  // some 4 MiB of text in blocks of 101 KiB
    EXPECT_TRUE(std::is_sorted(never.percents.begin(), never.percents.end()));
    EXPECT_EQ(never.percents.back(), 100.0f);

    ASSERT_TRUE(mailbox.open()) << mailbox.failureText();
    ASSERT_EQ(mailbox.messageCount(), 1);
    const auto folder = saves.path() / "cancelled";
    std::filesystem::create_directories(folder);
    StoppingSink stopReading(1);
    EXPECT_EQ(mailbox.saveAttachments(1, folder.string(), 5, &stopReading),
              AttachmentSave::Cancelled);
    EXPECT_EQ(stopReading.questions, 1);
    EXPECT_TRUE(std::filesystem::is_empty(folder));

    ASSERT_TRUE(mailbox.open()) << mailbox.failureText();
    StoppingSink reading(1 << 30);
    EXPECT_EQ(mailbox.saveAttachments(1, folder.string(), 5, &reading), AttachmentSave::Saved)
        << mailbox.failureText();
    EXPECT_FALSE(reading.percents.empty());
    EXPECT_TRUE(readFile(folder / "1") == bytes);
    EXPECT_TRUE(mailbox.close());
}

}  // namespace
}  // namespace parvola::test
