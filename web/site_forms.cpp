#include "web/site_forms.h"

#include <charconv>

namespace parvola {
std::string shareText(double weightedMiB) {
    char buffer[64];
    auto result =
        std::to_chars(buffer, buffer + sizeof buffer, weightedMiB, std::chars_format::fixed, 4);
    if (result.ec != std::errc())
        return "0.0000";
    return std::string(buffer, result.ptr);
}

std::string loginForm(const std::string& address, const std::string& localAddress) {
    return "action=login&email=" + address + "&ip=" + localAddress;
}

std::string xmlForm(const std::string& catalogName, int version, std::uint64_t totalBytes) {
    double weightedMiB = static_cast<double>(totalBytes) * 1.2 / 1048576.0;
    return "action=xml&email=" + catalogName + "&xml=" + std::to_string(version) +
           "&share=" + shareText(weightedMiB);
}

std::string deleteForm(const std::string& catalogName, const std::string& fileName,
                       const std::string& timeText) {
    return "action=delete&email=" + catalogName + "&filename=" + fileName + "&time=" + timeText;
}

std::string shareForm(const std::string& catalogName, const std::string& localAddress) {
    return "action=share&email=" + catalogName + "&share=" + localAddress;
}

std::string webLoginForm(const std::string& mailboxAddress, const std::string& mailboxPassword) {
    return "email=" + mailboxAddress + "&password=" + mailboxPassword;
}

}  // namespace parvola
