// The IMAP mailbox against scripted servers, for what a real server will not
// do on demand: a literal split across segments, an EXPUNGE in the middle of
// a search, a search naming UIDs that do not exist, a FETCH of another UID,
// a literal cut short by a dropped connection, NO and BAD answers, a server
// without UIDPLUS, a line that never ends, and the login guards (no
// password in plain text unless allowed, STARTTLS required but not offered,
// a password that must go as a literal, masked in the server's words).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "mail/base64.h"
#include "mail/imap_mailbox.h"
#include "mail/store_mail.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

using test::ScriptedPeer;
using test::TempDir;

MailboxAccount accountAt(int port, const std::string& password = "pw") {
    MailboxAccount account;
    account.direct = true;
    account.reader = MailboxReader::Imap;
    account.storeRoute = StoreRoute::ImapAppend;
    account.imapHost = "127.0.0.1";
    account.imapPort = port;
    account.imapTls.plaintextLoginAllowed = true;
    account.mailboxUser = "bob";
    account.mailboxPassword = password;
    account.mailboxAddress = "bob@example.org";
    return account;
}

std::string plainLogin(const char* tag) {
    return std::string(tag) + " AUTHENTICATE PLAIN " + base64Encode(std::string("\0bob\0pw", 7)) +
           "\r\n";
}

// The greeting and a PLAIN login that the server takes, announcing
// `loggedInCapabilities`; the next tag is A2.
ScriptedPeer& scriptLogin(ScriptedPeer& peer, const std::string& loggedInCapabilities) {
    return peer.reply("* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN SASL-IR] hello\r\n")
        .expectLine(plainLogin("A1"))
        .reply("A1 OK [CAPABILITY " + loggedInCapabilities + "] in\r\n");
}

// A session's start: greeting, login, SELECT of INBOX (UIDVALIDITY 77),
// the search with `found` as the answer; the next tag is A4.
void scriptOpen(ScriptedPeer& peer, const std::string& loggedInCapabilities,
                const std::string& found) {
    scriptLogin(peer, loggedInCapabilities)
        .expectLine("A2 SELECT \"INBOX\"\r\n")
        .reply("* 9 EXISTS\r\n* OK [UIDVALIDITY 77] ok\r\nA2 OK [READ-WRITE] selected\r\n")
        .expectLine("A3 UID SEARCH UNDELETED SUBJECT \"PARVOL\"\r\n")
        .reply(found + "A3 OK search done\r\n");
}

// A real store mail with a piece of `bytes` as its attachment.
std::string storeMail(const TempDir& dir, const std::string& bytes) {
    const auto file = dir / "piece";
    std::ofstream(file, std::ios::binary) << bytes;
    StoreMail mail;
    mail.subject = mail.bodyText = "PARVOL:;b.bin;1;1;4;0000000000;1;1";
    mail.attachmentPath = file.string();
    return storeMailText(mail, "bob@example.org");
}

// A literal as the server sends it: its announcement, then its bytes.
std::string literal(const std::string& bytes) {
    return "{" + std::to_string(bytes.size()) + "}\r\n" + bytes;
}

bool folderIsEmpty(const std::filesystem::path& folder) {
    return std::filesystem::is_empty(folder);
}

