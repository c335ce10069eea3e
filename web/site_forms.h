#pragma once
// The form bodies the client posts to the web service, built in their fixed
// key order with the values inserted raw (no URL encoding): the service splits
// them by that known order.
#include <cstdint>
#include <string>

namespace parvola {

// "action=login&email=" + address + "&ip=" + localAddress
std::string loginForm(const std::string& address, const std::string& localAddress);

// A weighted space in MiB as the forms carry it: four decimals after a "."
// whatever the process locale says (the desktop runs in the user's locale,
// which may write a decimal comma).
std::string shareText(double weightedMiB);

// "action=xml&email=" + name + "&xml=<version>&share=<weighted MiB, 4 decimals>",
// the weighted space being totalBytes × 1.2 / 1048576. The number is written
// with a "." whatever the process locale says.
std::string xmlForm(const std::string& catalogName, int version, std::uint64_t totalBytes);

// "action=delete&email=" + name + "&filename=" + fileName + "&time=" + timeText,
// timeText being local time formatted with "%y-%m-%d %H:%M:%S".
std::string deleteForm(const std::string& catalogName, const std::string& fileName,
                       const std::string& timeText);

// "action=share&email=" + name + "&share=" + localAddress
std::string shareForm(const std::string& catalogName, const std::string& localAddress);

// "email=" + mailboxAddress + "&password=" + mailboxPassword (site login page).
std::string webLoginForm(const std::string& mailboxAddress, const std::string& mailboxPassword);

}  // namespace parvola
