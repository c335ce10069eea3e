#include "platform/host_info.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <memory>

namespace parvola {

std::string computerName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

std::string localIPv4Address() {
    std::string host = computerName();
    if (host.empty())
        return {};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
        return {};
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> list(found, freeaddrinfo);
    char text[INET_ADDRSTRLEN] = {};
    auto* addr = reinterpret_cast<sockaddr_in*>(list->ai_addr);
    if (!inet_ntop(AF_INET, &addr->sin_addr, text, sizeof text))
        return {};
    return text;
}

int servicePort(const char* service, int fallback) {
    servent entry{};
    servent* result = nullptr;
    char buffer[1024];
    if (getservbyname_r(service, "tcp", &entry, buffer, sizeof buffer, &result) != 0 || !result)
        return fallback;
    return ntohs(static_cast<uint16_t>(result->s_port));
}

}  // namespace parvola
