// What the server says when it refuses a message reaches the caller in the
// server's own words: the size announced with MAIL FROM when the server
// offers SIZE, a 552 before any text is sent, quota and try-later answers,
// a refusal sent just before the server hangs up; and the texts that callers
// may show never hold the password.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include <string>

#include "mail/pop3_connection.h"
#include "mail/secret_mask.h"
#include "mail/smtp_client.h"
#include "tests/mail/pop3_script.h"
#include "tests/mail/smtp_test_support.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/temp_dir.h"

namespace parvola::test {
namespace {

ScriptedPeer& greetWithSize(ScriptedPeer& peer, const std::string& limit) {
    return peer.reply("220 mx.sina.test ESMTP\r\n")
        .expectLine(ehloLine())
        .reply("250-mx.sina.test Hello\r\n250-SIZE" + limit +
               "\r\n250-AUTH LOGIN PLAIN\r\n250 HELP\r\n");
}

std::string composedSize(SmtpMessage message) {
    std::string text;
    message.GetMessageText(text);
    return std::to_string(text.size());
}

TEST(SmtpRefusal, SizeGoesWithMailFromAndAnOversizedMessageIsRefusedUnsent) {
    ScriptedPeer peer;
    greetWithSize(peer, " 1000");
    authLogin(peer);
    SmtpMessage message =
        smallMessage(SmtpMessageBody(std::string(5000, 'x'), "text/plain", "iso-8859-1"));
    const std::string size = composedSize(message);
    peer.expectLine("MAIL FROM: <bob@sina.test> SIZE=" + size + "\r\n")
        .reply("552 5.3.4 Message size exceeds fixed maximum message size\r\n");
    quit(peer);
    RecordingSmtp smtp(peer.start());
    ASSERT_EQ(smtp.Connect("127.0.0.1"), 1);
    EXPECT_TRUE(smtp.sizeAnnounced());
    EXPECT_EQ(smtp.sizeLimit(), 1000u);
    EXPECT_EQ(smtp.SendMessage(message, 1), 552);
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");  // no RCPT, no DATA, no text
    // The server's words outlive the QUIT that Close exchanged.
    EXPECT_EQ(smtp.failureCode(), 552);
    EXPECT_EQ(smtp.failureReply(), "552 5.3.4 Message size exceeds fixed maximum message size");
    EXPECT_EQ(smtp.lastReply(), "221 closing connection");
}

TEST(SmtpRefusal, SizeWithoutALimitIsStillSent) {
    ScriptedPeer peer;
    greetWithSize(peer, "");
    authLogin(peer);
    SmtpMessage message = smallMessage();
    peer.expectLine("MAIL FROM: <bob@sina.test> SIZE=" + composedSize(message) + "\r\n")
        .reply("250 OK\r\n")
        .expectLine("RCPT TO: <bob@sina.test>\r\n")
        .reply("250 Accepted\r\n")
        .expectLine("DATA\r\n")
        .reply("354 go\r\n")
        .captureUntil("\r\n.\r\n")
        .reply("250 OK\r\n");
    quit(peer);
    RecordingSmtp smtp(peer.start());
    ASSERT_EQ(smtp.Connect("127.0.0.1"), 1);
    EXPECT_TRUE(smtp.sizeAnnounced());
    EXPECT_EQ(smtp.sizeLimit(), 0u);
    EXPECT_EQ(smtp.SendMessage(message, 1), 0);
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
    EXPECT_EQ(smtp.failureCode(), 0);
    EXPECT_EQ(smtp.failureReply(), "");
}

TEST(SmtpRefusal, QuotaAndTryLaterAnswersComeBackWithTheirText) {
    struct Case {
        const char* step;  // where the server refuses
        const char* reply;
        int code;
    };
    for (const Case& c : {Case{"MAIL", "421 4.3.2 Service shutting down", 421},
                          Case{"RCPT", "452 4.2.2 Mailbox full", 452},
                          Case{"RCPT", "550 5.4.5 Daily sending quota exceeded", 550},
                          Case{"DATA", "451 4.3.0 Local error in processing", 451},
                          Case{"END", "552 5.2.2 Mailbox over quota", 552},
                          Case{"END", "450 4.2.1 Try again later", 450}}) {
        SCOPED_TRACE(c.reply);
        ScriptedPeer peer;
        greetEsmtp(peer);
        authLogin(peer);
        const std::string refusal = std::string(c.reply) + "\r\n";
        const std::string step = c.step;
        peer.expectLine("MAIL FROM: <bob@sina.test>\r\n");
        if (step == "MAIL") {
            peer.reply(refusal);
        } else {
            peer.reply("250 OK\r\n").expectLine("RCPT TO: <bob@sina.test>\r\n");
            if (step == "RCPT") {
                peer.reply(refusal);
            } else {
                peer.reply("250 Accepted\r\n").expectLine("DATA\r\n");
                if (step == "DATA")
                    peer.reply(refusal);
                else
                    peer.reply("354 go\r\n").captureUntil("\r\n.\r\n").reply(refusal);
            }
        }
        quit(peer);
        RecordingSmtp smtp(peer.start());
        ASSERT_EQ(smtp.Connect("127.0.0.1"), 1);
        SmtpMessage message = smallMessage();
        EXPECT_EQ(smtp.SendMessage(message, 1), c.code);
        smtp.Close();
        EXPECT_EQ(peer.finish(), "");
        EXPECT_EQ(smtp.failureCode(), c.code);
        EXPECT_EQ(smtp.failureReply(), c.reply);
    }
}

// A server that answers a few commands, then refuses in the middle of the
// message text and closes at once, unread text and all (the client's further
// sends then fail): the scripted peer drains politely, this one does not.
class HangingUpServer {
  public:
    HangingUpServer() {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listen_, 1);
        socklen_t length = sizeof address;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~HangingUpServer() {
        thread_.join();
        ::close(listen_);
    }
    int port() const { return port_; }

