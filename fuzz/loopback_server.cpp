#include "fuzz/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace parvola::fuzz {
namespace {

[[noreturn]] void die(const char* what) {
    std::perror(what);
    std::abort();
}

bool sendAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        done += static_cast<size_t>(sent);
    }
    return true;
}

}  // namespace

LoopbackServer::LoopbackServer(Completes completes) : completes_(std::move(completes)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0)
        die("fuzz server socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 4) != 0) {
        die("fuzz server bind");
    }
    socklen_t length = sizeof address;
    if (::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        die("fuzz server getsockname");
    port_ = ntohs(address.sin_port);
}

LoopbackServer::~LoopbackServer() {
    finish();
    ::close(listener_);
}

void LoopbackServer::play(std::vector<std::string> replies) {
    finish();
    thread_ = std::thread(&LoopbackServer::serve, this, std::move(replies));
}

void LoopbackServer::finish() {
    if (thread_.joinable())
        thread_.join();
}

void LoopbackServer::serve(std::vector<std::string> replies) {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        die("fuzz server accept");
    size_t next = 0;
    bool open = true;
    bool ended = false;  // a reply the client cannot finish was sent
    auto answer = [&](const std::string& command) {
        const std::string& reply = replies[next++];
        open = sendAll(fd, reply);
        if (completes_ && !completes_(command, reply))
            ended = true;
    };
    if (!replies.empty())
        answer({});
    char buffer[4096];
    std::string command;
    while (open && !ended && next < replies.size()) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            open = false;
            break;
        }
        // One reply per line received (commands arrive whole or in parts).
        for (ssize_t i = 0; i < got && open && !ended && next < replies.size(); ++i) {
            command += buffer[i];
            if (buffer[i] == '\n') {
                answer(command);
                command.clear();
            }
        }
    }
    ::shutdown(fd, SHUT_WR);
    while (open && ::recv(fd, buffer, sizeof buffer, 0) > 0) {
    }
    ::close(fd);
}

std::vector<std::string> splitReplies(const char* data, size_t size, char separator) {
    std::vector<std::string> replies(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == separator)
            replies.emplace_back();
        else
            replies.back() += data[i];
    }
    return replies;
}

std::string multiLineReply(const std::string& message) {
    std::string out;
    out.reserve(message.size() + message.size() / 64 + 8);
    bool lineStart = true;
    for (char c : message) {
        if (lineStart && c == '.')
            out += '.';
        out += c;
        lineStart = c == '\n';
    }
    if (out.size() < 2 || out.compare(out.size() - 2, 2, "\r\n") != 0)
        out += "\r\n";
    return out + ".\r\n";
}

bool pop3ReplyCompletes(const std::string& command, const std::string& reply) {
    const bool multiLine =
        command == "LIST\r\n" || command.rfind("TOP ", 0) == 0 || command.rfind("RETR ", 0) == 0;
    auto endsWith = [&](const std::string& end) {
        return reply.size() >= end.size() &&
               reply.compare(reply.size() - end.size(), end.size(), end) == 0;
    };
    if (!multiLine)
        return endsWith("\r\n");
    if (endsWith("\r\n.\r\n"))
        return true;
    const size_t lineEnd = reply.find('\n');
    return lineEnd != std::string::npos && strncasecmp(reply.c_str(), "+OK", 3) != 0;
}

}  // namespace parvola::fuzz
