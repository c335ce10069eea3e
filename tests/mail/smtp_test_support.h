#pragma once
// Shared pieces of the SMTP client tests: a client that records its hooks,
// the lines it is expected to say, and a scripted server's usual openings.
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "mail/base64.h"
#include "mail/smtp_client.h"
#include "platform/host_info.h"
#include "tests/support/scripted_peer.h"

namespace parvola::test {

struct HookCall {
    char kind;  // 'W' warning, 'E' error
    int code;
    bool operator==(const HookCall&) const = default;
};

class RecordingSmtp : public SmtpClient {
  public:
    explicit RecordingSmtp(int port, std::string user = "bob", std::string password = "s3cret") {
        setPort(port);
        setCredentials(std::move(user), std::move(password));
    }
    // The speed of progress reports is measured from construction, in whole
    // seconds: a client made `seconds` earlier reports a speed at once.
    void madeSecondsAgo(int seconds) { setCreated(std::time(nullptr) - seconds); }
    ~RecordingSmtp() override { Close(); }
    int OnWarning(int code, const std::string& reply) override {
        calls.push_back({'W', code});
        SmtpClient::OnWarning(code, reply);
        return 0;
    }
    int OnError(int code, const std::string& reply) override {
        calls.push_back({'E', code});
        return SmtpClient::OnError(code, reply);
    }
    std::vector<HookCall> calls;
};

inline std::string ehloLine() {
    return "EHLO " + computerName().substr(0, 64) + "\r\n";
}
inline std::string heloLine() {
    return "HELO " + computerName().substr(0, 64) + "\r\n";
}
inline std::string b64Line(const std::string& text) {
    return base64Encode(text) + "\r\n";
}

// "334 <prompt>" as a server sends it.
inline std::string prompt(const std::string& text) {
    return "334 " + base64Encode(text) + "\r\n";
}

// Greeting and EHLO with AUTH advertised. No SIZE: MAIL FROM then goes out
// without a size parameter, as these scripts expect it.
inline ScriptedPeer& greetEsmtp(ScriptedPeer& peer) {
    return peer.reply("220 mx.sina.test ESMTP\r\n")
        .expectLine(ehloLine())
        .reply("250-mx.sina.test Hello\r\n250-AUTH LOGIN PLAIN\r\n250 HELP\r\n");
}

// AUTH LOGIN for bob / s3cret, prompts in the usual order, accepted.
inline ScriptedPeer& authLogin(ScriptedPeer& peer) {
    return peer.expectLine("AUTH LOGIN\r\n")
        .reply(prompt("Username:"))
        .expectLine(b64Line("bob"))
        .reply(prompt("Password:"))
        .expectLine(b64Line("s3cret"))
        .reply("235 2.7.0 Authentication succeeded\r\n");
}

inline ScriptedPeer& quit(ScriptedPeer& peer) {
    return peer.expectLine("QUIT\r\n").reply("221 closing connection\r\n");
}

// A message from and to bob@sina.test with reproducible text and one part,
// by default a small text.
inline SmtpMessage smallMessage(SmtpMessageBody body = SmtpMessageBody("Hi there.", "text/plain",
                                                                       "iso-8859-1")) {
    SmtpMessage m;
    m.setTicks([] { return 0xCAFEul; });
    m.setSender(SmtpAddress("bob@sina.test"));
    m.setRecipient(SmtpAddress("bob@sina.test"));
    m.setSubject("hello");
    m.addBody(std::move(body));
    return m;
}

}  // namespace parvola::test