  private:
    void run() {
        pollfd entry{listen_, POLLIN, 0};
        if (::poll(&entry, 1, 10000) != 1)
            return;
        const int fd = ::accept(listen_, nullptr, nullptr);
        timeval limit{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        say(fd, "220 mx ESMTP\r\n");
        for (const char* answer : {"250 mx\r\n", "250 OK\r\n", "250 Accepted\r\n", "354 go\r\n"}) {
            std::string line;
            char c;
            while (::recv(fd, &c, 1, 0) == 1 && c != '\n')
                line += c;
            say(fd, answer);
        }
        char text[4096];
        if (::recv(fd, text, sizeof text, 0) > 0)
            say(fd, "552 5.3.4 Message too big for system\r\n");
        ::close(fd);  // with the client's text unread: the connection is reset
    }
    static void say(int fd, const char* text) { ::send(fd, text, std::strlen(text), MSG_NOSIGNAL); }

    int listen_ = -1;
    int port_ = 0;
    std::thread thread_;
};

TEST(SmtpRefusal, RefusalSentBeforeTheServerHangsUpMidTextIsTheResult) {
    HangingUpServer server;
    RecordingSmtp smtp(server.port(), "");  // no user name: no AUTH LOGIN
    smtp.setTimeout(std::chrono::seconds(5));
    ASSERT_EQ(smtp.Connect("127.0.0.1"), 1);
    // Far more than the socket buffers hold.
    SmtpMessage message = smallMessage(
        SmtpMessageBody(randomBytes(8 << 20, 3), "application/octet-stream", "iso-8859-1"));
    EXPECT_EQ(smtp.SendMessage(message, 1), 552);
    EXPECT_EQ(smtp.failureReply(), "552 5.3.4 Message too big for system");
    smtp.Close();
}

TEST(SecretMask, PasswordAndItsBase64FormAreMasked) {
    std::string text = "535 bad s3cret (czNjcmV0) s3cret";
    maskSecret(text, "s3cret");
    EXPECT_EQ(text, "535 bad **** (****) ****");
    std::string untouched = "250 OK";
    maskSecret(untouched, "");
    EXPECT_EQ(untouched, "250 OK");
}

TEST(SecretMask, SmtpServerEchoingThePasswordDoesNotPutItInTheReplyTexts) {
    ScriptedPeer peer;
    greetEsmtp(peer);
    peer.expectLine("AUTH LOGIN\r\n")
        .reply(prompt("Username:"))
        .expectLine(b64Line("bob"))
        .reply(prompt("Password:"))
        .expectLine(b64Line("s3cret"))
        .reply("535 5.7.8 credentials czNjcmV0 (s3cret) rejected\r\n");
    quit(peer);
    RecordingSmtp smtp(peer.start());
    ASSERT_EQ(smtp.Connect("127.0.0.1"), 1);
    for (const std::string* text : {&smtp.lastReply(), &smtp.failureReply()}) {
        EXPECT_EQ(text->find("s3cret"), std::string::npos) << *text;
        EXPECT_EQ(text->find("czNjcmV0"), std::string::npos) << *text;
    }
    EXPECT_EQ(smtp.failureReply(), "535 5.7.8 credentials **** (****) rejected");
    smtp.Close();
    EXPECT_EQ(peer.finish(), "");
}

TEST(SecretMask, Pop3ServerEchoingThePasswordDoesNotPutItInTheLastReply) {
    ScriptedPeer peer;
    peer.reply("+OK POP3 ready\r\n")
        .expectLine("USER bob\r\n")
        .reply("+OK\r\n")
        .expectLine("PASS secret\r\n")
        .reply("-ERR [AUTH] wrong password secret for bob\r\n");
    scriptQuit(peer);
    Pop3Connection pop3;
    pop3.setTimeout(std::chrono::milliseconds(5000));
    EXPECT_FALSE(pop3.Connect("127.0.0.1", "bob", "secret", peer.start()));
    EXPECT_EQ(peer.finish(), "");
    EXPECT_EQ(pop3.lastReply(), "-ERR [AUTH] wrong password **** for bob");
    EXPECT_EQ(pop3.lastError(), kErrorBadReply);
}

}  // namespace
}  // namespace parvola::test
