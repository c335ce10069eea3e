#pragma once
// One mail address of an outgoing message, with an optional display name.
#include <string>

namespace parvola {

class CSmtpAddress {
  public:
    CSmtpAddress() = default;
    explicit CSmtpAddress(std::string address, std::string name = {})
        : Name(std::move(name)), Address(std::move(address)) {}

    std::string Name;     // may be empty
    std::string Address;  // the mailbox, without angle brackets
};

}  // namespace parvola
