#pragma once
// The passphrase of an encrypted account, for one command: from the desktop
// keyring when the user asked to keep it there, from standard input or a
// command when the options say so, else asked on the terminal without echo.
// It lives in memory only; the keyring is the one place it may be kept.
#include <optional>
#include <string>

#include "cli/cli_command.h"

namespace parvola::cli {

enum class PassphraseFrom { Keyring, Stdin, Command, Terminal };

struct Passphrase {
    std::string text;
    PassphraseFrom from = PassphraseFrom::Terminal;
};

// The passphrase that opens the store of `address`: the keyring's first
// (unless --passphrase-stdin or --passphrase-command chose a source), then
// the options, then a prompt. nullopt after the reason was printed.
std::optional<Passphrase> existingPassphrase(const std::string& address,
                                             const GlobalOptions& options);

// A passphrase to set: typed twice on a terminal (both must agree), or one
// line from standard input or the command. Never empty. nullopt after the
// reason was printed.
std::optional<std::string> newPassphrase(const std::string& prompt, const GlobalOptions& options);

// Keeps `passphrase` of `address` in the desktop keyring and returns the
// line that says where it is (or why it is kept nowhere).
std::string keepPassphrase(const std::string& address, const std::string& passphrase);

// Whether the keyring keeps a passphrase of `address`.
bool hasKeptPassphrase(const std::string& address);

// Replaces a passphrase the keyring keeps for `address`; true when one was
// kept there and is now the new one.
bool replaceKeptPassphrase(const std::string& address, const std::string& passphrase);

}  // namespace parvola::cli
