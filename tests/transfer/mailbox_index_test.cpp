// The subject index against scripted POP3 servers, for what a real server
// will not do on demand: refuse UIDL, list ids that do not fit STAT, and
// keep an id while the message behind it changed size.
#include <gtest/gtest.h>

#include <set>

#include "mail/pop3_smtp_mailbox.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/temp_dir.h"
#include "transfer/mailbox_index.h"

namespace parvola::test {
namespace {

const std::string kPiece1 = "PARVOL:;x.bin;5;0;4;0000000000;2;1";
const std::string kPiece2 = "PARVOL:;x.bin;5;0;4;0000000000;2;2";

std::string topReply(const std::string& subject) {
    return "+OK\r\nSubject: " + subject + "\r\n\r\nbody\r\n.\r\n";
}

// Greeting and login.
ScriptedPeer& login(ScriptedPeer& peer) {
    return peer.reply("+OK ready\r\n")
        .expectLine("USER u\r\n")
        .reply("+OK\r\n")
        .expectLine("PASS p\r\n")
        .reply("+OK\r\n");
}

// The mailbox user u (password p) of the scripted server at `port`.
MailboxAccount scriptedAccount(int port) {
    MailboxAccount account;
    account.pop3Host = "127.0.0.1";
    account.pop3Port = port;
    account.mailboxUser = "u";
    account.mailboxPassword = "p";
    return account;
}

PieceSubject wanted(int index) {
    PieceSubject subject = parseSubject(kPiece1);
    subject.pieceIndex = index;
    return subject;
}

class IndexScript : public ::testing::Test {
  protected:
    AppHome home;
};

TEST_F(IndexScript, AServerWithoutUidlOrWithAnUnfittingListingGetsEveryHeaderRead) {
    for (const std::string& uidl :
         {std::string("-ERR Unknown command\r\n"), std::string("+OK\r\n1 a\r\n3 b\r\n.\r\n"),
          std::string("+OK\r\n1 a\r\n.\r\n")}) {
        ScriptedPeer peer;
        login(peer)
            .expectLine("STAT\r\n")
            .reply("+OK 2 200\r\n")
            .expectLine("UIDL\r\n")
            .reply(uidl)
            .expectLine("STAT\r\n")
            .reply("+OK 2 200\r\n")
            .expectLine("LIST\r\n")
            .reply("+OK\r\n1 100\r\n2 100\r\n.\r\n")
            .expectLine("TOP 2 20\r\n")
            .reply(topReply(kPiece2))
            .expectLine("TOP 1 20\r\n")
            .reply(topReply(kPiece1))
            .expectLine("QUIT\r\n")
            .reply("+OK\r\n");
        const int port = peer.start();
        Pop3SmtpMailbox mailbox(scriptedAccount(port));
        ASSERT_TRUE(mailbox.open());
        MailboxIndex index(mailbox, "u@scripted");
        ASSERT_TRUE(index.open());
        EXPECT_FALSE(index.hasUniqueIds());
        EXPECT_EQ(index.findPiece(wanted(1)), 1);
        EXPECT_EQ(index.findPiece(wanted(2)), 2);  // known already: no TOP
        EXPECT_EQ(index.headersRead(), 2);
        EXPECT_FALSE(index.saveCache());
        mailbox.close();
        EXPECT_EQ(peer.finish(), "") << uidl;
    }
}

TEST_F(IndexScript, CachedSubjectsAreUsedOnlyForTheSameIdAndSize) {
    const std::string cacheName = "u@scripted:1";
    {
        ScriptedPeer peer;
        login(peer)
            .expectLine("STAT\r\n")
            .reply("+OK 2 200\r\n")
            .expectLine("UIDL\r\n")
            .reply("+OK\r\n1 id-one\r\n2 id-two\r\n.\r\n")
            .expectLine("STAT\r\n")
            .reply("+OK 2 200\r\n")
            .expectLine("LIST\r\n")
            .reply("+OK\r\n1 100\r\n2 100\r\n.\r\n")
            .expectLine("TOP 2 20\r\n")
            .reply(topReply(kPiece2))
            .expectLine("TOP 1 20\r\n")
            .reply(topReply(kPiece1))
            .expectLine("QUIT\r\n")
            .reply("+OK\r\n");
        const int port = peer.start();
        Pop3SmtpMailbox mailbox(scriptedAccount(port));
        ASSERT_TRUE(mailbox.open());
        MailboxIndex index(mailbox, cacheName);
        ASSERT_TRUE(index.open());
        EXPECT_TRUE(index.readAll());
        EXPECT_TRUE(index.saveCache());
        mailbox.close();
        EXPECT_EQ(peer.finish(), "");
    }
    // Message 1 is gone; "id-two" is now message 1 with another size (so its
    // cached subject is not believed) and a new message 2 arrived.
    ScriptedPeer peer;
    login(peer)
        .expectLine("STAT\r\n")
        .reply("+OK 2 200\r\n")
        .expectLine("UIDL\r\n")
        .reply("+OK\r\n1 id-two\r\n2 id-three\r\n.\r\n")
        .expectLine("STAT\r\n")
        .reply("+OK 2 200\r\n")
        .expectLine("LIST\r\n")
        .reply("+OK\r\n1 120\r\n2 100\r\n.\r\n")
        .expectLine("TOP 2 20\r\n")
        .reply(topReply("hello"))
        .expectLine("TOP 1 20\r\n")
        .reply(topReply(kPiece1))
        .expectLine("QUIT\r\n")
        .reply("+OK\r\n");
    const int port = peer.start();
    Pop3SmtpMailbox mailbox(scriptedAccount(port));
    ASSERT_TRUE(mailbox.open());
    MailboxIndex index(mailbox, cacheName);
    ASSERT_TRUE(index.open());
    EXPECT_EQ(index.findPiece(wanted(2)), -1);
    EXPECT_EQ(index.findPiece(wanted(1)), 1);
    EXPECT_EQ(index.headersRead(), 2);
    EXPECT_EQ(index.cacheHits(), 0);
    mailbox.close();
    EXPECT_EQ(peer.finish(), "");
}

TEST_F(IndexScript, AFailedHeaderReadEndsTheSearchWithoutAGuess) {
    ScriptedPeer peer;
    login(peer)
        .expectLine("STAT\r\n")
        .reply("+OK 3 300\r\n")
        .expectLine("STAT\r\n")
        .reply("+OK 3 300\r\n")
        .expectLine("LIST\r\n")
        .reply("+OK\r\n1 100\r\n2 100\r\n3 100\r\n.\r\n")
        .expectLine("TOP 3 20\r\n")
        .reply(topReply("hello"))
        .expectLine("TOP 2 20\r\n")
        .reply("-ERR no such message\r\n")
        .expectLine("TOP 2 20\r\n")
        .reply(topReply(kPiece1))
        .expectLine("QUIT\r\n")
        .reply("+OK\r\n");
    const int port = peer.start();
    Pop3SmtpMailbox mailbox(scriptedAccount(port));
    ASSERT_TRUE(mailbox.open());
    MailboxIndex index(mailbox);  // no cache: no UIDL either
    ASSERT_TRUE(index.open());
    EXPECT_EQ(index.findPiece(wanted(1)), -1);
    // A later search goes on from where the failure was, not past it.
    EXPECT_EQ(index.findPiece(wanted(1)), 2);
    EXPECT_EQ(index.headersRead(), 2);
    mailbox.close();
    EXPECT_EQ(peer.finish(), "");
}

// Ids of an IMAP folder name nothing in another folder or over POP3: each
// view of the same mailbox keeps a cache file of its own.
TEST(MailboxCacheName, EachFolderAndProtocolOfOneMailboxHasItsOwnCache) {
    MailboxAccount pop3;
    pop3.mailboxUser = "alice";
    pop3.pop3Host = pop3.imapHost = "mail.example.org";
    MailboxAccount inbox = pop3;
    inbox.reader = MailboxReader::Imap;
    MailboxAccount folder = inbox;
    folder.mailFolder = "Parvola";
    const std::set<std::string> paths = {mailboxCachePath(mailboxCacheName(pop3)),
                                         mailboxCachePath(mailboxCacheName(inbox)),
                                         mailboxCachePath(mailboxCacheName(folder))};
    EXPECT_EQ(paths.size(), 3u);
}

}  // namespace
}  // namespace parvola::test
