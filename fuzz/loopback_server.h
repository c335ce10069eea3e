#pragma once
// A one-connection server on 127.0.0.1 that plays prepared replies as the
// server's side of a line-oriented conversation: the first reply as soon as
// the client connects (the greeting), then one reply for each line the client
// sends. When the replies run out, or after a reply the client cannot take
// for a whole one (it would wait for more), the server ends its side of the
// stream and reads until the client hangs up: a client waiting for more sees
// the end of the stream at once rather than after its time-out.
//
// The listening socket lives as long as the object; each play() serves one
// connection on a thread of its own, joined by finish().
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace parvola::fuzz {

class LoopbackServer {
  public:
    // Whether `reply`, sent in answer to `command` (the client's line, empty
    // for the greeting), is complete in the client's eyes.
    using Completes = std::function<bool(const std::string& command, const std::string& reply)>;

    explicit LoopbackServer(Completes completes = {});
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }
    // Serves the next connection with `replies` (byte-exact, never decoded).
    void play(std::vector<std::string> replies);
    // Waits until the connection of the last play() has ended.
    void finish();

  private:
    void serve(std::vector<std::string> replies);

    Completes completes_;
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};

// Splits fuzz bytes into replies at each `separator` byte.
std::vector<std::string> splitReplies(const char* data, size_t size, char separator);

// A message as a POP3 server sends it in a multi-line reply: lines that begin
// with "." doubled, the last line closed, then ".\r\n".
std::string multiLineReply(const std::string& message);

// Whether a POP3 client takes `reply` to `command` for a whole reply: a line
// ended by CRLF, or for the multi-line commands (LIST without a number, TOP,
// RETR) a listing ended by CRLF "." CRLF or a first line that is not +OK.
bool pop3ReplyCompletes(const std::string& command, const std::string& reply);

}  // namespace parvola::fuzz