TEST(ImapMailboxScripted, ReadsWhatTheServerSaysExactlyAndFailsClearlyOnWhatDoesNotFit) {
    TempDir sources("imap-src"), saves("imap-saves");
    const std::string mail = storeMail(sources, "PIECE-BYTES");
    const std::string fetchedLiteral = "{" + std::to_string(mail.size()) + "}\r\n";

    ScriptedPeer peer;
    // An EXPUNGE of another message arrives between the two parts of the
    // search result, split inside its own word.
    peer.reply("* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN SASL-IR ID] hello\r\n")
        .expectLine("A1 ID (\"name\" \"Parvola\" \"version\" \"1.0\")\r\n")
        .reply("* ID NIL\r\nA1 OK ID done\r\n")
        .expectLine(plainLogin("A2"))
        .reply("A2 OK [CAPABILITY IMAP4rev1 UIDPLUS ID] in\r\n")
        .expectLine("A3 SELECT \"INBOX\"\r\n")
        .reply("* 6 EXISTS\r\n* OK [UIDVALIDITY 77] ok\r\nA3 OK [READ-WRITE] selected\r\n")
        .expectLine("A4 UID SEARCH UNDELETED SUBJECT \"PARVOL\"\r\n")
        .replySegments({"* SEARCH 13 5 9\r\n* 1 EXP", "UNGE\r\n* SEARCH 12\r\nA4 OK done\r\n"})
        // Subjects from the newest down, in batches that grow while the
        // reads go on below the last one; a literal split in the middle of
        // its header; UID 5 gets no answer at all.
        .expectLine("A5 UID FETCH 13 (UID RFC822.SIZE BODY.PEEK[HEADER.FIELDS (SUBJECT)])\r\n")
        .replySegments(
            {"* 2 FETCH (UID 13 RFC822.SIZE 700 BODY[HEADER.FIELDS (SUBJECT)] " +
                 literal("Subject: PARVOL:;b.bin\r\n\r\n").substr(0, 18),
             literal("Subject: PARVOL:;b.bin\r\n\r\n").substr(18) + ")\r\nA5 OK fetched\r\n"})
        .expectLine("A6 UID FETCH 9,12 (UID RFC822.SIZE BODY.PEEK[HEADER.FIELDS (SUBJECT)])\r\n")
        .reply("* 3 FETCH (UID 9 RFC822.SIZE 600 BODY[HEADER.FIELDS (SUBJECT)] " +
               literal("Subject: hello\r\n\r\n") + ")\r\n" +
               "* 4 FETCH (UID 12 RFC822.SIZE 900 BODY[HEADER.FIELDS (SUBJECT)] " +
               literal("Subject: PARVOL:;\xb1\xa8\xb8\xe6.bin\r\n\r\n") + ")\r\nA6 OK fetched\r\n")
        .expectLine("A7 UID FETCH 5 (UID RFC822.SIZE BODY.PEEK[HEADER.FIELDS (SUBJECT)])\r\n")
        .reply("A7 OK nothing\r\n")
        // Asked for UID 12, the server sends UID 13.
        .expectLine("A8 UID FETCH 12 (UID BODY.PEEK[])\r\n")
        .reply("* 2 FETCH (UID 13 BODY[] " + fetchedLiteral + mail + ")\r\nA8 OK done\r\n")
        // The right one, cut short by a dropped connection.
        .expectLine("A9 UID FETCH 13 (UID BODY.PEEK[])\r\n")
        .reply("* 2 FETCH (UID 13 BODY[] " + fetchedLiteral + mail.substr(0, mail.size() - 200))
        .closeConnection();
    ImapMailbox mailbox(accountAt(peer.start()));
    ASSERT_TRUE(mailbox.open()) << mailbox.failureText();
    ASSERT_EQ(mailbox.messageCount(), 4);
    std::vector<std::string> ids;
    ASSERT_TRUE(mailbox.stableIds(ids));
    EXPECT_EQ(ids, (std::vector<std::string>{"77/5", "77/9", "77/12", "77/13"}));

    std::string subject;
    ASSERT_TRUE(mailbox.readSubject(4, subject)) << mailbox.failureText();
    EXPECT_EQ(subject, "PARVOL:;b.bin");
    ASSERT_TRUE(mailbox.readSubject(3, subject));
    EXPECT_EQ(subject, "PARVOL:;报告.bin");  // GB18030 on the wire, as POP3 reads it
    ASSERT_TRUE(mailbox.readSubject(2, subject));
    EXPECT_EQ(subject, "hello");
    uint32_t size = 0;
    ASSERT_TRUE(mailbox.messageSize(4, size));  // known from the batch: no command
    EXPECT_EQ(size, 700u);
    EXPECT_FALSE(mailbox.readSubject(1, subject));
    EXPECT_NE(mailbox.failureText().find("no message UID 5"), std::string::npos)
        << mailbox.failureText();

    EXPECT_EQ(mailbox.saveAttachments(3, saves.str(), 0, nullptr), AttachmentSave::Failed);
    EXPECT_NE(mailbox.failureText().find("another message than UID 12"), std::string::npos)
        << mailbox.failureText();
    EXPECT_TRUE(folderIsEmpty(saves.path()));
    EXPECT_EQ(mailbox.saveAttachments(4, saves.str(), 0, nullptr), AttachmentSave::Failed);
    EXPECT_NE(mailbox.failureText().find("before the end of the literal"), std::string::npos)
        << mailbox.failureText();
    EXPECT_TRUE(folderIsEmpty(saves.path()));
    mailbox.abandon();
    EXPECT_EQ(peer.finish(), "");
}

