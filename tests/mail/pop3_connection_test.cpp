#include "mail/pop3_connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "tests/mail/pop3_script.h"
#include "tests/support/scripted_peer.h"

namespace parvola {
namespace {

using std::chrono::milliseconds;
using test::ScriptedPeer;

// A connection with a short inactivity limit, so that a test that goes
// wrong fails in seconds instead of a minute.
struct Client {
    Client() { pop3.setTimeout(milliseconds(5000)); }
    bool connect(int port) { return pop3.Connect("127.0.0.1", "bob", "secret", port); }
    Pop3Connection pop3;
};

TEST(Pop3Connection, LogsInCountsListsAndQuits) {
    ScriptedPeer peer;
    test::scriptLogin(peer)
        .expectLine("STAT\r\n")
        .reply("+OK 2 320\r\n")
        .expectLine("STAT\r\n")  // the listing asks for the count itself
        .reply("+OK 2 320\r\n")
        .expectLine("LIST\r\n")
        .reply("+OK 2 messages\r\n1 120\r\n2 200\r\n.\r\n")
        .expectLine("TOP 2 20\r\n")
        .reply("+OK\r\nSubject: hi\r\n\r\nline\r\n.\r\n")
        .expectLine("DELE 1\r\n")
        .reply("+OK deleted\r\n");
    test::scriptQuit(peer);
    Client client;
    ASSERT_TRUE(client.connect(peer.start()));
    EXPECT_TRUE(client.pop3.isConnected());

    int count = -1, total = -1;
    ASSERT_TRUE(client.pop3.Statistics(count, total));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(total, 320);
    uint32_t size = 0;
    ASSERT_TRUE(client.pop3.GetMessageSize(2, size));
    EXPECT_EQ(size, 200u);
    EXPECT_EQ(client.pop3.messageSizes(), (std::vector<uint32_t>{120, 200}));
    std::string header = "old text is replaced";
    ASSERT_TRUE(client.pop3.GetMessageHeader(2, header));
    EXPECT_EQ(header, "Subject: hi\r\n\r\nline");
    EXPECT_TRUE(client.pop3.Delete(1));
    EXPECT_TRUE(client.pop3.Disconnect());
    EXPECT_FALSE(client.pop3.isConnected());
    EXPECT_EQ(peer.finish(), "");
}

TEST(Pop3Connection, LowerCaseOkIsGoodForEveryReaderButStat) {
    ScriptedPeer peer;
    peer.reply("+ok hello\r\n")
        .expectLine("USER bob\r\n")
        .reply("+ok\r\n")
        .expectLine("PASS secret\r\n")
        .reply("+Ok\r\n")
        .expectLine("STAT\r\n")
        .reply("+ok 2 320\r\n")
        .expectLine("STAT\r\n")
        .reply("+OK 1 50\r\n")
        .expectLine("LIST\r\n")
        .reply("+ok\r\n1 50\r\n.\r\n")
        .expectLine("TOP 1 20\r\n")
        .reply("+oK\r\nSubject: x\r\n.\r\n")
        .expectLine("LIST 1\r\n")
        .reply("+ok 1 50\r\n")
        .expectLine("RETR 1\r\n")
        .reply("+ok\r\nSubject: x\r\n\r\nbody\r\n.\r\n")
        .expectLine("DELE 1\r\n")
        .reply("+ok\r\n")
        .expectLine("QUIT\r\n")
        .reply("+ok\r\n");
    Client client;
    ASSERT_TRUE(client.connect(peer.start()));
    int count = 0, total = 0;
    EXPECT_FALSE(client.pop3.Statistics(count, total));
    EXPECT_EQ(client.pop3.lastError(), kErrorBadReply);
    EXPECT_EQ(client.pop3.lastReply(), "+ok 2 320");

    uint32_t size = 0;
    EXPECT_TRUE(client.pop3.GetMessageSize(1, size));
    EXPECT_EQ(size, 50u);
    std::string text;
    EXPECT_TRUE(client.pop3.GetMessageHeader(1, text));
    EXPECT_EQ(text, "Subject: x");
    EXPECT_TRUE(client.pop3.Retrieve(1, text));
    EXPECT_EQ(text, "Subject: x\r\n\r\nbody");
    EXPECT_TRUE(client.pop3.Delete(1));
    EXPECT_TRUE(client.pop3.Disconnect());
    EXPECT_EQ(peer.finish(), "");
}

TEST(Pop3Connection, LongOneLineRepliesArriveWhole) {
    const std::string longGreeting = "+OK " + std::string(2500, 'g');
    const std::string longRefusal = "-ERR " + std::string(9000, 'r');
    ScriptedPeer peer;
    peer.replySegments({longGreeting.substr(0, 700), longGreeting.substr(700) + "\r\n"})
        .expectLine("USER bob\r\n")
        .reply("+OK\r\n")
        .expectLine("PASS secret\r\n")
        .reply(longRefusal + "\r\n");
    test::scriptQuit(peer);
    Client client;
    EXPECT_FALSE(client.connect(peer.start()));
    // The refusal, not the QUIT that followed it, is what the caller sees.
    EXPECT_EQ(client.pop3.lastError(), kErrorBadReply);
    EXPECT_EQ(client.pop3.lastReply(), longRefusal);
    EXPECT_FALSE(client.pop3.isConnected());
    EXPECT_EQ(peer.finish(), "");
}

TEST(Pop3Connection, ListingEndInALaterSegmentCompletesTheReply) {
    ScriptedPeer peer;
    test::scriptLogin(peer)
        .expectLine("LIST 1\r\n")
        .reply("+OK 1 30\r\n")
        .expectLine("RETR 1\r\n")
        .replySegments({"+OK\r\nSubject: a\r\n\r\nfirst\r\n", "second\r\n.", "\r", "\n"},
                       milliseconds(40));
    test::scriptQuit(peer);
    Client client;
    ASSERT_TRUE(client.connect(peer.start()));
    std::string text;
    ASSERT_TRUE(client.pop3.Retrieve(1, text));
    EXPECT_EQ(text, "Subject: a\r\n\r\nfirst\r\nsecond");
    EXPECT_TRUE(client.pop3.Disconnect());
    EXPECT_EQ(peer.finish(), "");
}

TEST(Pop3Connection, DotStuffedLinesKeepTheirExtraDot) {
    ScriptedPeer peer;
    test::scriptLogin(peer)
        .expectLine("LIST 1\r\n")
        .reply("+OK 1 40\r\n")
        .expectLine("RETR 1\r\n")
        .reply("+OK\r\nSubject: d\r\n\r\n..starts with a dot\r\n..\r\nend\r\n.\r\n");
    test::scriptQuit(peer);
    Client client;
    ASSERT_TRUE(client.connect(peer.start()));
    std::string text;
    ASSERT_TRUE(client.pop3.Retrieve(1, text));
    EXPECT_EQ(text, "Subject: d\r\n\r\n..starts with a dot\r\n..\r\nend");
    EXPECT_TRUE(client.pop3.Disconnect());
    EXPECT_EQ(peer.finish(), "");
}

TEST(Pop3Connection, SilenceEndsInATimeOutWithThePartialReplyKept) {
    ScriptedPeer peer;
    test::scriptLogin(peer).expectLine("STAT\r\n").reply("+OK 2").silentUntilClientActs();
    test::scriptQuit(peer);
    Pop3Connection pop3;
    pop3.setTimeout(milliseconds(300));
    ASSERT_TRUE(pop3.Connect("127.0.0.1", "bob", "secret", peer.start()));
    int count = 0, total = 0;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(pop3.Statistics(count, total));
    // Bounded from below only: the reader must not give up early.
    EXPECT_GE(std::chrono::steady_clock::now() - started, milliseconds(300));
    EXPECT_EQ(pop3.lastError(), kErrorTimedOut);
    EXPECT_EQ(pop3.lastReply(), "+OK 2");
    EXPECT_TRUE(pop3.Disconnect());
    EXPECT_EQ(peer.finish(), "");
}

TEST(Pop3Connection, ConnectionClosedMidReplyFailsWithThePartialText) {
    ScriptedPeer peer;
    test::scriptLogin(peer)
        .expectLine("LIST 1\r\n")
        .reply("+OK 1 5000\r\n")
        .expectLine("RETR 1\r\n")
        .reply("+OK\r\nSubject: cut\r\n\r\nAAAA")
        .closeConnection();
    Client client;
    ASSERT_TRUE(client.connect(peer.start()));
    std::string text = "untouched";
    EXPECT_FALSE(client.pop3.Retrieve(1, text));
    EXPECT_EQ(text, "untouched");
    EXPECT_EQ(client.pop3.lastReply(), "+OK\r\nSubject: cut\r\n\r\nAAAA");
    EXPECT_FALSE(client.pop3.Disconnect());  // the QUIT gets no answer
    EXPECT_EQ(peer.finish(), "");
}

TEST(Pop3Connection, ErrorToAMultiLineCommandIsJudgedAtOnce) {
    ScriptedPeer peer;
    test::scriptLogin(peer)
        .expectLine("LIST 3\r\n")
        .reply("+OK 3 10\r\n")
        .expectLine("RETR 3\r\n")
        .reply("-ERR message 3 already deleted\r\n");
    test::scriptQuit(peer);
    Pop3Connection pop3;
    // Far longer than the test may take: only the judgement can end the read.
    pop3.setTimeout(milliseconds(60000));
    ASSERT_TRUE(pop3.Connect("127.0.0.1", "bob", "secret", peer.start()));
    std::string text;
    EXPECT_FALSE(pop3.Retrieve(3, text));
    EXPECT_EQ(pop3.lastError(), kErrorBadReply);
    EXPECT_EQ(pop3.lastReply(), "-ERR message 3 already deleted");
    EXPECT_TRUE(pop3.Disconnect());
    EXPECT_EQ(peer.finish(), "");
}

TEST(Pop3Connection, EmptyMailboxHasNoMessageToAskFor) {
    ScriptedPeer peer;
    test::scriptLogin(peer)
        .expectLine("STAT\r\n")
        .reply("+OK 0 0\r\n")
        .expectLine("LIST\r\n")
        .reply("+OK 0 messages (0 octets)\r\n.\r\n");
    test::scriptQuit(peer);
    Client client;
    ASSERT_TRUE(client.connect(peer.start()));
    uint32_t size = 7;
    // Nothing is sent for a message that is not there: no TOP, no DELE.
    EXPECT_FALSE(client.pop3.GetMessageSize(1, size));
    EXPECT_EQ(client.pop3.messageCount(), 0);
    EXPECT_TRUE(client.pop3.messageSizes().empty());
    EXPECT_EQ(client.pop3.lastError(), kErrorInvalidArgument);
    std::string text;
    EXPECT_FALSE(client.pop3.GetMessageHeader(1, text));
    EXPECT_FALSE(client.pop3.Delete(0));
    EXPECT_FALSE(client.pop3.Delete(1));
    EXPECT_TRUE(client.pop3.Disconnect());
    EXPECT_EQ(peer.finish(), "");
}

TEST(Pop3Connection, AHostileMessageCountReservesOnlyWhatTheListingHolds) {
    // A server that claims two billion messages in STAT but lists one must
    // not make the client set aside room for two billion sizes (8 GiB).
    ScriptedPeer peer;
    test::scriptLogin(peer)
        .expectLine("STAT\r\n")
        .reply("+OK 2147483647 9\r\n")
        .expectLine("LIST\r\n")
        .reply("+OK\r\n1 120\r\n.\r\n");
    test::scriptQuit(peer);
    Client client;
    ASSERT_TRUE(client.connect(peer.start()));
    uint32_t size = 0;
    ASSERT_TRUE(client.pop3.GetMessageSize(1, size));
    EXPECT_EQ(size, 120u);
    EXPECT_EQ(client.pop3.messageSizes(), std::vector<uint32_t>{120});
    EXPECT_LT(client.pop3.messageSizes().capacity(), 64u);
    EXPECT_TRUE(client.pop3.Disconnect());
    EXPECT_EQ(peer.finish(), "");
}

TEST(Pop3Connection, StatNeedsTwoNumbers) {
    ScriptedPeer peer;
    test::scriptLogin(peer).expectLine("STAT\r\n").reply("+OK 2\r\n");
    test::scriptQuit(peer);
    Client client;
    ASSERT_TRUE(client.connect(peer.start()));
    int count = 0, total = 0;
    EXPECT_FALSE(client.pop3.Statistics(count, total));
    EXPECT_EQ(client.pop3.lastReply(), "+OK 2");
    EXPECT_TRUE(client.pop3.Disconnect());
    EXPECT_EQ(peer.finish(), "");
}

TEST(Pop3Connection, RefusedGreetingOrLoginEndsWithQuit) {
    ScriptedPeer greeting;
    greeting.reply("-ERR too busy\r\n");
    test::scriptQuit(greeting);
    Client first;
    EXPECT_FALSE(first.connect(greeting.start()));
    EXPECT_EQ(first.pop3.lastReply(), "-ERR too busy");
    EXPECT_EQ(greeting.finish(), "");

    ScriptedPeer login;
    login.reply("+OK\r\n").expectLine("USER bob\r\n").reply("-ERR unknown user\r\n");
    test::scriptQuit(login);
    Client second;
    EXPECT_FALSE(second.connect(login.start()));
    EXPECT_EQ(second.pop3.lastError(), kErrorBadReply);
    EXPECT_EQ(second.pop3.lastReply(), "-ERR unknown user");
    EXPECT_EQ(login.finish(), "");
}

TEST(Pop3Connection, OverlongOrMultiLineCredentialsAreRefusedBeforeAnythingIsSent) {
    ScriptedPeer peer;
    const int port = peer.setStepLimit(milliseconds(200)).start();
    const std::string limit(120, 'u');
    for (const auto& [user, password] :
         std::vector<std::pair<std::string, std::string>>{{limit + "u", "secret"},
                                                          {"bob", std::string(121, 'p')},
                                                          {"bob", "secret\r\nDELE 1"},
                                                          {"bob\nx", "secret"},
                                                          {"bob", std::string("sec\0ret", 7)}}) {
        Pop3Connection pop3;
        EXPECT_FALSE(pop3.Connect("127.0.0.1", user, password, port));
        EXPECT_EQ(pop3.lastError(), kErrorInvalidArgument);
        EXPECT_FALSE(pop3.Disconnect());
    }
    EXPECT_EQ(peer.finish(), "the client never connected\n");
    EXPECT_EQ(peer.connections(), 0);

    // 120 bytes still fit.
    ScriptedPeer fits;
    test::scriptLogin(fits, limit, std::string(120, 'p'));
    test::scriptQuit(fits);
    Pop3Connection pop3;
    pop3.setTimeout(milliseconds(5000));
    EXPECT_TRUE(pop3.Connect("127.0.0.1", limit, std::string(120, 'p'), fits.start()));
    EXPECT_TRUE(pop3.Disconnect());
    EXPECT_EQ(fits.finish(), "");
}

TEST(Pop3Connection, DisconnectWithoutAConnectionSendsNothing) {
    Pop3Connection never;
    EXPECT_FALSE(never.Disconnect());
    EXPECT_FALSE(never.isConnected());

    Pop3Connection unknownHost;
    EXPECT_FALSE(unknownHost.Connect("no-such-host.invalid", "bob", "secret", 110));
    EXPECT_EQ(unknownHost.lastError(), kErrorInvalidArgument);
    EXPECT_FALSE(unknownHost.Disconnect());

    int closedPort;
    {
        ScriptedPeer gone;
        closedPort = gone.port();
    }
    Pop3Connection refused;
    EXPECT_FALSE(refused.Connect("127.0.0.1", "bob", "secret", closedPort));
    EXPECT_EQ(refused.lastError(), kErrorConnectionRefused);
    EXPECT_FALSE(refused.Disconnect());
}

}  // namespace
}  // namespace parvola
