#pragma once
// One mail address of an outgoing message, with an optional display name.
#include <string>
#include <utility>

namespace parvola {

struct SmtpAddress {
    SmtpAddress() = default;
    explicit SmtpAddress(std::string address, std::string name = {})
        : name(std::move(name)), address(std::move(address)) {}

    std::string name;     // may be empty
    std::string address;  // the mailbox, without angle brackets
};

}  // namespace parvola
