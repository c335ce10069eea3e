#include "cli/option_parser.h"

namespace parvola::cli {
namespace {

std::string& problemText() {
    static std::string problem;
    return problem;
}

}  // namespace

const std::string& usageProblem() {
    return problemText();
}

void setUsageProblem(const std::string& problem) {
    if (problemText().empty())
        problemText() = problem;
}

OptionParser::OptionParser(std::vector<std::string> args) : args_(std::move(args)) {
    problemText().clear();  // a new parse, a new problem
    optionsEnd_ = args_.size();
    for (size_t i = 0; i < args_.size(); ++i) {
        if (args_[i] == "--") {
            optionsEnd_ = i;
            break;
        }
    }
}

bool OptionParser::isOption(size_t index) const {
    return index < optionsEnd_ && args_[index].size() > 1 && args_[index][0] == '-';
}

bool OptionParser::flag(const std::string& name, const std::string& shortName) {
    bool found = false;
    for (size_t i = 0; i < optionsEnd_;) {
        if (args_[i] == name || (!shortName.empty() && args_[i] == shortName)) {
            args_.erase(args_.begin() + static_cast<long>(i));
            --optionsEnd_;
            found = true;
        } else {
            ++i;
        }
    }
    return found;
}

std::optional<std::string> OptionParser::option(const std::string& name) {
    for (size_t i = 0; i < optionsEnd_; ++i) {
        if (args_[i] != name)
            continue;
        if (i + 1 >= optionsEnd_) {
            failed_ = true;
            setUsageProblem("missing value after " + name);
            args_.erase(args_.begin() + static_cast<long>(i));
            --optionsEnd_;
            return std::nullopt;
        }
        std::string value = args_[i + 1];
        args_.erase(args_.begin() + static_cast<long>(i), args_.begin() + static_cast<long>(i) + 2);
        optionsEnd_ -= 2;
        return value;
    }
    return std::nullopt;
}

std::vector<std::string> OptionParser::positionals() const {
    std::vector<std::string> found;
    for (size_t i = 0; i < args_.size(); ++i) {
        if (i == optionsEnd_ || isOption(i))
            continue;
        found.push_back(args_[i]);
    }
    return found;
}

std::optional<std::string> OptionParser::positional(size_t index) {
    const std::vector<std::string> found = positionals();
    if (index < found.size())
        return found[index];
    return std::nullopt;
}

bool OptionParser::doneWithAny() {
    if (failed_)
        return false;
    for (size_t i = 0; i < optionsEnd_; ++i) {
        if (isOption(i)) {
            setUsageProblem("unknown option " + args_[i]);
            return false;
        }
    }
    return true;
}

bool OptionParser::done(size_t count) {
    if (!doneWithAny())
        return false;
    if (positionals().size() > count) {
        setUsageProblem("unexpected argument " + positionals()[count]);
        return false;
    }
    return true;
}

}  // namespace parvola::cli
