#pragma once
// A small argument reader for the commands: flags and options anywhere, the
// rest positional in order. An argument that starts with "-" (and is longer
// than "-") is an option; after "--" every argument is positional, so a file
// whose name starts with "-" can still be named.
#include <optional>
#include <string>
#include <vector>

namespace parvola::cli {

class OptionParser {
  public:
    explicit OptionParser(std::vector<std::string> args);

    // True when `name` (or its short form `shortName`, e.g. "-r") is present;
    // every occurrence is consumed.
    bool flag(const std::string& name, const std::string& shortName = "");
    // The value after `name` (consumed with it); nullopt when absent. A name
    // given without a value marks the parse as failed.
    std::optional<std::string> option(const std::string& name);
    // The index-th positional argument, once options are consumed.
    std::optional<std::string> positional(size_t index);
    // Every positional argument, in order.
    std::vector<std::string> positionals() const;
    // True when nothing is left but at most `positionals` positional arguments
    // and no unknown option and no error; otherwise the problem is kept for
    // usageProblem().
    bool done(size_t positionals);
    // done() for any number of positional arguments.
    bool doneWithAny();

  private:
    bool isOption(size_t index) const;
    std::vector<std::string> args_;
    size_t optionsEnd_;  // index of "--", or args_.size()
    bool failed_ = false;
};

// Why the latest parse failed ("unknown option --foldr"; the first problem
// it met), empty when it did not; the client prints it before the command's
// synopsis.
const std::string& usageProblem();
void setUsageProblem(const std::string& problem);

}  // namespace parvola::cli
