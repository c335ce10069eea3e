#include "platform/tls_channel.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <mutex>

namespace parvola {
namespace {

using Clock = std::chrono::steady_clock;

int millisLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(std::min<long long>(left, INT_MAX));
}

// The socket BIO of OpenSSL writes with write(2), which raises SIGPIPE when
// the peer has gone. This one sends with MSG_NOSIGNAL, as the plaintext
// socket does, so a dropped connection is an error code and not a signal.
int bioWrite(BIO* bio, const char* data, int length) {
    BIO_clear_retry_flags(bio);
    const int fd = static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
    ssize_t sent;
    do {
        sent = ::send(fd, data, static_cast<size_t>(length), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        BIO_set_retry_write(bio);
    return static_cast<int>(sent);
}

int bioRead(BIO* bio, char* buffer, int capacity) {
    BIO_clear_retry_flags(bio);
    const int fd = static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
    ssize_t got;
    do {
        got = ::recv(fd, buffer, static_cast<size_t>(capacity), 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        BIO_set_retry_read(bio);
    return static_cast<int>(got);
}

long bioCtrl(BIO*, int command, long, void*) {
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int bioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

const BIO_METHOD* socketMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "parvola socket");
        if (m != nullptr) {
            BIO_meth_set_write(m, bioWrite);
            BIO_meth_set_read(m, bioRead);
            BIO_meth_set_ctrl(m, bioCtrl);
            BIO_meth_set_create(m, bioCreate);
        }
        return m;
    }();
    return method;
}

// The first error OpenSSL queued for this thread, as text; clears the queue.
std::string takeOpenSslError() {
    std::string text;
    unsigned long code;
    while ((code = ERR_get_error()) != 0) {
        if (text.empty()) {
            char buffer[256];
            ERR_error_string_n(code, buffer, sizeof buffer);
            text = buffer;
        }
    }
    return text;
}

}  // namespace

struct TlsChannel::Handles {
    SSL_CTX* context = nullptr;
    SSL* session = nullptr;
    ~Handles() {
        if (session != nullptr)
            SSL_free(session);
        if (context != nullptr)
            SSL_CTX_free(context);
    }
};

TlsChannel::TlsChannel(std::unique_ptr<Handles> handles, int fd)
    : handles_(std::move(handles)), fd_(fd) {}

TlsChannel::~TlsChannel() {
    // One closing alert, not waiting for the answer: the connection is being
    // closed anyway, and a peer that has gone must not hold us up.
    if (handles_->session != nullptr && SSL_is_init_finished(handles_->session))
        SSL_shutdown(handles_->session);
    ERR_clear_error();
}

std::unique_ptr<TlsChannel> TlsChannel::handshake(int fd, const std::string& host,
                                                  const std::string& caFile, int timeoutMs,
                                                  std::string& failure) {
    const std::string prefix = "TLS with " + host + " failed: ";
    ERR_clear_error();
    if (host.empty()) {
        failure = prefix + "no host name to check the certificate against";
        return nullptr;
    }
    auto handles = std::make_unique<Handles>();
    handles->context = SSL_CTX_new(TLS_client_method());
    if (handles->context == nullptr || socketMethod() == nullptr) {
        failure = prefix + "cannot set up TLS: " + takeOpenSslError();
        return nullptr;
    }
    SSL_CTX* context = handles->context;
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    if (SSL_CTX_set_default_verify_paths(context) != 1) {
        failure = prefix + "cannot read the system's trusted certificates: " + takeOpenSslError();
        return nullptr;
    }
    if (!caFile.empty() && SSL_CTX_load_verify_locations(context, caFile.c_str(), nullptr) != 1) {
        failure = prefix + "cannot read the CA file " + caFile + ": " + takeOpenSslError();
        return nullptr;
    }

    handles->session = SSL_new(context);
    if (handles->session == nullptr) {
        failure = prefix + "cannot set up TLS: " + takeOpenSslError();
        return nullptr;
    }
    SSL* ssl = handles->session;
    // The certificate must be for this very host: a dotted address is matched
    // against the certificate's IP addresses, a name against its DNS names
    // (and sent as SNI so that a shared server picks the right certificate).
    in_addr ip{};
    if (inet_pton(AF_INET, host.c_str(), &ip) == 1) {
        if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str()) != 1) {
            failure = prefix + "cannot check the certificate's address";
            return nullptr;
        }
    } else {
        if (SSL_set1_host(ssl, host.c_str()) != 1 ||
            SSL_set_tlsext_host_name(ssl, host.c_str()) != 1) {
            failure = prefix + "cannot check the certificate's host name";
            return nullptr;
        }
    }
    BIO* bio = BIO_new(socketMethod());
    if (bio == nullptr) {
        failure = prefix + "cannot set up TLS: " + takeOpenSslError();
        return nullptr;
    }
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(fd)));
    SSL_set_bio(ssl, bio, bio);  // the session owns the BIO from here

    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        failure = prefix + "cannot make the socket non-blocking";
        return nullptr;
    }

    std::unique_ptr<TlsChannel> channel(new TlsChannel(std::move(handles), fd));
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        const int rc = SSL_connect(ssl);
        if (rc == 1)
            return channel;
        const int error = SSL_get_error(ssl, rc);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            if (!channel->waitFor(error, millisLeft(deadline))) {
                failure = prefix + "no answer to the TLS handshake in time";
                return nullptr;
            }
            continue;
        }
        const long verify = SSL_get_verify_result(ssl);
        if (verify != X509_V_OK) {
            failure = prefix + "the server's certificate was refused (" +
                      X509_verify_cert_error_string(verify) + ")";
        } else {
            std::string why = takeOpenSslError();
            if (why.empty())
                why = error == SSL_ERROR_SYSCALL || error == SSL_ERROR_ZERO_RETURN
                          ? "the server closed the connection during the handshake"
                          : "handshake error " + std::to_string(error);
            failure = prefix + why;
        }
        ERR_clear_error();
        return nullptr;
    }
}