TEST(ImapMailboxScripted, WithoutUidplusExpungesOnlyWhenTheFlaggedMessagesAreAllOurs) {
    ScriptedPeer peer;
    // Another client has flagged UID 20: nothing is expunged.
    scriptOpen(peer, "IMAP4rev1", "* SEARCH 3 4 8\r\n");
    peer.expectLine("A4 UID STORE 3,8 +FLAGS.SILENT (\\Deleted)\r\n")
        .reply("A4 OK stored\r\n")
        .expectLine("A5 UID SEARCH DELETED\r\n")
        .reply("* SEARCH 3 8 20\r\nA5 OK\r\n")
        .expectLine("A6 LOGOUT\r\n")
        .reply("* BYE bye\r\nA6 OK out\r\n")
        .acceptNext();
    // Only ours are flagged: EXPUNGE.
    scriptOpen(peer, "IMAP4rev1", "* SEARCH 4\r\n");
    peer.expectLine("A4 UID STORE 4 +FLAGS.SILENT (\\Deleted)\r\n")
        .reply("A4 OK stored\r\n")
        .expectLine("A5 UID SEARCH DELETED\r\n")
        .reply("* SEARCH 4\r\nA5 OK\r\n")
        .expectLine("A6 EXPUNGE\r\n")
        .reply("* 2 EXPUNGE\r\nA6 OK\r\n")
        .expectLine("A7 LOGOUT\r\n")
        .reply("* BYE bye\r\nA7 OK out\r\n")
        .acceptNext();
    // With UIDPLUS: UID EXPUNGE of exactly the marked ones.
    scriptOpen(peer, "IMAP4rev1 UIDPLUS", "* SEARCH 4 6\r\n");
    peer.expectLine("A4 UID STORE 6 +FLAGS.SILENT (\\Deleted)\r\n")
        .reply("A4 OK stored\r\n")
        .expectLine("A5 UID EXPUNGE 6\r\n")
        .reply("* 2 EXPUNGE\r\nA5 OK\r\n")
        .expectLine("A6 LOGOUT\r\n")
        .reply("* BYE bye\r\nA6 OK out\r\n");
    ImapMailbox mailbox(accountAt(peer.start()));
    ASSERT_TRUE(mailbox.open()) << mailbox.failureText();
    EXPECT_TRUE(mailbox.markDeleted(1));
    EXPECT_TRUE(mailbox.markDeleted(3));
    EXPECT_FALSE(mailbox.markDeleted(4));
    EXPECT_TRUE(mailbox.close()) << mailbox.failureText();
    ASSERT_TRUE(mailbox.open()) << mailbox.failureText();
    EXPECT_TRUE(mailbox.markDeleted(1));
    EXPECT_TRUE(mailbox.close()) << mailbox.failureText();
    ASSERT_TRUE(mailbox.open()) << mailbox.failureText();
    EXPECT_TRUE(mailbox.markDeleted(2));
    EXPECT_TRUE(mailbox.close()) << mailbox.failureText();
    EXPECT_EQ(peer.finish(), "");
}

