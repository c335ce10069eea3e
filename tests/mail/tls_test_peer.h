#pragma once
// A TLS server for the transport tests, on 127.0.0.1 (port chosen by the
// system), serving one connection on a thread of its own:
//
//   1. an optional plaintext opening (greeting, the STLS/STARTTLS exchange),
//      every byte the client sends in the clear being recorded;
//   2. the TLS handshake with the certificate it was given;
//   3. after a good handshake: the greeting, then "+OK" to every line until
//      QUIT, recording the lines (what the client said under TLS);
//      after a failed one: whatever bytes the client still sends, recorded
//      raw, until it closes.
//
// Every wait is bounded, so a client that stops talking ends the test.
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/mail/test_certificates.h"

namespace parvola::test {

class TlsTestPeer {
  public:
    TlsTestPeer(std::string certFile, std::string keyFile)
        : cert_(std::move(certFile)), key_(std::move(keyFile)) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listen_, 4);
        socklen_t length = sizeof address;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~TlsTestPeer() {
        if (thread_.joinable())
            thread_.join();
        ::close(listen_);
    }
    TlsTestPeer(const TlsTestPeer&) = delete;
    TlsTestPeer& operator=(const TlsTestPeer&) = delete;

    // Plaintext opening: send `bytes`, or read one line from the client.
    TlsTestPeer& sayPlain(std::string bytes) {
        opening_.push_back({true, std::move(bytes)});
        return *this;
    }
    TlsTestPeer& hearPlain() {
        opening_.push_back({false, {}});
        return *this;
    }
    // Sent first under TLS ("+OK ready" for POP3S).
    TlsTestPeer& greetSecured(std::string bytes) {
        securedGreeting_ = std::move(bytes);
        return *this;
    }

    int start() {
        thread_ = std::thread([this] { run(); });
        return port_;
    }
    // Waits for the conversation to end.
    void finish() {
        if (thread_.joinable())
            thread_.join();
    }

    // What the client sent before the handshake, byte for byte.
    std::string plaintext() const { return plain_; }
    bool handshakeSucceeded() const { return handshakeOk_; }
    // The lines the client sent under TLS (after a good handshake).
    std::string secured() const { return secured_; }
    // Raw bytes the client sent after a failed handshake began.
    std::string afterFailure() const { return afterFailure_; }
    int port() const { return port_; }

  private:
    struct Step {
        bool send;
        std::string bytes;
    };

    static bool readable(int fd, int ms) {
        pollfd entry{fd, POLLIN, 0};
        return ::poll(&entry, 1, ms) > 0;
    }

    void run() {
        if (!readable(listen_, 10000))
            return;
        const int fd = ::accept(listen_, nullptr, nullptr);
        if (fd < 0)
            return;
        timeval limit{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        for (const Step& step : opening_) {
            if (step.send) {
                ::send(fd, step.bytes.data(), step.bytes.size(), MSG_NOSIGNAL);
                continue;
            }
            char c;
            while (readable(fd, 5000) && ::recv(fd, &c, 1, 0) == 1) {
                plain_ += c;
                if (c == '\n')
                    break;
            }
        }
        serveTls(fd);
        ::close(fd);
    }

    void serveTls(int fd) {
        SSL_CTX* context = SSL_CTX_new(TLS_server_method());
        SSL* ssl = nullptr;
        if (context != nullptr && SSL_CTX_use_certificate_chain_file(context, cert_.c_str()) == 1 &&
            SSL_CTX_use_PrivateKey_file(context, key_.c_str(), SSL_FILETYPE_PEM) == 1) {
            ssl = SSL_new(context);
        }
        if (ssl != nullptr) {
            SSL_set_fd(ssl, fd);
            handshakeOk_ = SSL_accept(ssl) == 1;
        }
        if (handshakeOk_) {
            if (!securedGreeting_.empty())
                SSL_write(ssl, securedGreeting_.data(), static_cast<int>(securedGreeting_.size()));
            std::string line;
            char c;
            while (SSL_read(ssl, &c, 1) == 1) {
                line += c;
                if (c != '\n')
                    continue;
                secured_ += line;
                const bool quit = line.rfind("QUIT", 0) == 0;
                SSL_write(ssl, "+OK\r\n", 5);
                line.clear();
                if (quit)
                    break;
            }
        } else {
            // Whatever else arrives: an alert, perhaps, and nothing in the clear.
            char buffer[4096];
            ssize_t got;
            while (readable(fd, 3000) && (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
                afterFailure_.append(buffer, static_cast<size_t>(got));
        }
        if (ssl != nullptr)
            SSL_free(ssl);
        if (context != nullptr)
            SSL_CTX_free(context);
        ERR_clear_error();
    }

    std::string cert_;
    std::string key_;
    int listen_ = -1;
    int port_ = 0;
    std::vector<Step> opening_;
    std::string securedGreeting_;
    std::thread thread_;
    // Written by the peer's thread, read after finish().
    std::string plain_;
    bool handshakeOk_ = false;
    std::string secured_;
    std::string afterFailure_;
};

}  // namespace parvola::test