bool TlsChannel::waitFor(int sslError, int timeoutMs) {
    pollfd entry{fd_, static_cast<short>(sslError == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN), 0};
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        const int rc = ::poll(&entry, 1, millisLeft(deadline));
        if (rc > 0)
            return (entry.revents & POLLNVAL) == 0;
        if (rc == 0)
            return false;
        if (errno != EINTR)
            return false;
    }
}

ssize_t TlsChannel::write(const void* data, size_t length, int timeoutMs) {
    SSL* ssl = handles_->session;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const char* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < length) {
        size_t written = 0;
        const int rc = SSL_write_ex(ssl, bytes + done, length - done, &written);
        if (rc == 1) {
            done += written;
            continue;
        }
        const int error = SSL_get_error(ssl, rc);
        if ((error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) &&
            waitFor(error, millisLeft(deadline))) {
            continue;
        }
        failure_ = error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE
                       ? "TLS send timed out"
                       : "TLS send failed: " + takeOpenSslError();
        ERR_clear_error();
        return -1;
    }
    return static_cast<ssize_t>(length);
}

ssize_t TlsChannel::read(void* buffer, size_t capacity, int timeoutMs) {
    SSL* ssl = handles_->session;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        size_t got = 0;
        const int rc = SSL_read_ex(ssl, buffer, capacity, &got);
        if (rc == 1)
            return static_cast<ssize_t>(got);
        const int error = SSL_get_error(ssl, rc);
        if (error == SSL_ERROR_ZERO_RETURN)
            return 0;
        if ((error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) &&
            waitFor(error, millisLeft(deadline))) {
            continue;
        }
        if (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) {
            // The peer closed the socket without the closing alert: for the
            // line-based protocols above, that is the end of the stream.
            return 0;
        }
        failure_ = error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE
                       ? "TLS receive timed out"
                       : "TLS receive failed: " + takeOpenSslError();
        ERR_clear_error();
        return -1;
    }
}

int TlsChannel::waitReadable(int timeoutMs) {
    SSL* ssl = handles_->session;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        if (SSL_pending(ssl) > 0)
            return 1;
        pollfd entry{fd_, POLLIN, 0};
        int rc;
        do {
            rc = ::poll(&entry, 1, millisLeft(deadline));
        } while (rc < 0 && errno == EINTR);
        if (rc < 0)
            return -1;
        if (rc == 0)
            return 0;
        if (entry.revents & POLLNVAL)
            return -1;
        // Bytes arrived: process them and see whether they carry data.
        char probe;
        size_t got = 0;
        const int peek = SSL_peek_ex(ssl, &probe, 1, &got);
        if (peek == 1)
            return 1;
        const int error = SSL_get_error(ssl, peek);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            if (millisLeft(deadline) == 0)
                return 0;
            continue;  // only records without data so far
        }
        ERR_clear_error();
        return 1;  // the end of the stream or an error: the next read reports it
    }
}

}  // namespace parvola
