#pragma once
// A small argument reader for the commands: flags and options anywhere, the
// rest positional in order.
#include <optional>
#include <string>
#include <vector>

namespace parvola::cli {

class OptionParser {
  public:
    explicit OptionParser(std::vector<std::string> args) : args_(std::move(args)) {}

    // True when `name` is present; it is consumed.
    bool flag(const std::string& name);
    // The value after `name` (consumed with it); nullopt when absent. A name
    // given without a value marks the parse as failed.
    std::optional<std::string> option(const std::string& name);
    // The index-th argument that is not an option, once options are consumed.
    std::optional<std::string> positional(size_t index);
    // True when nothing is left but at most `positionals` positional arguments
    // and no unknown option and no error.
    bool done(size_t positionals);

  private:
    std::vector<std::string> args_;
    bool failed_ = false;
};

}  // namespace parvola::cli
