#include "cli/encrypted_store.h"

#include <unistd.h>

#include <chrono>
#include <iostream>

#include "app/direct_account.h"
#include "app/login_verification.h"
#include "cli/cli_notice_box.h"
#include "cli/confirm.h"
#include "cli/passphrase_input.h"
#include "platform/ini_file.h"
#include "platform/worker_threads.h"
#include "transfer/account_keys.h"
#include "transfer/catalog_mail_worker.h"
#include "transfer/key_mail.h"

namespace parvola::cli {
namespace {

void rememberIfAsked(const std::string& address, const Passphrase& passphrase,
                     const GlobalOptions& options) {
    if (options.rememberPassphrase && passphrase.from != PassphraseFrom::Keyring)
        std::cout << "passphrase: " << keepPassphrase(address, passphrase.text) << std::endl;
}

// config.ini remembers which accounts this computer saw encrypted (never
// a key or a passphrase), so their commands look for the key mail first.
constexpr const char* kEncryptedSection = "encrypted";

void noteEncrypted(const std::string& address) {
    writeProfileString(kEncryptedSection, address, "1", IniSettings().path());
}

}  // namespace

bool worthLookingForKeyMail(const std::string& address, const GlobalOptions& options, bool login) {
    if (options.passphraseFromStdin || !options.passphraseCommand.empty())
        return true;
    if (login && isatty(STDIN_FILENO))
        return true;
    if (readProfileString(kEncryptedSection, address, "", IniSettings().path()) == "1")
        return true;
    return hasKeptPassphrase(address);
}

void explainLockedLogin(const std::string& address) {
    if (accountEncryption(address) == AccountEncryption::Locked)
        printError(address +
                   " keeps its store encrypted; give its passphrase with "
                   "--passphrase-stdin or --passphrase-command CMD");
}

bool accountBeforeLogin(const std::string& address, const std::string& password,
                        const IniSettings& settings, MailboxAccount& account) {
    if (auto direct = rememberedDirectAccount(settings.path(), address)) {
        account = directMailboxAccount(*direct, password);
        return true;
    }
    account = MailboxAccount(address, password);
    return verifyLogin(account) == LoginVerification::Verified;
}

StoreLock openEncryptedStore(const MailboxAccount& account, const GlobalOptions& options,
                             std::string* used) {
    const std::string& address = account.loginAddress;
    if (detectEncryption(account) != KeyMailResult::Ok)
        return StoreLock::Plain;
    auto passphrase = existingPassphrase(address, options);
    if (!passphrase)
        return StoreLock::Refused;
    switch (unlockEncryption(account, passphrase->text)) {
        case KeyMailResult::Ok:
            break;
        case KeyMailResult::WrongPassphrase:
            printError("wrong passphrase for " + address +
                       ": it does not open the store's key; nothing was changed");
            if (passphrase->from == PassphraseFrom::Keyring)
                printError(
                    "the passphrase kept in the desktop keyring is an old one; give the "
                    "new one with --passphrase-stdin --remember-passphrase");
            return StoreLock::Refused;
        case KeyMailResult::Damaged:
            printError("the key mail of " + address + " is damaged; nothing was changed");
            return StoreLock::Refused;
        default:
            printError("the key mail of " + address + " could not be read; nothing was changed");
            return StoreLock::Refused;
    }
    noteEncrypted(address);
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

bool confirmEncryption(bool yes) {
    if (!canConfirmEncryption(yes))
        return false;
    if (yes)
        return true;
    if (confirm(std::string(kEncryptionTradeOff) + " Encrypt the store?") == Confirmation::Yes)
        return true;
    printError("not encrypted");
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
    switch (enableEncryption(account, *passphrase)) {
        case KeyMailResult::Ok:
            break;
        case KeyMailResult::AlreadyEncrypted:
            printError(address + " keeps its store encrypted already; nothing was changed");
            return kExitFailure;
        default:
            printError("the key mail of " + address +
                       " could not be stored; the store stays as it was");
            return kExitFailure;
    }
    // An encrypted account loads only a sealed catalog: mail one at once.
    if (mailCatalogNow(address) != 0) {
        printError("the catalog could not be mailed yet; the next change mails it sealed");
        return kExitFailure;
    }
    noteEncrypted(address);
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
