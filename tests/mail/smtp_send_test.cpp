#include <gtest/gtest.h>

#include <mutex>

#include "tests/mail/smtp_test_support.h"
#include "tests/support/temp_dir.h"

namespace parvola::test {
namespace {

using Calls = std::vector<HookCall>;

std::string expectedText(SmtpMessage message) {
    std::string text;
    message.GetMessageText(text);
    return text + "\r\n.\r\n";
}

ScriptedPeer& mailFromBob(ScriptedPeer& peer) {
    return peer.expectLine("MAIL FROM: <bob@sina.test>\r\n").reply("250 OK\r\n");
}

ScriptedPeer& dataAccepted(ScriptedPeer& peer) {
    return peer.expectLine("DATA\r\n")
        .reply("354 Enter message, ending with \".\" on a line by itself\r\n")
        .captureUntil("\r\n.\r\n")
        .reply("250 OK id=1\r\n");
}

TEST(SmtpSend, SendsTheComposedTextAndItsEnd) {
    ScriptedPeer peer;
    greetEsmtp(peer);
    authLogin(peer);
    mailFromBob(peer).expectLine("RCPT TO: <bob@sina.test>\r\n").reply("250 Accepted\r\n");
    dataAccepted(peer);
    quit(peer);
    RecordingSmtp smtp(peer.start());
    ASSERT_EQ(smtp.Connect("127.0.0.1"), 1);
    SmtpMessage message = smallMessage();
    const std::string expected = expectedText(message);
    EXPECT_EQ(smtp.SendMessage(message, 7), 0);
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
    EXPECT_EQ(peer.captured(0), expected);
    EXPECT_EQ(smtp.calls, Calls{});
}

TEST(SmtpSend, OneRefusedRecipientAmongSeveral) {
    ScriptedPeer peer;
    greetEsmtp(peer);
    authLogin(peer);
    mailFromBob(peer)
        .expectLine("RCPT TO: <bob@sina.test>\r\n")
        .reply("250 Accepted\r\n")
        .expectLine("RCPT TO: <nobody@sina.test>\r\n")
        .reply("550 5.1.1 <nobody@sina.test>: no such user\r\n")
        .expectLine("RCPT TO: <carol@sina.test>\r\n")
        .reply("251 will forward\r\n")
        .expectLine("RCPT TO: <dave@sina.test>\r\n")
        .reply("250 Accepted\r\n");
    dataAccepted(peer);
    quit(peer);
    RecordingSmtp smtp(peer.start());
    ASSERT_EQ(smtp.Connect("127.0.0.1"), 1);
    SmtpMessage message = smallMessage();
    message.addRecipient(SmtpAddress("nobody@sina.test"));
    message.addRecipient(SmtpAddress("carol@sina.test", "Carol"));
    message.addBlindRecipient(SmtpAddress("dave@sina.test"));
    EXPECT_EQ(smtp.SendMessage(message, 1), 0);
    EXPECT_EQ(smtp.calls, (Calls{{'W', 550}}));
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
    // The blind recipient is not named in the text.
    EXPECT_EQ(peer.captured(0).find("dave"), std::string::npos);
    EXPECT_NE(peer.captured(0).find("\"Carol\" <carol@sina.test>"), std::string::npos);
}

TEST(SmtpSend, AllRecipientsRefused) {
    ScriptedPeer peer;
    greetEsmtp(peer);
    authLogin(peer);
    mailFromBob(peer).expectLine("RCPT TO: <bob@sina.test>\r\n").reply("550 no such user\r\n");
    quit(peer);
    RecordingSmtp smtp(peer.start());
    ASSERT_EQ(smtp.Connect("127.0.0.1"), 1);
    SmtpMessage message = smallMessage();
    EXPECT_EQ(smtp.SendMessage(message, 1), 550);
    EXPECT_EQ(smtp.calls, (Calls{{'W', 550}, {'E', 550}}));
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
}

TEST(SmtpSend, AuthenticationRequiredThenGranted) {
    ScriptedPeer peer;
    greetEsmtp(peer).expectLine("AUTH LOGIN\r\n").reply("454 try later\r\n");
    peer.expectLine("MAIL FROM: <bob@sina.test>\r\n")
        .reply("530 5.7.0 Authentication required\r\n");
    authLogin(peer);
    mailFromBob(peer).expectLine("RCPT TO: <bob@sina.test>\r\n").reply("250 Accepted\r\n");
    dataAccepted(peer);
    quit(peer);
    RecordingSmtp smtp(peer.start());
    ASSERT_EQ(smtp.Connect("127.0.0.1"), 1);
    SmtpMessage message = smallMessage();
    EXPECT_EQ(smtp.SendMessage(message, 1), 0);
    EXPECT_EQ(smtp.calls, (Calls{{'W', 454}}));
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
}

TEST(SmtpSend, AuthenticationRequiredForeverIsBounded) {
    ScriptedPeer peer;
    greetEsmtp(peer);
    authLogin(peer);
    peer.expectLine("MAIL FROM: <bob@sina.test>\r\n").reply("530 Authentication required\r\n");
    for (int i = 0; i < SmtpClient::kMaxReauthentications; ++i) {
        authLogin(peer);
        peer.expectLine("MAIL FROM: <bob@sina.test>\r\n").reply("530 Authentication required\r\n");
    }
    quit(peer);
    RecordingSmtp smtp(peer.start());
    ASSERT_EQ(smtp.Connect("127.0.0.1"), 1);
    SmtpMessage message = smallMessage();
    EXPECT_EQ(smtp.SendMessage(message, 1), 530);
    EXPECT_EQ(smtp.calls, (Calls{{'E', 530}}));
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
}

TEST(SmtpSend, MessagesWithoutSenderOrRecipientAreRefusedUnsent) {
    ScriptedPeer peer;
    greetEsmtp(peer);
    authLogin(peer);
    quit(peer);
    RecordingSmtp smtp(peer.start());
    ASSERT_EQ(smtp.Connect("127.0.0.1"), 1);
    SmtpMessage noSender = smallMessage();
    noSender.setSender(SmtpAddress());
    EXPECT_EQ(smtp.SendMessage(noSender, 1), -1);
    SmtpMessage noRecipient = smallMessage();
    noRecipient.setRecipient(SmtpAddress());
    noRecipient.addBlindRecipient(SmtpAddress("bob@sina.test"));
    EXPECT_EQ(smtp.SendMessage(noRecipient, 1), -1);
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
    EXPECT_EQ(smtp.calls, Calls{});
}

TEST(SmtpSend, AddressesThatDoNotFitOrBreakTheLineAreRefusedUnsent) {
    ScriptedPeer peer;
    greetEsmtp(peer);
    authLogin(peer);
    quit(peer);
    RecordingSmtp smtp(peer.start());
    ASSERT_EQ(smtp.Connect("127.0.0.1"), 1);

    // "MAIL FROM: <" + address + ">\r\n" must leave room for the terminating NUL.
    const std::string fits = std::string(244 - 10, 'a') + "@sina.test";
    std::string line = "MAIL FROM: <" + fits + ">\r\n";
    ASSERT_EQ(line.size(), SmtpClient::kCommandBufferSize - 1);

    SmtpMessage longSender = smallMessage();
    longSender.setSender(SmtpAddress("a" + fits));
    EXPECT_EQ(smtp.SendMessage(longSender, 1), -1);
    SmtpMessage longRecipient = smallMessage();
    longRecipient.addRecipient(SmtpAddress(std::string(300, 'c') + "@sina.test"));
    EXPECT_EQ(smtp.SendMessage(longRecipient, 1), -1);
    SmtpMessage injected = smallMessage();
    injected.setRecipient(SmtpAddress("bob@sina.test>\r\nRCPT TO: <eve@evil.test"));
    EXPECT_EQ(smtp.SendMessage(injected, 1), -1);
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
}

TEST(SmtpSend, LongestAddressThatFitsIsSentWhole) {
    const std::string fits = std::string(244 - 10, 'a') + "@sina.test";
    ScriptedPeer peer;
    greetEsmtp(peer);
    authLogin(peer);
    peer.expectLine("MAIL FROM: <" + fits + ">\r\n").reply("553 not yours\r\n");
    quit(peer);
    RecordingSmtp smtp(peer.start());
    ASSERT_EQ(smtp.Connect("127.0.0.1"), 1);
    SmtpMessage message = smallMessage();
    message.setSender(SmtpAddress(fits));
    EXPECT_EQ(smtp.SendMessage(message, 1), 553);
    EXPECT_EQ(smtp.calls, (Calls{{'E', 553}}));
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
}

TEST(SmtpSend, FinalReplyTimesOut) {
    ScriptedPeer peer;
    greetEsmtp(peer);
    authLogin(peer);
    mailFromBob(peer)
        .expectLine("RCPT TO: <bob@sina.test>\r\n")
        .reply("250 Accepted\r\n")
        .expectLine("DATA\r\n")
        .reply("354 go ahead\r\n")
        .captureUntil("\r\n.\r\n")
        .silentUntilClientActs();
    RecordingSmtp smtp(peer.start());
    smtp.setTimeout(std::chrono::seconds(1));
    ASSERT_EQ(smtp.Connect("127.0.0.1"), 1);
    SmtpMessage message = smallMessage();
    EXPECT_EQ(smtp.SendMessage(message, 1), -1);
    EXPECT_EQ(smtp.calls, (Calls{{'E', -1}}));
    // The connection is taken as lost: no QUIT, just the close.
    EXPECT_FALSE(smtp.isConnected());
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
}

TEST(SmtpSend, ConnectionClosedMidReplyFailsTheMessage) {
    ScriptedPeer peer;
    greetEsmtp(peer);
    authLogin(peer);
    peer.expectLine("MAIL FROM: <bob@sina.test>\r\n").reply("250 O").closeConnection();
    RecordingSmtp smtp(peer.start());
    ASSERT_EQ(smtp.Connect("127.0.0.1"), 1);
    SmtpMessage message = smallMessage();
    EXPECT_EQ(smtp.SendMessage(message, 1), -1);
    EXPECT_EQ(smtp.calls, (Calls{{'E', -1}}));
    EXPECT_FALSE(smtp.isConnected());
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
}

class RecordingSink : public ProgressSink {
  public:
    struct Report {
        int taskId;
        float percent;
        long speed;
        bool finished;
    };
    void report(int taskId, float percent, long bytesPerSecond, bool finished) override {
        std::lock_guard lock(mutex);
        reports.push_back({taskId, percent, bytesPerSecond, finished});
    }
    std::mutex mutex;
    std::vector<Report> reports;
};

TEST(SmtpSend, ReportsProgressEveryHundredAndOnePieces) {
    TempDir dir;
    writeFile(dir / "piece.bin", randomBytes(300 * 1024, 11));
    SmtpMessage message = smallMessage();
    message.addFile(SmtpFilePart((dir / "piece.bin").string()));
    const std::string expected = expectedText(message);
    const size_t pieces = (expected.size() + 1023) / 1024;

    ScriptedPeer peer;
    greetEsmtp(peer);
    authLogin(peer);
    mailFromBob(peer).expectLine("RCPT TO: <bob@sina.test>\r\n").reply("250 Accepted\r\n");
    dataAccepted(peer);
    quit(peer);
    RecordingSmtp smtp(peer.start());
    smtp.madeSecondsAgo(10);
    ASSERT_EQ(smtp.Connect("127.0.0.1"), 1);
    RecordingSink sink;
    EXPECT_EQ(smtp.SendMessage(message, 42, &sink), 0);
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
    EXPECT_TRUE(peer.captured(0) == expected);

    ASSERT_EQ(sink.reports.size(), pieces / 101);
    for (size_t i = 0; i < sink.reports.size(); ++i) {
        const size_t sent = (i + 1) * 101 * 1024;
        EXPECT_EQ(sink.reports[i].taskId, 42);
        EXPECT_FLOAT_EQ(sink.reports[i].percent, static_cast<float>(sent * 100 / expected.size()));
        EXPECT_GT(sink.reports[i].speed, 0);
        EXPECT_FALSE(sink.reports[i].finished);
    }
}

TEST(SmtpSend, ReportsProgressAlsoInItsFirstSecond) {
    TempDir dir;
    writeFile(dir / "piece.bin", randomBytes(300 * 1024, 12));
    SmtpMessage message = smallMessage();
    message.addFile(SmtpFilePart((dir / "piece.bin").string()));
    const size_t pieces = (expectedText(message).size() + 1023) / 1024;

    ScriptedPeer peer;
    greetEsmtp(peer);
    authLogin(peer);
    mailFromBob(peer).expectLine("RCPT TO: <bob@sina.test>\r\n").reply("250 Accepted\r\n");
    dataAccepted(peer);
    quit(peer);
    // A fast link sends a whole piece within the second the client was made
    // in: its progress is still reported step by step.
    RecordingSmtp smtp(peer.start());
    ASSERT_EQ(smtp.Connect("127.0.0.1"), 1);
    RecordingSink sink;
    EXPECT_EQ(smtp.SendMessage(message, 43, &sink), 0);
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
    ASSERT_EQ(sink.reports.size(), pieces / 101);
    EXPECT_GT(sink.reports.back().percent, sink.reports.front().percent);
}

// The file is read while the text goes out: a file cut short after the
// size went out with MAIL FROM cannot complete the text, and the mail must
// not reach the mailbox shortened. The client breaks the connection without
// the end-of-data line, so the server discards what it got.
TEST(SmtpSend, FileCutShortWhileSendingNeverEndsTheData) {
    TempDir dir;
    const std::string path = (dir / "piece.bin").string();
    writeFile(path, randomBytes(400 * 1024, 13));
    SmtpMessage reference = smallMessage();
    reference.addFile(SmtpFilePart(path));
    const std::string whole = expectedText(reference);

    struct CuttingSink : ProgressSink {
        std::string path;
        bool cut = false;
        void report(int, float, long, bool) override {}
        bool shouldContinue(int) override {
            if (!cut)
                writeFile(path, "short");  // after the first block went out
            cut = true;
            return true;
        }
    } sink;
    sink.path = path;

    ScriptedPeer peer;
    greetEsmtp(peer);
    authLogin(peer);
    mailFromBob(peer).expectLine("RCPT TO: <bob@sina.test>\r\n").reply("250 Accepted\r\n");
    dataAccepted(peer);
    RecordingSmtp smtp(peer.start());
    ASSERT_EQ(smtp.Connect("127.0.0.1"), 1);
    SmtpMessage message = smallMessage();
    message.addFile(SmtpFilePart(path));
    // The same Date header as the reference, whatever second it is now.
    message.setDate(reference.date(), SmtpMessage::zoneFromUtcOffset(reference.date().tm_gmtoff));
    EXPECT_EQ(smtp.SendMessage(message, 5, &sink), -1);
    EXPECT_TRUE(sink.cut);
    EXPECT_FALSE(smtp.isConnected());
    EXPECT_NE(smtp.failureReply().find("could not be read"), std::string::npos);
    smtp.Close();
    // The peer waited for the end of the data in vain.
    EXPECT_NE(peer.finish().find("text ending in"), std::string::npos);
    const std::string transcript = peer.transcript();
    const size_t data = transcript.find("DATA\r\n");
    ASSERT_NE(data, std::string::npos);
    const std::string sent = transcript.substr(data + 6);
    EXPECT_GE(sent.size(), size_t{101 * 1024});
    EXPECT_LT(sent.size(), whole.size() - 5);
    EXPECT_TRUE(whole.compare(0, sent.size(), sent) == 0);
    EXPECT_EQ(sent.find("\r\n.\r\n"), std::string::npos);
}

}  // namespace
}  // namespace parvola::test
