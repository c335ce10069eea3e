#include "tests/support/scripted_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace parvola::test {
namespace {

// Shows client bytes readably in a failure message without changing them.
std::string visible(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c >= 0x7f) {
            static const char* hex = "0123456789abcdef";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
        if (out.size() > 300) {
            out += "...";
            break;
        }
    }
    return "\"" + out + "\"";
}

}  // namespace

ScriptedPeer::ScriptedPeer() {
    if (pipe2(stopPipe_, O_CLOEXEC) != 0)
        throw std::runtime_error("scripted peer: pipe failed");
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0)
        throw std::runtime_error("scripted peer: socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 4) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("scripted peer: cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
}

ScriptedPeer::~ScriptedPeer() {
    if (thread_.joinable()) {
        char wake = 1;
        [[maybe_unused]] ssize_t ignored = ::write(stopPipe_[1], &wake, 1);
        thread_.join();
    }
    closeClient();
    if (listenFd_ >= 0)
        ::close(listenFd_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

ScriptedPeer& ScriptedPeer::reply(std::string bytes) {
    steps_.push_back({Kind::Reply, {std::move(bytes)}, Millis(0)});
    return *this;
}

ScriptedPeer& ScriptedPeer::replySegments(std::vector<std::string> segments, Millis gap) {
    steps_.push_back({Kind::Reply, std::move(segments), gap});
    return *this;
}

ScriptedPeer& ScriptedPeer::expectLine(std::string line) {
    steps_.push_back({Kind::ExpectLine, {std::move(line)}, Millis(0)});
    return *this;
}

ScriptedPeer& ScriptedPeer::expectBytes(std::string bytes) {
    steps_.push_back({Kind::ExpectBytes, {std::move(bytes)}, Millis(0)});
    return *this;
}

ScriptedPeer& ScriptedPeer::captureUntil(std::string terminator) {
    steps_.push_back({Kind::CaptureUntil, {std::move(terminator)}, Millis(0)});
    return *this;
}

ScriptedPeer& ScriptedPeer::silentUntilClientActs(Millis limit) {
    steps_.push_back({Kind::Silent, {}, limit});
    return *this;
}

ScriptedPeer& ScriptedPeer::closeConnection() {
    steps_.push_back({Kind::Close, {}, Millis(0)});
    return *this;
}

ScriptedPeer& ScriptedPeer::acceptNext() {
    steps_.push_back({Kind::AcceptNext, {}, Millis(0)});
    return *this;
}

ScriptedPeer& ScriptedPeer::setStepLimit(Millis limit) {
    stepLimit_ = limit;
    return *this;
}

int ScriptedPeer::start() {
    if (!thread_.joinable())
        thread_ = std::thread([this] { run(); });
    return port_;
}

std::string ScriptedPeer::finish() {
    if (thread_.joinable())
        thread_.join();
    std::lock_guard lock(mutex_);
    return failures_;
}

std::string ScriptedPeer::transcript() const {
    std::lock_guard lock(mutex_);
    return transcript_;
}

std::string ScriptedPeer::captured(size_t index) const {
    std::lock_guard lock(mutex_);
    return index < captures_.size() ? captures_[index] : std::string();
}

void ScriptedPeer::fail(const std::string& message) {
    std::lock_guard lock(mutex_);
    failures_ += message + "\n";
}

void ScriptedPeer::closeClient() {
    if (clientFd_ >= 0)
        ::close(clientFd_);
    clientFd_ = -1;
    pending_.clear();
}

void ScriptedPeer::run() {
    if (!acceptClient())
        return;
    for (size_t i = 0; i < steps_.size(); ++i) {
        if (!playStep(steps_[i], i)) {
            closeClient();
            return;
        }
    }
    if (clientFd_ >= 0)
        drainAfterScript();
    closeClient();
}

bool ScriptedPeer::acceptClient() {
    pollfd entries[2] = {{listenFd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
    int rc;
    do {
        rc = ::poll(entries, 2, static_cast<int>(stepLimit_.count()));
    } while (rc < 0 && errno == EINTR);
    if (rc <= 0 || (entries[1].revents & POLLIN)) {
        fail("the client never connected");
        return false;
    }
    clientFd_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (clientFd_ < 0) {
        fail("accept failed");
        return false;
    }
    int one = 1;
    ::setsockopt(clientFd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    connections_++;
    return true;
}

int ScriptedPeer::waitClient(Millis limit) {
    pollfd entries[2] = {{clientFd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
    int rc;
    do {
        rc = ::poll(entries, 2, static_cast<int>(limit.count()));
    } while (rc < 0 && errno == EINTR);
    if (rc > 0 && (entries[1].revents & POLLIN))
        return -1;  // the test is ending
    return rc;
}

template <typename Done>
bool ScriptedPeer::readUntil(std::string& got, Done done, const char*& why) {
    const auto deadline = std::chrono::steady_clock::now() + stepLimit_;
    while (!done(got)) {
        auto left = std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            why = "timed out waiting for the client";
            return false;
        }
        int rc = waitClient(left);
        if (rc < 0) {
            why = "stopped";
            return false;
        }
        if (rc == 0)
            continue;
        char buffer[65536];
        ssize_t n = ::recv(clientFd_, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            why = "the client closed the connection";
            return false;
        }
        {
            std::lock_guard lock(mutex_);
            transcript_.append(buffer, static_cast<size_t>(n));
        }
        got.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

bool ScriptedPeer::sendBytes(const std::string& bytes) {
    size_t offset = 0;
    while (offset < bytes.size()) {
        ssize_t n = ::send(clientFd_, bytes.data() + offset, bytes.size() - offset, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        offset += static_cast<size_t>(n);
    }
    return true;
}

bool ScriptedPeer::playStep(const Step& step, size_t index) {
    const std::string where = "step " + std::to_string(index + 1) + ": ";
    const char* why = "";
    switch (step.kind) {
        case Kind::Reply:
            for (size_t i = 0; i < step.data.size(); ++i) {
                if (i > 0 && step.gap.count() > 0) {
                    // The gap is the behaviour under test (a reply split over
                    // segments), not a wait for a result.
                    if (waitClient(step.gap) < 0)
                        return false;
                }
                if (!sendBytes(step.data[i])) {
                    fail(where + "could not send " + visible(step.data[i]));
                    return false;
                }
            }
            return true;
        case Kind::ExpectLine:
        case Kind::ExpectBytes:
        case Kind::CaptureUntil: {
            const std::string& want = step.data[0];
            std::string got = std::move(pending_);
            pending_.clear();
            size_t take = 0;
            auto done = [&](const std::string& text) {
                if (step.kind == Kind::ExpectBytes) {
                    take = want.size();
                    return text.size() >= want.size();
                }
                const std::string& end = step.kind == Kind::ExpectLine ? "\n" : want;
                size_t at = text.find(end);
                if (at == std::string::npos)
                    return false;
                take = at + end.size();
                return true;
            };
            const bool complete = readUntil(got, done, why);
            if (!complete) {
                const char* what = step.kind == Kind::CaptureUntil ? "text ending in " : "";
                fail(where + "expected " + what + visible(want) + ", got " + visible(got) + " (" +
                     why + ")");
                return false;
            }
            pending_ = got.substr(take);
            got.resize(take);
            if (step.kind == Kind::CaptureUntil) {
                std::lock_guard lock(mutex_);
                captures_.push_back(got);
                return true;
            }
            if (got != want) {
                fail(where + "expected " + visible(want) + ", got " + visible(got));
                return false;
            }
            return true;
        }
        case Kind::Silent: {
            if (!pending_.empty())
                return true;
            int rc = waitClient(step.gap);
            if (rc == 0)
                fail(where + "the client neither spoke nor closed while we kept silent");
            return rc > 0;
        }
        case Kind::Close: {
            // An orderly close: the client reads the end of the stream, not a
            // reset. Whatever it still sends is read (kept in the transcript)
            // until it closes its side as well.
            ::shutdown(clientFd_, SHUT_WR);
            std::string rest = std::move(pending_);
            pending_.clear();
            readUntil(
                rest, [](const std::string&) { return false; }, why);
            closeClient();
            return true;
        }
        case Kind::AcceptNext:
            if (!pending_.empty()) {
                fail(where + "unexpected bytes before the connection ended: " + visible(pending_));
                return false;
            }
            closeClient();
            return acceptClient();
    }
    return false;
}

void ScriptedPeer::drainAfterScript() {
    // The script is over: the client should now close without saying more.
    std::string extra = std::move(pending_);
    pending_.clear();
    const char* why = "";
    readUntil(
        extra, [](const std::string&) { return false; }, why);
    if (!extra.empty())
        fail("unexpected bytes after the end of the script: " + visible(extra));
}

}  // namespace parvola::test
