#include "cli/option_parser.h"

namespace parvola::cli {

bool OptionParser::flag(const std::string& name) {
    for (auto it = args_.begin(); it != args_.end(); ++it) {
        if (*it == name) {
            args_.erase(it);
            return true;
        }
    }
    return false;
}

std::optional<std::string> OptionParser::option(const std::string& name) {
    for (size_t i = 0; i < args_.size(); ++i) {
        if (args_[i] != name)
            continue;
        if (i + 1 >= args_.size()) {
            failed_ = true;
            args_.erase(args_.begin() + static_cast<long>(i));
            return std::nullopt;
        }
        std::string value = args_[i + 1];
        args_.erase(args_.begin() + static_cast<long>(i), args_.begin() + static_cast<long>(i) + 2);
        return value;
    }
    return std::nullopt;
}

std::optional<std::string> OptionParser::positional(size_t index) {
    size_t seen = 0;
    for (const auto& arg : args_) {
        if (arg.size() > 1 && arg.rfind("--", 0) == 0)
            continue;
        if (seen++ == index)
            return arg;
    }
    return std::nullopt;
}

bool OptionParser::done(size_t positionals) {
    if (failed_)
        return false;
    size_t count = 0;
    for (const auto& arg : args_) {
        if (arg.size() > 1 && arg.rfind("--", 0) == 0)
            return false;  // unknown option
        ++count;
    }
    return count <= positionals;
}

}  // namespace parvola::cli