TEST(ImapMailboxScripted, NoAndBadAnswersEndTheStepWithTheServersWords) {
    ScriptedPeer peer;
    // A folder the server does not have is created, then selected; the
    // search is answered BAD.
    peer.reply("* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN SASL-IR] hello\r\n")
        .expectLine(plainLogin("A1"))
        .reply("A1 OK in\r\n")
        .expectLine("A2 CAPABILITY\r\n")
        .reply("* CAPABILITY IMAP4rev1 UIDPLUS\r\nA2 OK\r\n")
        .expectLine("A3 SELECT \"Parvola &-\"\r\n")
        .reply("A3 NO [NONEXISTENT] Mailbox doesn't exist\r\n")
        .expectLine("A4 CREATE \"Parvola &-\"\r\n")
        .reply("A4 OK created\r\n")
        .expectLine("A5 SELECT \"Parvola &-\"\r\n")
        .reply("* OK [UIDVALIDITY 5] ok\r\nA5 OK selected\r\n")
        .expectLine("A6 UID SEARCH UNDELETED SUBJECT \"PARVOL\"\r\n")
        .reply("A6 BAD Error in IMAP command: unknown key\r\n");
    MailboxAccount account = accountAt(peer.start());
    account.mailFolder = "Parvola &";
    ImapMailbox mailbox(account);
    EXPECT_FALSE(mailbox.open());
    EXPECT_EQ(mailbox.failureText(), "IMAP 127.0.0.1:" + std::to_string(peer.port()) +
                                         ", search: BAD Error in IMAP command: unknown key");
    EXPECT_EQ(mailbox.messageCount(), -1);
    EXPECT_EQ(peer.finish(), "");
}

TEST(ImapMailboxScripted, StoreSaysTheServersLimitAndRefusalAndCreatesAMissingFolder) {
    ScriptedPeer peer;
    // The limit in the capabilities, then one per folder by STATUS.
    scriptLogin(peer, "IMAP4rev1 APPENDLIMIT=35651584")
        .expectLine("A2 LOGOUT\r\n")
        .reply("* BYE\r\nA2 OK\r\n")
        .acceptNext();
    scriptLogin(peer, "IMAP4rev1 LITERAL+ APPENDLIMIT")
        .expectLine("A2 STATUS \"Parvola\" (APPENDLIMIT)\r\n")
        .reply("* STATUS Parvola (APPENDLIMIT 1000)\r\nA2 OK\r\n")
        .expectLine("A3 LOGOUT\r\n")
        .reply("* BYE\r\nA3 OK\r\n")
        .acceptNext();
    // A folder that is not there: created, then appended to; the mail
    // (with LITERAL+) ends with its closing boundary and the line break
    // that ends the command.
    scriptLogin(peer, "IMAP4rev1 LITERAL+")
        .captureUntil("--\r\n\r\n")
        .reply("A2 NO [TRYCREATE] Mailbox doesn't exist: Parvola\r\n")
        .expectLine("A3 CREATE \"Parvola\"\r\n")
        .reply("A3 OK created\r\n")
        .captureUntil("--\r\n\r\n")
        .reply("A4 OK [APPENDUID 5 1] appended\r\n")
        .expectLine("A5 LOGOUT\r\n")
        .reply("* BYE\r\nA5 OK\r\n")
        .acceptNext();
    // Over quota: the refusal as a code and in the server's words.
    scriptLogin(peer, "IMAP4rev1 LITERAL+")
        .captureUntil("--\r\n\r\n")
        .reply("A2 NO [OVERQUOTA] Quota exceeded\r\n")
        .expectLine("A3 LOGOUT\r\n")
        .reply("* BYE\r\nA3 OK\r\n")
        .acceptNext();
    // The provider's limit for now: to be waited out, not a refusal.
    scriptLogin(peer, "IMAP4rev1 LITERAL+")
        .captureUntil("--\r\n\r\n")
        .reply("A2 NO [LIMIT] Too many messages appended today\r\n")
        .expectLine("A3 LOGOUT\r\n")
        .reply("* BYE\r\nA3 OK\r\n");
    MailboxAccount account = accountAt(peer.start());
    account.mailFolder = "Parvola";
    ImapMailbox mailbox(account);
    account.mailFolder = "INBOX";
    EXPECT_EQ(ImapMailbox(account).storeSizeLimit(), 35651584u);
    EXPECT_EQ(mailbox.storeSizeLimit(), 1000u);

    StoreMail mail;
    mail.subject = mail.bodyText = "PARVOLCONFIG1;1;bob@example.org";
    EXPECT_EQ(mailbox.store(mail), 0) << mailbox.failureText();
    std::string reply;
    EXPECT_EQ(mailbox.store(mail, &reply), 552);
    EXPECT_EQ(reply, "NO [OVERQUOTA] Quota exceeded");
    EXPECT_EQ(mailbox.failureText(), "IMAP 127.0.0.1:" + std::to_string(peer.port()) +
                                         ", append: NO [OVERQUOTA] Quota exceeded");
    EXPECT_EQ(mailbox.failureKind(), MailboxFailure::Permanent);
    EXPECT_NE(mailbox.store(mail), 0);
    EXPECT_EQ(mailbox.failureKind(), MailboxFailure::Limit);
    EXPECT_EQ(peer.finish(), "");
    // Every append carried the composed mail, flagged as read.
    for (size_t i : {size_t{0}, size_t{1}, size_t{2}}) {
        const std::string appended = peer.captured(i);
        EXPECT_EQ(
            appended.rfind(std::string(i == 1 ? "A4" : "A2") + " APPEND \"Parvola\" (\\Seen) {", 0),
            0u)
            << appended.substr(0, 60);
        EXPECT_NE(appended.find("\r\nSubject: PARVOLCONFIG1;1;bob@example.org\r\n"),
                  std::string::npos);
    }
}

