#include "mail/failure_text.h"

namespace parvola {

std::string serverLabel(const char* protocol, const std::string& host, int port) {
    return std::string(protocol) + " " + host + ":" + std::to_string(port);
}

std::string oneLine(const std::string& words) {
    std::string line;
    for (char c : words) {
        if (c == '\r' || c == '\n' || c == '\t')
            line += ' ';
        else if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f)
            line += c;
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

}  // namespace parvola
