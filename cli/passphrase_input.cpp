#include "cli/passphrase_input.h"

#include <unistd.h>

#include "cli/cli_notice_box.h"
#include "cli/password_input.h"
#include "platform/keyring.h"
#include "platform/secret_command.h"
#include "transfer/encrypted_login.h"

namespace parvola::cli {
namespace {

std::optional<std::string> fromCommand(const std::string& command) {
    const SecretCommandResult result = runSecretCommand(command);
    if (result.outcome != SecretCommandOutcome::Ok) {
        printError("--passphrase-command gave no passphrase: " + result.failure);
        return std::nullopt;
    }
    return result.secret;
}

std::optional<std::string> oneLine(const std::string& prompt, bool fromStdin) {
    auto line = readPassword(prompt, fromStdin);
    if (!line || line->empty()) {
        printError("no passphrase given");
        return std::nullopt;
    }
    return line;
}

bool noWayToAsk(const std::string& address, const GlobalOptions& options) {
    if (options.passphraseFromStdin || !options.passphraseCommand.empty() || isatty(STDIN_FILENO))
        return false;
    printError(address +
               " keeps its store encrypted and there is no terminal to ask for its "
               "passphrase on; give it with --passphrase-stdin or "
               "--passphrase-command CMD");
    return true;
}

}  // namespace

std::optional<Passphrase> existingPassphrase(const std::string& address,
                                             const GlobalOptions& options) {
    Passphrase found;
    if (!options.passphraseCommand.empty()) {
        auto text = fromCommand(options.passphraseCommand);
        if (!text)
            return std::nullopt;
        found.text = *text;
        found.from = PassphraseFrom::Command;
        return found;
    }
    std::string failure;
    if (!options.passphraseFromStdin &&
        keyringLookup(passphraseKeyringName(address), found.text, failure) == KeyringResult::Ok &&
        !found.text.empty()) {
        found.from = PassphraseFrom::Keyring;
        return found;
    }
    if (noWayToAsk(address, options))
        return std::nullopt;
    auto text = oneLine("Passphrase for the encrypted store of " + address + ": ",
                        options.passphraseFromStdin);
    if (!text)
        return std::nullopt;
    found.text = *text;
    found.from = options.passphraseFromStdin ? PassphraseFrom::Stdin : PassphraseFrom::Terminal;
    return found;
}

std::optional<std::string> newPassphrase(const std::string& prompt, const GlobalOptions& options) {
    if (!options.passphraseCommand.empty()) {
        auto text = fromCommand(options.passphraseCommand);
        if (text && text->empty()) {
            printError("no passphrase given");
            return std::nullopt;
        }
        return text;
    }
    if (options.passphraseFromStdin || !isatty(STDIN_FILENO)) {
        if (!options.passphraseFromStdin) {
            printError(
                "there is no terminal to ask for the passphrase on; give it with "
                "--passphrase-stdin or --passphrase-command CMD");
            return std::nullopt;
        }
        return oneLine("", true);
    }
    auto first = oneLine(prompt, false);
    if (!first)
        return std::nullopt;
    auto again = oneLine("The same passphrase again: ", false);
    if (!again)
        return std::nullopt;
    if (*first != *again) {
        printError("the two passphrases differ; nothing was changed");
        return std::nullopt;
    }
    return first;
}

std::string keepPassphrase(const std::string& address, const std::string& passphrase) {
    std::string failure;
    switch (keyringStore(passphraseKeyringName(address), passphrase, failure)) {
        case KeyringResult::Ok:
            return "kept in the desktop keyring; later commands read it from there";
        case KeyringResult::Unavailable:
            return "not kept: no desktop keyring answered (it is never written to a file)";
        case KeyringResult::NotFound:
        case KeyringResult::Failed:
            break;
    }
    return "not kept: the desktop keyring refused it (" + failure + ")";
}

bool hasKeptPassphrase(const std::string& address) {
    return keptPassphrase(address).has_value();
}

bool replaceKeptPassphrase(const std::string& address, const std::string& passphrase) {
    std::string kept;
    std::string failure;
    if (keyringLookup(passphraseKeyringName(address), kept, failure) != KeyringResult::Ok)
        return false;
    return keyringStore(passphraseKeyringName(address), passphrase, failure) == KeyringResult::Ok;
}

}  // namespace parvola::cli
