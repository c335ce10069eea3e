// The POP3 reply readers against a server whose stream is the fuzz input.
//
// Input: one selector byte, then the server's replies separated by 0x1E
// bytes; the first reply is the greeting, each later one answers the next
// command line the client sends (USER, PASS, STAT, STAT, LIST, TOP n 20,
// LIST n, RETR n, DELE n, QUIT). The stream ends after the last reply, or
// after a reply the client would wait to see finished. The selector picks the message number
// (1 to 4) and whether progress is reported.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/loopback_server.h"
#include "mail/mime_reader_text.h"
#include "mail/pop3_connection.h"
#include "mail/progress_sink.h"

namespace {

class QuietSink : public parvola::ProgressSink {
  public:
    void report(int, float percent, long, bool) override { last = percent; }
    float last = 0;
};

void readHeaders(const std::string& text) {
    parvola::MimeMessageText message(text);
    message.GetSubject();
    message.GetContentType();
    message.GetBoundary();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static parvola::fuzz::LoopbackServer server(parvola::fuzz::pop3ReplyCompletes);
    if (size == 0)
        return 0;
    const int selector = data[0];
    const int number = (selector & 3) + 1;
    server.play(
        parvola::fuzz::splitReplies(reinterpret_cast<const char*>(data) + 1, size - 1, '\x1e'));

    QuietSink sink;
    parvola::Pop3Connection pop;
    // The server ends its stream after a reply the client cannot finish, so
    // normally nothing waits. But the client judges a reply by the bytes one
    // receive brings: a reply that holds line ends where none belong can be
    // taken for two, and client and server then each wait for the other.
    // The time-out ends such a conversation (and is fuzzed with it).
    pop.setTimeout(std::chrono::milliseconds(300));
    if ((selector & 4) != 0)
        pop.setProgress(&sink, 7);
    if (pop.Connect("127.0.0.1", "bob", "secret", server.port())) {
        int count = 0, totalSize = 0;
        pop.Statistics(count, totalSize);
        uint32_t messageSize = 0;
        pop.GetMessageSize(number, messageSize);
        std::string text;
        if (pop.GetMessageHeader(number, text))
            readHeaders(text);
        if (pop.Retrieve(number, text))
            readHeaders(text);
        pop.Delete(number);
        pop.Disconnect();
    }
    (void)pop.lastReply().size();
    server.finish();
    return 0;
}
