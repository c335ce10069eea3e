#pragma once
// A scripted mail server for the behaviours a real server will not produce on
// demand: a small TCP server on 127.0.0.1 (port chosen by the system) that
// plays one fixed conversation on a thread of its own.
//
//     ScriptedPeer peer;
//     peer.reply("+OK ready\r\n")
//         .expectLine("USER bob\r\n").reply("+OK\r\n")
//         .expectLine("QUIT\r\n").reply("+OK bye\r\n");
//     int port = peer.start();
//     ... run the client against 127.0.0.1:port ...
//     EXPECT_EQ(peer.finish(), "");   // empty = every step played as written
//
// Bytes pass through untouched in both directions: replies go out exactly as
// given, and what the client sends is compared byte for byte, never decoded.
// Every wait is bounded, so a client that stops talking fails the test
// instead of hanging it.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace parvola::test {

class ScriptedPeer {
  public:
    using Millis = std::chrono::milliseconds;

    // Binds and listens at once, so port() is valid before start().
    ScriptedPeer();
    // Stops the conversation (ending every wait) and joins the thread.
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    // --- building the script (before start) ---

    // Sends `bytes` in one segment.
    ScriptedPeer& reply(std::string bytes);
    // Sends each segment separately, pausing `gap` between them (TCP_NODELAY
    // is on, so each segment leaves on its own).
    ScriptedPeer& replySegments(std::vector<std::string> segments, Millis gap = Millis(60));
    // Reads one line from the client (up to and including "\n") and requires
    // it to equal `line` byte for byte ("USER bob\r\n").
    ScriptedPeer& expectLine(std::string line);
    // Reads exactly `bytes.size()` bytes and requires them to equal `bytes`.
    ScriptedPeer& expectBytes(std::string bytes);
    // Reads up to and including `terminator` (e.g. "\r\n.\r\n" after DATA)
    // and keeps what was read; captured(i) returns the i-th such capture.
    ScriptedPeer& captureUntil(std::string terminator);
    // Stays silent, reading nothing, until the client sends something or
    // closes (so the client runs into its own time-out). Fails when neither
    // happens within `limit`.
    ScriptedPeer& silentUntilClientActs(Millis limit = Millis(15000));
    // Closes the connection at this point (e.g. in the middle of a reply):
    // the client sees the end of the stream; the peer then waits (bounded)
    // for the client to close its side, ignoring whatever it still sends.
    ScriptedPeer& closeConnection();
    // Closes the current connection and waits for the client's next one.
    ScriptedPeer& acceptNext();

    // Longest wait for the client to connect or to send what a step expects.
    ScriptedPeer& setStepLimit(Millis limit);

    // --- running ---

    // Starts playing the script on its own thread; returns the port.
    int start();
    int port() const { return port_; }
    // Waits for the script to end and returns every failure, one per line;
    // empty when the client said exactly what the script expects, all of it
    // (its QUIT included), and nothing after the end of the script.
    std::string finish();

    // Everything the client sent, in order, across all connections.
    std::string transcript() const;
    // The text of the i-th captureUntil step (empty when not reached).
    std::string captured(size_t index) const;
    // How many connections the client opened.
    int connections() const { return connections_.load(); }

  private:
    enum class Kind { Reply, ExpectLine, ExpectBytes, CaptureUntil, Silent, Close, AcceptNext };
    struct Step {
        Kind kind;
        std::vector<std::string> data;
        Millis gap{0};
    };

    void run();
    bool acceptClient();
    bool playStep(const Step& step, size_t index);
    // Reads until `done(buffer)` says enough; false on time-out, close or stop.
    template <typename Done>
    bool readUntil(std::string& got, Done done, const char*& why);
    // Waits until the client socket (or the stop pipe) is readable.
    int waitClient(Millis limit);
    bool sendBytes(const std::string& bytes);
    void fail(const std::string& message);
    void closeClient();
    void drainAfterScript();

    int listenFd_ = -1;
    int clientFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    int port_ = 0;
    Millis stepLimit_{10000};
    std::vector<Step> steps_;
    std::thread thread_;
    std::atomic<int> connections_{0};
    std::string pending_;  // bytes read from the client beyond the current step

    mutable std::mutex mutex_;  // guards the fields below
    std::string failures_;
    std::string transcript_;
    std::vector<std::string> captures_;
};

}  // namespace parvola::test
