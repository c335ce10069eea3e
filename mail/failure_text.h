#pragma once
// The pieces of a mailbox's failure text for the user: which server
// ("POP3 pop.example.org:995") and the server's words on one line.
#include <string>

namespace parvola {

// "<protocol> <host>:<port>".
std::string serverLabel(const char* protocol, const std::string& host, int port);
// `words` on one line: line breaks and tabs as blanks, other control bytes
// left out, no trailing blanks.
std::string oneLine(const std::string& words);

}  // namespace parvola
