#include "shell/store_encryption.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <chrono>
#include <optional>
#include <thread>

#include "app/process_state.h"
#include "platform/keyring.h"
#include "platform/named_lock.h"
#include "platform/notice_box.h"
#include "platform/worker_threads.h"
#include "presentation/view_texts.h"
#include "shell/passphrase_dialog.h"
#include "transfer/account_keys.h"
#include "transfer/key_mail.h"
#include "transfer/resume_tasks.h"
#include "transfer/task_list.h"

namespace parvola::ui {
namespace {

ShellLoginResult shellLoginResult(const LoginResult& result) {
    switch (result.outcome) {
        case LoginOutcome::LoggedIn:
            return {ShellLoginOutcome::LoggedIn, result.account.loginAddress};
        case LoginOutcome::AlreadyLoggedIn:
            return {ShellLoginOutcome::AlreadyLoggedIn, {}};
        default:
            return {};
    }
}

void keepInKeyring(const std::string& address, const std::string& passphrase) {
    std::string failure;
    if (keyringStore(passphraseKeyringName(address), passphrase, failure) != KeyringResult::Ok)
        showNotice(withNoticeDetails(kPassphraseNotKept, failure));
}

// A kept passphrase that no longer opens the store goes: the next login asks.
void replaceKept(const std::string& address, const std::string& passphrase) {
    if (keptPassphrase(address))
        keepInKeyring(address, passphrase);
}

enum class Opened { Yes, Cancelled, Failed };

// The store's key opened with the kept passphrase, else with one asked for
// until it opens or the user cancels.
Opened openEncryptedStore(const MailboxAccount& account, const IniSettings& settings) {
    const std::string& address = account.loginAddress;
    std::string complaint;
    if (auto kept = keptPassphrase(address)) {
        const StoreOpening opening = openStoreWith(account, *kept, settings);
        if (opening == StoreOpening::Unlocked || opening == StoreOpening::Plain)
            return Opened::Yes;
        if (opening == StoreOpening::WrongPassphrase)
            complaint = kWrongPassphrase;  // an old one: ask for the new
    }
    for (;;) {
        const auto reply = askPassphrase(PassphraseDialog::Kind::Existing, address, complaint);
        if (!reply)
            return Opened::Cancelled;
        switch (openStoreWith(account, reply->passphrase, settings)) {
            case StoreOpening::Unlocked:
                if (reply->remember)
                    keepInKeyring(address, reply->passphrase);
                else
                    replaceKept(address, reply->passphrase);
                return Opened::Yes;
            case StoreOpening::Plain:
                return Opened::Yes;
            case StoreOpening::WrongPassphrase:
                complaint = kWrongPassphrase;
                continue;
            case StoreOpening::Damaged:
                showNotice(kKeyMailDamaged);
                return Opened::Failed;
            case StoreOpening::Unreadable:
                showNotice(kKeyMailUnreadable);
                return Opened::Failed;
        }
    }
}

// How a login ends when the store did not open; nothing when it did.
std::optional<ShellLoginResult> unlessOpened(Opened opened) {
    switch (opened) {
        case Opened::Yes:
            return std::nullopt;
        case Opened::Cancelled:
            return ShellLoginResult{ShellLoginOutcome::Cancelled, {}};
        case Opened::Failed:
            break;
    }
    return ShellLoginResult{};
}

// A catalog mail already under way goes out before the sealed one, so the
// sealed one is the newest. The windows keep being served meanwhile.
void waitForCatalogMailUnderWay() {
    QDeadlineTimer deadline(std::chrono::minutes(2));
    while (runningWorkers() > 0 && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// A new passphrase asked twice, then the key mail and the sealed catalog.
void turnEncryptionOn(const MailboxAccount& account) {
    const auto reply = askPassphrase(PassphraseDialog::Kind::New, account.loginAddress);
    if (!reply) {
        showNotice(kEncryptionCancelled);
        return;
    }
    waitForCatalogMailUnderWay();
    switch (startEncryption(account, reply->passphrase, IniSettings())) {
        case EncryptionStart::Done:
            if (reply->remember)
                keepInKeyring(account.loginAddress, reply->passphrase);
            showNotice(kEncryptionDone);
            return;
        case EncryptionStart::AlreadyEncrypted:
            showNotice(kAlreadyEncrypted);
            return;
        case EncryptionStart::KeyMailFailed:
            showNotice(kEncryptionKeyMailFailed);
            return;
        case EncryptionStart::CatalogNotMailed:
            if (reply->remember)
                keepInKeyring(account.loginAddress, reply->passphrase);
            showNotice(kEncryptionCatalogLater);
            return;
    }
}

// The logged-in account the tree shows as `loginAddress`.
bool loggedInAccount(const std::string& loginAddress, MailboxAccount& found) {
    RoleGuard guard(LockRole::Accounts);
    for (const auto& account : loggedInAccounts()) {
        if (account.loginAddress == loginAddress) {
            found = account;
            return true;
        }
    }
    return false;
}

// The logged-in account the account menu acts on; says so when none is chosen.
bool chosenAccount(const std::string& address, MailboxAccount& account) {
    if (!address.empty() && loggedInAccount(address, account))
        return true;
    showNotice(kSelectAccountFirst);
    return false;
}

}  // namespace

ShellLoginResult loginWithEncryption(const std::string& address, bool encrypt,
                                     const std::function<AccountBeforeLogin()>& reach,
                                     const LoginStep& login) {
    // A second login of the same address is refused by the login itself,
    // before anything is asked.
    MailboxAccount existing;
    if (findLoggedInAccount(address, existing) == 0)
        return shellLoginResult(login(nullptr, true));
    const IniSettings settings;
    // The key mail is looked for first only when that may pay: a plain
    // account logs in with no extra mailbox session, and an encrypted one
    // this computer never saw stops at the catalog load (StoreLocked below).
    AccountBeforeLogin before;
    bool encrypted = false;
    if (encrypt || keyMailWorthALook(address, settings)) {
        before = reach();
        if (before.reached && storeIsEncrypted(before.account)) {
            encrypted = true;
            if (auto stopped = unlessOpened(openEncryptedStore(before.account, settings)))
                return *stopped;
        }
    }
    const bool turnOn = encrypt && before.reached && !encrypted;
    // Transfers of an account about to be encrypted resume once it is.
    LoginResult result = login(before.verification ? &*before.verification : nullptr, !turnOn);
    if (result.outcome == LoginOutcome::StoreLocked) {
        if (auto stopped = unlessOpened(openEncryptedStore(result.account, settings)))
            return *stopped;
        // The web service answered the first time; it is not asked again.
        const EarlierVerification verified{LoginVerification::Verified, result.account};
        result = login(&verified, true);
        return shellLoginResult(result);
    }
    if (result.ok() && turnOn) {
        turnEncryptionOn(result.account);
        startResumeStarter(result.account.typedAddress);
    }
    return shellLoginResult(result);
}

void encryptStoreLater(const std::string& address) {
    MailboxAccount account;
    if (!chosenAccount(address, account))
        return;
    if (accountEncryption(account.loginAddress) != AccountEncryption::Plain) {
        showNotice(kAlreadyEncrypted);
        return;
    }
    if (!taskList().empty()) {
        showNotice(kEncryptWaitForTransfers);
        return;
    }
    if (askQuestion(kEncryptLaterQuestion) != NoticeAnswer::Ok)
        return;
    turnEncryptionOn(account);
}

void changeStorePassphrase(const std::string& address) {
    MailboxAccount account;
    if (!chosenAccount(address, account))
        return;
    if (accountEncryption(account.loginAddress) != AccountEncryption::Unlocked) {
        showNotice(kNotEncryptedYet);
        return;
    }
    // The data key is at hand, but the old passphrase proves the user may
    // change it, and a wrong one changes nothing. It is checked before the
    // new one is asked for, so a mistyped one costs one answer, not three.
    std::string complaint;
    std::optional<PassphraseReply> current;
    for (;;) {
        current = askPassphrase(PassphraseDialog::Kind::Existing, account.loginAddress, complaint);
        if (!current)
            return;
        const KeyMailResult check = unlockEncryption(account, current->passphrase);
        if (check == KeyMailResult::Ok)
            break;
        if (check != KeyMailResult::WrongPassphrase) {
            showNotice(kPassphraseNotChanged);
            return;
        }
        complaint = kWrongPassphrase;
    }
    const auto renewed = askPassphrase(PassphraseDialog::Kind::Replacement, account.loginAddress);
    if (!renewed)
        return;
    if (changePassphrase(account, current->passphrase, renewed->passphrase) != KeyMailResult::Ok) {
        showNotice(kPassphraseNotChanged);
        return;
    }
    if (renewed->remember)
        keepInKeyring(account.loginAddress, renewed->passphrase);
    else
        replaceKept(account.loginAddress, renewed->passphrase);
    showNotice(kPassphraseChanged);
}

}  // namespace parvola::ui
