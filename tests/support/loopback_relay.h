#pragma once
// A loopback relay between a client under test and a real server: it accepts
// on a port of its own and copies each connection's bytes to the server and
// back untouched, unless the test's filter does something else with them
// (counts them, answers in the server's place, cuts the session at a chosen
// byte). Each session runs on a thread of its own; the relay's end stops and
// joins them all.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace parvola::test {

class LoopbackRelay {
  public:
    enum class Side { FromClient, FromServer };

    // One relayed connection, as the filter sees it.
    class Session {
      public:
        Session(int number, int client, int server)
            : number_(number), client_(client), server_(server) {}
        // 1-based, in the order the connections came.
        int number() const { return number_; }
        // Sends bytes on; false (and the session ends) when that side is gone.
        bool toServer(std::string_view bytes);
        bool toClient(std::string_view bytes);
        // Ends the session at once; the client sees a reset, as a dead
        // peer's kernel gives, rather than an orderly end.
        void cut() { cut_ = true; }
        bool isCut() const { return cut_; }
        bool isOver() const { return cut_ || broken_; }

      private:
        bool send(int fd, std::string_view bytes);

        int number_;
        int client_;
        int server_;
        bool cut_ = false;
        bool broken_ = false;
    };

    // Called on the session's thread for every chunk read from one side;
    // it passes the bytes on (or not) through `session`. None: every chunk
    // goes on to the other side as it came.
    using Filter = std::function<void(Session& session, Side from, std::string_view bytes)>;

    // Listens on `listenHost` (the port chosen by the system) and relays
    // each connection to `targetHost`:`targetPort`.
    LoopbackRelay(const std::string& listenHost, const std::string& targetHost, int targetPort,
                  Filter filter = {});
    ~LoopbackRelay();
    LoopbackRelay(const LoopbackRelay&) = delete;
    LoopbackRelay& operator=(const LoopbackRelay&) = delete;

    int port() const { return port_; }
    int sessions() const { return sessions_.load(); }

  private:
    void acceptLoop();
    void relay(int client, int number);

    std::string targetHost_;
    int targetPort_;
    Filter filter_;
    int listenFd_ = -1;
    int port_ = 0;
    int stopPipe_[2] = {-1, -1};  // readable once the relay ends
    std::atomic<int> sessions_{0};
    std::thread acceptor_;
    std::vector<std::thread> relays_;  // touched by the acceptor only until the join
};

}  // namespace parvola::test
