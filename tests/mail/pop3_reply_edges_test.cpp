// Where the bytes of a reply happen to be cut into receives must never
// decide where the reply ends: line ends split between two segments, a
// listing cut at each of its bytes, two replies in one segment.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "mail/pop3_connection.h"
#include "tests/mail/pop3_script.h"
#include "tests/support/scripted_peer.h"

namespace parvola {
namespace {

using std::chrono::milliseconds;
using test::ScriptedPeer;

constexpr milliseconds kGap(25);

TEST(Pop3ReplyEdges, LineEndsSplitBetweenSegmentsEndTheRepliesThere) {
    ScriptedPeer peer;
    peer.replySegments({"+OK a\rb ready\r", "\n"}, kGap)
        .expectLine("USER bob\r\n")
        .replySegments({"+OK\r", "\n"}, kGap)
        .expectLine("PASS secret\r\n")
        .replySegments({"+OK in\r", "\n"}, kGap)
        .expectLine("STAT\r\n")
        .replySegments({"+OK 2 320", "\r", "\n"}, kGap)
        .expectLine("STAT\r\n")
        .replySegments({"+OK 2 320\r", "\n"}, kGap)
        .expectLine("LIST\r\n")
        .replySegments({"+OK 2 messages\r", "\n1 120\r", "\n2 200\r", "\n.\r", "\n"}, kGap)
        .expectLine("DELE 2\r\n")
        .replySegments({"-ERR gone\r", "\n"}, kGap)
        .expectLine("QUIT\r\n")
        .replySegments({"+OK bye\r", "\n"}, kGap);
    Pop3Connection pop3;
    pop3.setTimeout(milliseconds(5000));
    ASSERT_TRUE(pop3.Connect("127.0.0.1", "bob", "secret", peer.start()));
    int count = 0, total = 0;
    ASSERT_TRUE(pop3.Statistics(count, total));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(total, 320);
    uint32_t size = 0;
    ASSERT_TRUE(pop3.GetMessageSize(2, size));
    EXPECT_EQ(size, 200u);
    EXPECT_EQ(pop3.messageSizes(), (std::vector<uint32_t>{120, 200}));
    EXPECT_FALSE(pop3.Delete(2));
    EXPECT_EQ(pop3.lastError(), kErrorBadReply);
    EXPECT_EQ(pop3.lastReply(), "-ERR gone");
    EXPECT_TRUE(pop3.Disconnect());
    EXPECT_EQ(peer.finish(), "");
}

// The same reply cut into two segments at every byte: inside the status
// line's CRLF, inside a dot-stuffed line, inside the CRLF "." CRLF end.
TEST(Pop3ReplyEdges, AMessageCutAtAnyByteReadsTheSame) {
    const std::string reply =
        "+OK 40 octets\r\nSubject: a\r\n\r\n..dot\r\n.\r.\r\nend.\r\n\r\n.\r\n";
    const std::string expected = "Subject: a\r\n\r\n..dot\r\n.\r.\r\nend.\r\n";
    for (size_t cut = 1; cut < reply.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        ScriptedPeer peer;
        test::scriptLogin(peer)
            .expectLine("LIST 1\r\n")
            .reply("+OK 1 40\r\n")
            .expectLine("RETR 1\r\n")
            .replySegments({reply.substr(0, cut), reply.substr(cut)}, milliseconds(15))
            .expectLine("STAT\r\n")
            .reply("+OK 1 40\r\n");
        test::scriptQuit(peer);
        Pop3Connection pop3;
        pop3.setTimeout(milliseconds(5000));
        ASSERT_TRUE(pop3.Connect("127.0.0.1", "bob", "secret", peer.start()));
        std::string text;
        ASSERT_TRUE(pop3.Retrieve(1, text));
        EXPECT_EQ(text, expected);
        // Nothing of the reply is left over to be taken for the next one.
        int count = 0, total = 0;
        EXPECT_TRUE(pop3.Statistics(count, total));
        EXPECT_EQ(total, 40);
        EXPECT_TRUE(pop3.Disconnect());
        EXPECT_EQ(peer.finish(), "");
    }
}

// A server that sends more than one reply at once (or a reply with a line
// end too many) is read as the same sequence of replies every time: each
// reply ends at its first line end (or listing end), the rest waits.
TEST(Pop3ReplyEdges, RepliesThatArriveTogetherAreReadOneByOne) {
    ScriptedPeer peer;
    peer.reply("+OK ready\r\n")
        .expectLine("USER bob\r\n")
        .reply("+OK\r\n+OK in\r\n")
        .expectLine("PASS secret\r\n")
        .expectLine("LIST 1\r\n")
        .reply("+OK 1 9\r\n")
        .expectLine("RETR 1\r\n")
        .reply("+OK\r\nA: b\r\n\r\nc\r\n.\r\n+OK 1 9\r\n")
        .expectLine("STAT\r\n");
    test::scriptQuit(peer);
    Pop3Connection pop3;
    pop3.setTimeout(milliseconds(5000));
    ASSERT_TRUE(pop3.Connect("127.0.0.1", "bob", "secret", peer.start()));
    std::string text;
    ASSERT_TRUE(pop3.Retrieve(1, text));
    EXPECT_EQ(text, "A: b\r\n\r\nc");
    int count = 0, total = 0;
    ASSERT_TRUE(pop3.Statistics(count, total));
    EXPECT_EQ(count, 1);
    EXPECT_EQ(total, 9);
    EXPECT_TRUE(pop3.Disconnect());
    EXPECT_EQ(peer.finish(), "");
}

// A message far larger than one receive, its end split from the rest.
TEST(Pop3ReplyEdges, LargeMessageArrivesWholeWhateverTheSegments) {
    std::string body;
    for (int i = 0; body.size() < 3'000'000; ++i)
        body += (i % 7 == 0 ? "." : "") + std::to_string(i) + std::string(60, 'x') + "\r\n";
    const std::string mail = "Subject: big\r\n\r\n" + body;
    const std::string reply = "+OK\r\n" + test::multiLine(mail);
    ScriptedPeer peer;
    test::scriptLogin(peer)
        .expectLine("LIST 1\r\n")
        .reply("+OK 1 " + std::to_string(mail.size()) + "\r\n")
        .expectLine("RETR 1\r\n")
        .replySegments({reply.substr(0, reply.size() - 3), reply.substr(reply.size() - 3)},
                       milliseconds(15));
    test::scriptQuit(peer);
    Pop3Connection pop3;
    pop3.setTimeout(milliseconds(10000));
    ASSERT_TRUE(pop3.Connect("127.0.0.1", "bob", "secret", peer.start()));
    std::string text;
    ASSERT_TRUE(pop3.Retrieve(1, text));
    // The text keeps the stuffing and loses only the final line break.
    std::string stuffed = test::dotStuffed(mail);
    stuffed.resize(stuffed.size() - 2);
    EXPECT_TRUE(text == stuffed);
    EXPECT_TRUE(pop3.Disconnect());
    EXPECT_EQ(peer.finish(), "");
}

}  // namespace
}  // namespace parvola
