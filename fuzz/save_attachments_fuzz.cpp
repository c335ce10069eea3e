// Writing the attachments of a retrieved mail. The fuzz input is the mail
// text; a loopback server logs the client in and answers LIST 1 and RETR 1
// with it (dot-stuffed, as a POP3 server sends it). Every file must land
// inside the destination folder, whatever names the mail gives.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/loopback_server.h"
#include "fuzz/sandbox.h"
#include "mail/pop3_connection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static parvola::fuzz::LoopbackServer server;
    static parvola::fuzz::Sandbox sandbox;
    const std::string message(reinterpret_cast<const char*>(data), size);
    server.play({"+OK ready\r\n", "+OK\r\n", "+OK in\r\n",
                 "+OK 1 " + std::to_string(message.size()) + "\r\n",
                 "+OK message follows\r\n" + parvola::fuzz::multiLineReply(message),
                 "+OK bye\r\n"});

    parvola::Pop3Connection pop;
    pop.setTimeout(std::chrono::seconds(20));
    if (pop.Connect("127.0.0.1", "bob", "secret", server.port())) {
        pop.SaveAttachments(1, sandbox.out());
        pop.Disconnect();
    }
    server.finish();
    sandbox.check();
    sandbox.clear();
    return 0;
}
