#include "cli/confirm.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <iostream>

namespace parvola::cli {

bool canConfirm() {
    return isatty(STDIN_FILENO) != 0;
}

Confirmation confirm(const std::string& question) {
    if (!canConfirm())
        return Confirmation::NoTerminal;
    std::cerr << question << " [y/N] " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line))
        return Confirmation::No;
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.pop_back();
    std::transform(line.begin(), line.end(), line.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return line == "y" || line == "yes" ? Confirmation::Yes : Confirmation::No;
}

}  // namespace parvola::cli
