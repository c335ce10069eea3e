// A relay that makes a loopback connection behave like one over the
// internet: every byte is held back for half the round-trip time in each
// direction, and each connection's direction is paced to a rate cap, as
// providers throttle each connection. It forwards every accepted connection
// to its target and runs until killed (SIGTERM, SIGINT).
//
//   bench_link_relay RTT_MS RATE_BYTES_PER_S LISTEN_HOST LISTEN_PORT:TARGET_PORT... [--to HOST]
//                    [--count]
//
// Example: 40 ms and 2 MB/s in front of a mail server on 2905, 1490, 1523:
//   bench_link_relay 40 2000000 127.0.0.1 3905:2905 2490:1490 2523:1523
// RATE 0: no cap. The target host is 127.0.0.1 unless --to names another.
// --count: when a connection ends, print the lines the client sent on it
// (its commands, for a dialogue without uploaded text) and the bytes each
// way, e.g. "connection to 1530: 5006 lines up, 412 bytes up, 1830092 down".
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Read at most this much at a time, so the pacing stays smooth.
constexpr size_t kChunk = 16 * 1024;
// Bytes a direction holds before it stops reading (and TCP pushes back on
// the sender): well above a 2 MB/s × 40 ms window.
constexpr size_t kHoldLimit = 1 << 20;

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

struct Chunk {
    Clock::time_point due;
    std::string bytes;
};

// One direction of one connection: a reader thread that timestamps what
// arrives, and a writer that sends each chunk when its delay has passed and
// the rate allows.
class Direction {
  public:
    Direction(int from, int to, Clock::duration delay, double rate)
        : from_(from), to_(to), delay_(delay), rate_(rate) {}

    size_t lines() const { return lines_; }
    size_t bytes() const { return bytes_; }

    void readLoop() {
        std::string buffer(kChunk, '\0');
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                room_.wait(lock, [&] { return held_ < kHoldLimit || stop_; });
                if (stop_)
                    break;
            }
            const ssize_t got = ::recv(from_, buffer.data(), buffer.size(), 0);
            if (got <= 0)
                break;
            for (ssize_t i = 0; i < got; ++i)
                lines_ += buffer[static_cast<size_t>(i)] == '\n';
            bytes_ += static_cast<size_t>(got);
            std::lock_guard lock(mutex_);
            queue_.push_back({Clock::now() + delay_, buffer.substr(0, static_cast<size_t>(got))});
            held_ += static_cast<size_t>(got);
            ready_.notify_one();
        }
        std::lock_guard lock(mutex_);
        ended_ = true;
        ready_.notify_one();
    }

    void writeLoop() {
        Clock::time_point paced = Clock::now();
        for (;;) {
            Chunk chunk;
            {
                std::unique_lock lock(mutex_);
                ready_.wait(lock, [&] { return !queue_.empty() || ended_ || stop_; });
                if (queue_.empty() || stop_)
                    break;
                chunk = std::move(queue_.front());
                queue_.pop_front();
            }
            std::this_thread::sleep_until(std::max(chunk.due, paced));
            if (rate_ > 0) {
                paced = std::max(paced, chunk.due) +
                        std::chrono::duration_cast<Clock::duration>(
                            std::chrono::duration<double>(chunk.bytes.size() / rate_));
            }
            size_t sent = 0;
            while (sent < chunk.bytes.size()) {
                const ssize_t n =
                    ::send(to_, chunk.bytes.data() + sent, chunk.bytes.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) {
                    stopBoth();
                    return;
                }
                sent += static_cast<size_t>(n);
            }
            std::lock_guard lock(mutex_);
            held_ -= chunk.bytes.size();
            room_.notify_one();
        }
        // What came in has gone out: pass the end on.
        ::shutdown(to_, SHUT_WR);
    }

    void stopBoth() {
        std::lock_guard lock(mutex_);
        stop_ = true;
        ::shutdown(from_, SHUT_RDWR);
        ::shutdown(to_, SHUT_RDWR);
        room_.notify_all();
        ready_.notify_all();
    }

  private:
    int from_, to_;
    Clock::duration delay_;
    double rate_;
    std::mutex mutex_;
    std::condition_variable ready_, room_;
    std::deque<Chunk> queue_;
    size_t held_ = 0;
    size_t lines_ = 0, bytes_ = 0;  // read by the reader; seen after both threads ended
    bool ended_ = false;
    bool stop_ = false;
};

int connectTo(const std::string& host, int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, host.c_str(), &addr.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::mutex printMutex;

void relay(int client, std::string targetHost, int targetPort, Clock::duration oneWay, double rate,
           bool count) {
    Fd a(client);
    Fd b(connectTo(targetHost, targetPort));
    if (b.get() < 0)
        return;
    const int one = 1;
    ::setsockopt(a.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::setsockopt(b.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    Direction up(a.get(), b.get(), oneWay, rate);
    Direction down(b.get(), a.get(), oneWay, rate);
    std::thread t1([&] { up.readLoop(); });
    std::thread t2([&] { up.writeLoop(); });
    std::thread t3([&] { down.readLoop(); });
    std::thread t4([&] { down.writeLoop(); });
    t2.join();
    t4.join();
    up.stopBoth();
    down.stopBoth();
    t1.join();
    t3.join();
    if (count) {
        std::lock_guard lock(printMutex);
        std::printf("connection to %d: %zu lines up, %zu bytes up, %zu down\n", targetPort,
                    up.lines(), up.bytes(), down.bytes());
        std::fflush(stdout);
    }
}

int listenOn(const std::string& host, int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, host.c_str(), &addr.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0) {
        std::perror("listen");
        std::exit(1);
    }
    return fd;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr,
                     "usage: %s RTT_MS RATE_BYTES_PER_S LISTEN_HOST LISTEN:TARGET... [--to HOST]\n",
                     argv[0]);
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    const auto oneWay = std::chrono::microseconds(std::atol(argv[1]) * 500);
    const double rate = std::atof(argv[2]);
    const std::string listenHost = argv[3];
    std::string targetHost = "127.0.0.1";
    struct Mapping {
        int listenFd;
        int target;
    };
    std::vector<Mapping> mappings;
    bool count = false;
    for (int i = 4; i < argc; ++i) {
        if (std::strcmp(argv[i], "--count") == 0) {
            count = true;
            continue;
        }
        if (std::strcmp(argv[i], "--to") == 0 && i + 1 < argc) {
            targetHost = argv[++i];
            continue;
        }
        int from = 0, to = 0;
        if (std::sscanf(argv[i], "%d:%d", &from, &to) != 2)
            return 2;
        mappings.push_back({listenOn(listenHost, from), to});
    }
    std::printf("relaying: %s ms round trip, %s bytes/s per connection and direction\n", argv[1],
                argv[2]);
    std::fflush(stdout);
    std::vector<pollfd> fds;
    for (const Mapping& m : mappings)
        fds.push_back({m.listenFd, POLLIN, 0});
    for (;;) {
        if (::poll(fds.data(), fds.size(), -1) < 0)
            continue;
        for (size_t i = 0; i < fds.size(); ++i) {
            if ((fds[i].revents & POLLIN) == 0)
                continue;
            const int client = ::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0)
                std::thread(relay, client, targetHost, mappings[i].target, oneWay, rate, count)
                    .detach();
        }
    }
}
