// A header read that fails in the middle of a trim, which a real server will
// not do on demand: the trim chooses by version, so it reads every subject
// before it marks anything; it marks nothing, still logs out, and answers -1.
#include <gtest/gtest.h>

#include "tests/mail/pop3_script.h"
#include "tests/support/scripted_peer.h"
#include "transfer/catalog_sync.h"

namespace parvola {
namespace {

std::string headerReply(const std::string& subject) {
    return "+OK top follows\r\n" +
           test::multiLine("Subject: " + subject + "\r\nFrom: <a@sina.test>\r\n\r\nbody");
}

MailboxAccount scriptedAccount(int port) {
    MailboxAccount account("a@sina.test", "x");
    account.loginAddress = "a@sina.test";
    account.pop3Host = "127.0.0.1";
    account.pop3Port = port;
    account.mailboxUser = "bob";
    account.mailboxPassword = "secret";
    return account;
}

TEST(CatalogTrimScript, AHeaderFailureMarksNothingAndStillQuits) {
    test::ScriptedPeer peer;
    test::scriptLogin(peer).expectLine("STAT\r\n").reply("+OK 13 1300\r\n");
    // A server without UIDL: no subject cache, every header is read.
    peer.expectLine("UIDL\r\n").reply("-ERR unknown command\r\n");
    std::string list = "+OK 13 messages\r\n";
    for (int n = 1; n <= 13; ++n)
        list += std::to_string(n) + " 100\r\n";
    // The connection counts again and lists the sizes before its first TOP.
    peer.expectLine("STAT\r\n").reply("+OK 13 1300\r\n");
    peer.expectLine("LIST\r\n").reply(list + ".\r\n");
    // 13 is a piece; 12 to 2 are catalog mails; 1 cannot be read.
    peer.expectLine("TOP 13 20\r\n")
        .reply(headerReply("PARVOL:;PARVOLCONFIG1;1;a@sina.test;1;1;0000000000;1;1"));
    for (int n = 12; n >= 2; --n)
        peer.expectLine("TOP " + std::to_string(n) + " 20\r\n")
            .reply(headerReply(CatalogSubject(n, 1256450000 + n, "a@sina.test")));
    peer.expectLine("TOP 1 20\r\n").reply("-ERR no such message\r\n");
    test::scriptQuit(peer);
    const int port = peer.start();
    EXPECT_EQ(SyncCatalog("a@sina.test", scriptedAccount(port), SyncMode::Trim), kSyncFailed);
    EXPECT_EQ(peer.finish(), "");
}

TEST(CatalogTrimScript, ALoadStopsAtAHeaderFailureAndLoadsNothing) {
    test::ScriptedPeer peer;
    test::scriptLogin(peer).expectLine("STAT\r\n").reply("+OK 2 200\r\n");
    peer.expectLine("UIDL\r\n").reply("-ERR unknown command\r\n");
    peer.expectLine("STAT\r\n").reply("+OK 2 200\r\n");
    peer.expectLine("LIST\r\n").reply("+OK\r\n1 100\r\n2 100\r\n.\r\n");
    peer.expectLine("TOP 2 20\r\n").reply("-ERR busy\r\n");
    test::scriptQuit(peer);
    const int port = peer.start();
    EXPECT_EQ(SyncCatalog("a@sina.test", scriptedAccount(port), SyncMode::Load), kSyncFailed);
    EXPECT_EQ(peer.finish(), "");
}

}  // namespace
}  // namespace parvola
