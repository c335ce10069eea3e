#include <iostream>

#include "cli/cli_command.h"
#include "cli/cli_notice_box.h"
#include "cli/cli_session.h"
#include "cli/encrypted_store.h"
#include "cli/option_parser.h"
#include "cli/passphrase_input.h"
#include "transfer/account_keys.h"
#include "transfer/key_mail.h"

namespace parvola::cli {
namespace {

int runEncrypt(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    const bool yes = parser.flag("--yes", "-y");
    if (!parser.done(0))
        return kExitUsage;
    if (!canConfirmEncryption(yes))
        return kExitUsageExplained;
    CliSession session;
    if (const int code = openSession(options, session); code != kExitOk)
        return code;
    if (accountEncryption(session.user()) != AccountEncryption::Plain) {
        printError(session.user() + " keeps its store encrypted already; nothing was changed");
        finishSession();
        return kExitFailure;
    }
    if (!confirmEncryption(yes)) {
        finishSession();
        return kExitFailure;
    }
    const int code = turnEncryptionOn(session.account, options);
    finishSession();
    return code;
}

int runPassphrase(const std::vector<std::string>& args, const GlobalOptions& options) {
    OptionParser parser(args);
    if (!parser.done(0))
        return kExitUsage;
    CliSession session;
    if (const int code = openSession(options, session); code != kExitOk)
        return code;
    const std::string& address = session.user();
    if (accountEncryption(address) != AccountEncryption::Unlocked) {
        printError(address +
                   " keeps its store unencrypted; make it encrypted with: "
                   "parvola-cli encrypt");
        finishSession();
        return kExitFailure;
    }
    // The old passphrase opened the store above; the new one follows it
    // (the next line of standard input with --passphrase-stdin).
    GlobalOptions fresh = options;
    fresh.passphraseCommand.clear();
    auto renewed = newPassphrase("New passphrase for the store of " + address + ": ", fresh);
    if (!renewed) {
        finishSession();
        return kExitFailure;
    }
    bool oldKeyMailsLeft = false;
    const KeyMailResult result = changePassphrase(session.account, session.passphrase, *renewed,
                                                  KdfParams(), &oldKeyMailsLeft);
    if (result != KeyMailResult::Ok) {
        printError("the passphrase of " + address +
                   " could not be changed; the old one still opens the store");
        finishSession();
        return kExitFailure;
    }
    std::cout << "passphrase changed: " << address
              << "\n  the store's key is wrapped anew; nothing was stored again\n";
    if (oldKeyMailsLeft)
        std::cout << "  an older key mail, which the old passphrase opens, is still in the "
                     "mailbox; the next command removes it\n";
    if (replaceKeptPassphrase(address, *renewed))
        std::cout << "passphrase: the one kept in the desktop keyring is the new one\n";
    else if (options.rememberPassphrase)
        std::cout << "passphrase: " << keepPassphrase(address, *renewed) << "\n";
    std::cout.flush();
    finishSession();
    return kExitOk;
}

}  // namespace

Command encryptCommand() {
    return {"encrypt", "encrypt what the account stores from now on",
            "usage: parvola-cli encrypt [--yes]\n"
            "  Makes the account's store encrypted: a random key, wrapped under a\n"
            "  passphrase you choose, is kept in the mailbox, so another computer\n"
            "  needs only the passphrase. Files stored from now on, their names and\n"
            "  the catalog are encrypted; files stored before stay as they were (none\n"
            "  is stored again). An encrypted store can no longer be read by clients\n"
            "  that do not know its format. Asks first on the terminal; without one it\n"
            "  needs --yes (-y). The passphrase is typed twice, or read from standard\n"
            "  input with --passphrase-stdin or from --passphrase-command CMD; it is\n"
            "  never written to disk, and kept in the desktop keyring only with\n"
            "  --remember-passphrase. Every later command of the account needs it.\n",
            runEncrypt};
}

Command passphraseCommand() {
    return {"passphrase", "change the passphrase of an encrypted store",
            "usage: parvola-cli passphrase\n"
            "  Asks for the current passphrase (unless the desktop keyring keeps it),\n"
            "  then the new one twice, and wraps the store's key under the new one;\n"
            "  nothing is stored again. With --passphrase-stdin the current and the new\n"
            "  passphrase are two lines of standard input. A passphrase the keyring\n"
            "  keeps is replaced by the new one.\n",
            runPassphrase};
}

}  // namespace parvola::cli
