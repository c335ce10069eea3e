#include <gtest/gtest.h>

#include "tests/mail/smtp_test_support.h"

namespace parvola::test {
namespace {

using Calls = std::vector<HookCall>;

TEST(SmtpConnect, GreetsWithEhloAndLogsIn) {
    ScriptedPeer peer;
    greetEsmtp(peer);
    authLogin(peer);
    quit(peer);
    RecordingSmtp smtp(peer.start());
    EXPECT_EQ(smtp.Connect("127.0.0.1"), 1);
    EXPECT_TRUE(smtp.isEsmtp());
    EXPECT_TRUE(smtp.isConnected());
    smtp.Close();
    EXPECT_FALSE(smtp.isConnected());
    EXPECT_EQ(peer.finish(), "");
    EXPECT_EQ(smtp.calls, Calls{});
}

TEST(SmtpConnect, EhloRefusedFallsBackToHeloWithoutAuth) {
    ScriptedPeer peer;
    peer.reply("220 old server\r\n")
        .expectLine(ehloLine())
        .reply("500 5.5.1 Unknown command\r\n")
        .expectLine(heloLine())
        .reply("250 old server\r\n");
    quit(peer);
    RecordingSmtp smtp(peer.start());
    EXPECT_EQ(smtp.Connect("127.0.0.1"), 1);
    EXPECT_FALSE(smtp.isEsmtp());
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
}

TEST(SmtpConnect, HeloOnlyWhenEhloIsSwitchedOff) {
    ScriptedPeer peer;
    peer.reply("220 hi\r\n").expectLine(heloLine()).reply("250 hi\r\n");
    quit(peer);
    RecordingSmtp smtp(peer.start());
    smtp.setUseEhlo(false);
    EXPECT_EQ(smtp.Connect("127.0.0.1"), 1);
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
}

TEST(SmtpConnect, CapabilityLinesInSeveralSegments) {
    ScriptedPeer peer;
    peer.reply("220 hi\r\n")
        .expectLine(ehloLine())
        .replySegments(
            {"250-mx.sina.test Hello\r\n250-SIZE 1000", "\r\n250-AUTH LOGIN\r\n", "250 HELP\r\n"});
    authLogin(peer);
    quit(peer);
    RecordingSmtp smtp(peer.start());
    EXPECT_EQ(smtp.Connect("127.0.0.1"), 1);
    EXPECT_TRUE(smtp.isEsmtp());
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
    EXPECT_EQ(smtp.calls, Calls{});
}

TEST(SmtpConnect, CapabilityListLongerThanTheReplyBufferIsDiscardedBeforeAuth) {
    std::string capabilities = "250-mx.sina.test Hello\r\n";
    for (int i = 0; capabilities.size() < 1500; ++i)
        capabilities += "250-X-EXTENSION-" + std::to_string(i) + " some parameters here\r\n";
    capabilities += "250 HELP\r\n";
    ScriptedPeer peer;
    peer.reply("220 hi\r\n").expectLine(ehloLine()).reply(capabilities);
    authLogin(peer);
    quit(peer);
    RecordingSmtp smtp(peer.start());
    EXPECT_EQ(smtp.Connect("127.0.0.1"), 1);
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
    EXPECT_EQ(smtp.calls, Calls{});
}

TEST(SmtpConnect, PromptsInEitherOrderAndInLowerCase) {
    ScriptedPeer peer;
    greetEsmtp(peer)
        .expectLine("AUTH LOGIN\r\n")
        .reply(prompt("password:"))
        .expectLine(b64Line("s3cret"))
        .reply(prompt("USERNAME:"))
        .expectLine(b64Line("bob"))
        .reply("235 ok\r\n");
    quit(peer);
    RecordingSmtp smtp(peer.start());
    EXPECT_EQ(smtp.Connect("127.0.0.1"), 1);
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
    EXPECT_EQ(smtp.calls, Calls{});
}

TEST(SmtpConnect, RejectedCredentialWarnsAndFailsButKeepsTheConnection) {
    ScriptedPeer peer;
    greetEsmtp(peer)
        .expectLine("AUTH LOGIN\r\n")
        .reply(prompt("Username:"))
        .expectLine(b64Line("bob"))
        .reply(prompt("Password:"))
        .expectLine(b64Line("s3cret"))
        .reply("535 Incorrect authentication data\r\n");
    quit(peer);
    RecordingSmtp smtp(peer.start());
    EXPECT_EQ(smtp.Connect("127.0.0.1"), 1);
    EXPECT_EQ(smtp.lastReply(), "535 Incorrect authentication data");
    EXPECT_EQ(smtp.calls, (Calls{{'W', 535}, {'E', 535}}));
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
}

TEST(SmtpConnect, AuthRefusedAtTheStartOnlyWarns) {
    ScriptedPeer peer;
    greetEsmtp(peer).expectLine("AUTH LOGIN\r\n").reply("504 Unrecognized mechanism\r\n");
    quit(peer);
    RecordingSmtp smtp(peer.start());
    EXPECT_EQ(smtp.Connect("127.0.0.1"), 1);
    EXPECT_EQ(smtp.calls, (Calls{{'W', 504}}));
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
}

TEST(SmtpConnect, UnknownPromptEndsAuthWithoutSendingCredentials) {
    ScriptedPeer peer;
    greetEsmtp(peer).expectLine("AUTH LOGIN\r\n").reply(prompt("Challenge:"));
    quit(peer);
    RecordingSmtp smtp(peer.start());
    EXPECT_EQ(smtp.Connect("127.0.0.1"), 1);
    EXPECT_EQ(smtp.calls, (Calls{{'E', 334}}));
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
}

TEST(SmtpConnect, EndlessPromptsAreBounded) {
    ScriptedPeer peer;
    greetEsmtp(peer).expectLine("AUTH LOGIN\r\n");
    for (int i = 0; i < SmtpClient::kMaxAuthPrompts; ++i)
        peer.reply(prompt("Username:")).expectLine(b64Line("bob"));
    peer.reply(prompt("Username:"));
    quit(peer);
    RecordingSmtp smtp(peer.start());
    EXPECT_EQ(smtp.Connect("127.0.0.1"), 1);
    EXPECT_EQ(smtp.calls, (Calls{{'E', 334}}));
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
}

TEST(SmtpConnect, EmptyUserNameSkipsAuthOnAnEsmtpServer) {
    ScriptedPeer peer;
    greetEsmtp(peer);
    quit(peer);
    RecordingSmtp smtp(peer.start(), "", "");
    EXPECT_EQ(smtp.Connect("127.0.0.1"), 1);
    EXPECT_TRUE(smtp.isEsmtp());
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
}

TEST(SmtpConnect, BadGreetingFailsWithoutQuit) {
    ScriptedPeer peer;
    peer.reply("554 go away\r\n");
    RecordingSmtp smtp(peer.start());
    EXPECT_EQ(smtp.Connect("127.0.0.1"), 0);
    EXPECT_FALSE(smtp.isConnected());
    EXPECT_EQ(smtp.calls, (Calls{{'E', 554}}));
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
}

TEST(SmtpConnect, RefusedHostsFail) {
    RecordingSmtp smtp(1);  // nothing listens on port 1
    EXPECT_EQ(smtp.Connect("127.0.0.1"), 0);
    EXPECT_EQ(smtp.Connect("no-such-host.invalid"), 0);
    EXPECT_EQ(smtp.Connect(""), 0);
    // A host name that does not fit the host buffer is refused, not cut.
    EXPECT_EQ(smtp.Connect(std::string(300, 'a')), 0);
    EXPECT_FALSE(smtp.isConnected());
}

TEST(SmtpReply, OneThousandByteLineIsRead) {
    const std::string text = "220 " + std::string(996, 'x');
    ScriptedPeer peer;
    peer.reply(text + "\r\n").expectLine(ehloLine()).reply("250 ok\r\n");
    quit(peer);
    RecordingSmtp smtp(peer.start(), "");
    EXPECT_EQ(smtp.Connect("127.0.0.1"), 1);
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
}

TEST(SmtpReply, LineLongerThanTheBufferIsRefused) {
    ScriptedPeer peer;
    peer.reply("220 " + std::string(1100, 'x') + "\r\n");
    RecordingSmtp smtp(peer.start());
    EXPECT_EQ(smtp.Connect("127.0.0.1"), 0);
    EXPECT_EQ(smtp.calls, (Calls{{'E', -1}}));
    EXPECT_EQ(smtp.lastReply().size(), SmtpClient::kReplyBufferSize - 1);
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
}

TEST(SmtpReply, ReplyWithoutCodeIsNoReply) {
    ScriptedPeer peer;
    peer.reply("hello there\r\n");
    RecordingSmtp smtp(peer.start());
    EXPECT_EQ(smtp.Connect("127.0.0.1"), 0);
    EXPECT_EQ(smtp.calls, (Calls{{'E', -1}}));
    EXPECT_EQ(smtp.lastReply(), "hello there");
    EXPECT_EQ(peer.finish(), "");
}

TEST(SmtpReply, ConnectionClosedMidReply) {
    ScriptedPeer peer;
    peer.reply("220 hi\r\n").expectLine(ehloLine()).reply("250-mx.sina.te").closeConnection();
    RecordingSmtp smtp(peer.start());
    // EHLO gets no reply, HELO finds the connection gone.
    EXPECT_EQ(smtp.Connect("127.0.0.1"), 0);
    EXPECT_FALSE(smtp.isConnected());
    EXPECT_EQ(smtp.calls, (Calls{{'E', -1}}));
    EXPECT_EQ(peer.finish(), "");
}

}  // namespace
}  // namespace parvola::test
