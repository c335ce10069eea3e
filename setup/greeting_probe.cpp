#include "setup/greeting_probe.h"

#include <sys/socket.h>
#include <sys/time.h>

#include "platform/tcp_socket.h"

namespace parvola {

bool isGreetingOf(ServerProtocol protocol, const std::string& line) {
    switch (protocol) {
        case ServerProtocol::Imap:
            return line.rfind("* OK", 0) == 0 || line.rfind("* PREAUTH", 0) == 0;
        case ServerProtocol::Pop3:
            return line.rfind("+OK", 0) == 0;
        case ServerProtocol::Smtp:
            return line.rfind("220", 0) == 0;
    }
    return false;
}

ProbeResult probeGreeting(const ServerUrl& endpoint, const std::string& caFile,
                          std::chrono::milliseconds timeout,
                          const std::function<bool()>& cancelled) {
    ProbeResult result;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    TcpSocket socket;
    if (!socket.create())
        return result;
    // connect() on Linux gives up after the send time-out: a guessed host
    // that drops packets must not hold the search for minutes.
    timeval limit{};
    limit.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    limit.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
    setsockopt(socket.fd(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (!socket.connect(endpoint.host, endpoint.port))
        return result;
    const int timeoutMs = static_cast<int>(timeout.count());
    if (endpoint.tls == TlsMode::Implicit) {
        socket.setTlsIoTimeout(timeoutMs);
        if (!socket.startTls(endpoint.host, caFile, timeoutMs))
            return result;
    }
    std::string line;
    char buffer[512];
    while (line.find('\n') == std::string::npos && line.size() < 1024) {
        if (cancelled && cancelled())
            return result;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return result;
        const int ready =
            socket.waitReadable(static_cast<int>(std::min<long long>(left.count(), 100)));
        if (ready < 0)
            return result;
        if (ready == 0)
            continue;
        const ssize_t got = socket.receive(buffer, sizeof buffer);
        if (got <= 0)
            break;
        line.append(buffer, static_cast<size_t>(got));
    }
    const size_t end = line.find_first_of("\r\n");
    if (end != std::string::npos)
        line.resize(end);
    result.greeting = line;
    result.confirmed = isGreetingOf(endpoint.protocol, line);
    return result;
}

}  // namespace parvola
