#include "cli/encrypted_store.h"

#include <unistd.h>

#include <chrono>
#include <iostream>

#include "cli/cli_notice_box.h"
#include "cli/confirm.h"
#include "cli/passphrase_input.h"
#include "platform/worker_threads.h"
#include "transfer/account_keys.h"
#include "transfer/encrypted_login.h"

namespace parvola::cli {
namespace {

void rememberIfAsked(const std::string& address, const Passphrase& passphrase,
                     const GlobalOptions& options) {
    if (options.rememberPassphrase && passphrase.from != PassphraseFrom::Keyring)
        std::cout << "passphrase: " << keepPassphrase(address, passphrase.text) << std::endl;
}

}  // namespace

bool worthLookingForKeyMail(const std::string& address, const GlobalOptions& options, bool login) {
    if (options.passphraseFromStdin || !options.passphraseCommand.empty())
        return true;
    if (login && isatty(STDIN_FILENO))
        return true;
    return keyMailWorthALook(address, IniSettings());
}

void explainLockedLogin(const std::string& address) {
    if (accountEncryption(address) == AccountEncryption::Locked)
        printError(address +
                   " keeps its store encrypted; give its passphrase with "
                   "--passphrase-stdin or --passphrase-command CMD");
}

StoreLock openEncryptedStore(const MailboxAccount& account, const GlobalOptions& options,
                             std::string* used) {
    const std::string& address = account.loginAddress;
    if (!storeIsEncrypted(account))
        return StoreLock::Plain;
    auto passphrase = existingPassphrase(address, options);
    if (!passphrase)
        return StoreLock::Refused;
    switch (openStoreWith(account, passphrase->text, IniSettings())) {
        case StoreOpening::Unlocked:
            break;
        case StoreOpening::Plain:
            return StoreLock::Plain;
        case StoreOpening::WrongPassphrase:
            printError("wrong passphrase for " + address +
                       ": it does not open the store's key; nothing was changed");
            if (passphrase->from == PassphraseFrom::Keyring)
                printError(
                    "the passphrase kept in the desktop keyring is an old one; give the "
                    "new one with --passphrase-stdin --remember-passphrase");
            return StoreLock::Refused;
        case StoreOpening::Damaged:
            printError("the key mail of " + address + " is damaged; nothing was changed");
            return StoreLock::Refused;
        case StoreOpening::Unreadable:
            printError("the key mail of " + address + " could not be read; nothing was changed");
            return StoreLock::Refused;
    }
    rememberIfAsked(address, *passphrase, options);
    if (used != nullptr)
        *used = passphrase->text;
    return StoreLock::Unlocked;
}

bool canConfirmEncryption(bool yes) {
    if (yes || canConfirm())
        return true;
    printError(std::string(kEncryptionTradeOff) +
               " There is no terminal to ask on; add --yes to encrypt without asking");
    return false;
}

bool confirmEncryption(bool yes, const std::string& declined) {
    if (!canConfirmEncryption(yes))
        return false;
    if (yes)
        return true;
    if (confirm(std::string(kEncryptionTradeOff) + " Encrypt the store?") == Confirmation::Yes)
        return true;
    printError(declined);
    return false;
}

int turnEncryptionOn(const MailboxAccount& account, const GlobalOptions& options) {
    const std::string& address = account.loginAddress;
    auto passphrase = newPassphrase("New passphrase for the store of " + address + ": ", options);
    if (!passphrase)
        return kExitFailure;
    // A catalog mail the login started goes out first, so the sealed one
    // mailed below is the newest.
    waitForWorkers(std::chrono::hours(24));
    switch (startEncryption(account, *passphrase, IniSettings())) {
        case EncryptionStart::Done:
            break;
        case EncryptionStart::AlreadyEncrypted:
            printError(address + " keeps its store encrypted already; nothing was changed");
            return kExitFailure;
        case EncryptionStart::KeyMailFailed:
            printError("the key mail of " + address +
                       " could not be stored; the store stays as it was");
            return kExitFailure;
        case EncryptionStart::CatalogNotMailed:
            printError("the catalog could not be mailed yet; the next change mails it sealed");
            return kExitFailure;
    }
    std::cout << "encrypted: " << address
              << "\n  files stored from now on, their names and the catalog are encrypted;\n"
                 "  files stored before stay as they were (nothing was stored again)\n";
    Passphrase typed{*passphrase, options.passphraseCommand.empty() ? PassphraseFrom::Terminal
                                                                    : PassphraseFrom::Command};
    rememberIfAsked(address, typed, options);
    std::cout.flush();
    return kExitOk;
}

}  // namespace parvola::cli