TEST(ImapMailboxScripted, APasswordGoesOutOnlyAsAllowedAndNeverShowsInAFailure) {
    const std::string plainGreeting = "* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] hello\r\n";
    {
        // No TLS offered, plain text not allowed: nothing secret is sent.
        ScriptedPeer peer;
        peer.reply(plainGreeting);
        MailboxAccount account = accountAt(peer.start());
        account.imapTls.mode = TlsMode::StartTlsIfOffered;
        account.imapTls.plaintextLoginAllowed = false;
        ImapMailbox mailbox(account);
        EXPECT_FALSE(mailbox.open());
        EXPECT_NE(mailbox.failureText().find(
                      ", login: IMAP server 127.0.0.1:" + std::to_string(account.imapPort) +
                      " offers no TLS: the password was not sent in plain text"),
                  std::string::npos)
            << mailbox.failureText();
        EXPECT_EQ(peer.finish(), "");
        EXPECT_EQ(peer.transcript(), "");
    }
    {
        // STARTTLS required and not offered: no login either.
        ScriptedPeer peer;
        peer.reply(plainGreeting);
        MailboxAccount account = accountAt(peer.start());
        account.imapTls.mode = TlsMode::StartTls;
        ImapMailbox mailbox(account);
        EXPECT_FALSE(mailbox.open());
        EXPECT_NE(mailbox.failureText().find("does not offer TLS"), std::string::npos)
            << mailbox.failureText();
        EXPECT_EQ(peer.finish(), "");
        EXPECT_EQ(peer.transcript(), "");
    }
    {
        // LOGIN with a password beyond ASCII: a literal after the go-ahead;
        // the refusal that echoes it shows it masked.
        ScriptedPeer peer;
        peer.reply("* OK [CAPABILITY IMAP4rev1] hello\r\n")
            .expectLine("A1 LOGIN \"bob\" {9}\r\n")
            .reply("+ go on\r\n")
            .expectBytes("pässwort\r\n")
            .reply("A1 NO [AUTHENTICATIONFAILED] wrong: pässwort\r\n");
        ImapMailbox mailbox(accountAt(peer.start(), "pässwort"));
        EXPECT_FALSE(mailbox.open());
        EXPECT_EQ(mailbox.failureText(), "IMAP 127.0.0.1:" + std::to_string(peer.port()) +
                                             ", login: NO [AUTHENTICATIONFAILED] wrong: ****");
        EXPECT_EQ(peer.finish(), "");
    }
    {
        // A greeting that never ends is refused at the line bound.
        ScriptedPeer peer;
        peer.reply("* OK " + std::string(ImapReplyReader::kMaxLineLength + 1000, 'x'));
        ImapMailbox mailbox(accountAt(peer.start()));
        EXPECT_FALSE(mailbox.open());
        EXPECT_NE(mailbox.failureText().find("longer than"), std::string::npos)
            << mailbox.failureText();
        peer.finish();  // the peer's send may break off when the client hangs up
        EXPECT_EQ(peer.transcript(), "");
    }
}

}  // namespace
}  // namespace parvola
