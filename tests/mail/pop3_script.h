#pragma once
// Conversation pieces shared by the POP3 and MIME reader tests.
#include <string>

#include "tests/support/scripted_peer.h"

namespace parvola::test {

// Greeting, USER and PASS, all answered +OK.
inline ScriptedPeer& scriptLogin(ScriptedPeer& peer, const std::string& user = "bob",
                                 const std::string& password = "secret") {
    return peer.reply("+OK POP3 ready\r\n")
        .expectLine("USER " + user + "\r\n")
        .reply("+OK\r\n")
        .expectLine("PASS " + password + "\r\n")
        .reply("+OK logged in\r\n");
}

inline ScriptedPeer& scriptQuit(ScriptedPeer& peer) {
    return peer.expectLine("QUIT\r\n").reply("+OK bye\r\n");
}

// A message as a POP3 server sends it: lines that begin with "." doubled.
inline std::string dotStuffed(const std::string& message) {
    std::string out;
    bool lineStart = true;
    for (char c : message) {
        if (lineStart && c == '.')
            out += '.';
        out += c;
        lineStart = c == '\n';
    }
    return out;
}

// A multi-line reply body as a server ends it: the last line closed, then ".".
inline std::string multiLine(const std::string& message) {
    std::string out = dotStuffed(message);
    if (out.size() < 2 || out.compare(out.size() - 2, 2, "\r\n") != 0)
        out += "\r\n";
    return out + ".\r\n";
}

// LIST n and RETR n of message 1 answered with `message`.
inline ScriptedPeer& scriptRetrieve(ScriptedPeer& peer, const std::string& message) {
    return peer.expectLine("LIST 1\r\n")
        .reply("+OK 1 " + std::to_string(message.size()) + "\r\n")
        .expectLine("RETR 1\r\n")
        .reply("+OK message follows\r\n" + multiLine(message));
}

}  // namespace parvola::test
