#pragma once
// Asking before a command destroys something: the question on standard error,
// the answer from standard input, which must be a terminal; only "y" or "yes"
// (in any case) goes on.
#include <string>

namespace parvola::cli {

enum class Confirmation { Yes, No, NoTerminal };

// NoTerminal without asking when standard input is not a terminal.
Confirmation confirm(const std::string& question);

// True when a question could be asked at all.
bool canConfirm();

}  // namespace parvola::cli
