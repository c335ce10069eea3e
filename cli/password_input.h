#pragma once
#include <optional>
#include <string>

namespace parvola::cli {

// Reads a password: from a prompt on the terminal with echo off, or, when
// `fromStdin` is set (or standard input is not a terminal), one line from
// standard input. nullopt when nothing could be read.
std::optional<std::string> readPassword(const std::string& prompt, bool fromStdin);

}  // namespace parvola::cli
