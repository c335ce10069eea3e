#include "transfer/account_login.h"

#include "app/login_verification.h"
#include "app/process_state.h"
#include "catalog/catalog.h"
#include "catalog/catalog_hooks.h"
#include "mail/plaintext_guard.h"
#include "mail/secret_mask.h"
#include "platform/keyring.h"
#include "platform/notice_box.h"
#include "setup/provider_reply.h"
#include "transfer/account_keys.h"
#include "transfer/catalog_sync.h"
#include "transfer/resume_tasks.h"

namespace parvola {

namespace {

// After the verification: the catalog from the mailbox, the account logged
// in and remembered, its transfers resumed.
LoginResult finishLogin(LoginResult result, const std::string& address, const std::string& password,
                        bool rememberPassword, IniSettings& settings, bool resumeTasks) {
    bool createdNew = false;
    std::string failure;
    if (CatalogLoginStep(result.account, &createdNew, &failure) != 0) {
        // The mailbox holds a key mail this process cannot open yet: each
        // client asks for the passphrase in its own way and logs in again.
        if (accountEncryption(result.account.loginAddress) == AccountEncryption::Locked) {
            result.outcome = LoginOutcome::StoreLocked;
            return result;
        }
        // What failed is in the details, the passwords masked: "POP3
        // host:port, login: -ERR ...".
        maskSecret(failure, result.account.mailboxPassword);
        maskSecret(failure, result.account.typedPassword);
        if (result.account.direct) {
            // The mailbox's own login is the verification of a direct account.
            if (const std::string refusal = plaintextRefusalIn(failure); !refusal.empty()) {
                showNotice(refusal);
                result.outcome = LoginOutcome::VerifyFailed;
                return result;
            }
            if (const size_t login = failure.find(", login: "); login != std::string::npos) {
                // A provider that wants an app password or access switched
                // on says so in its reply: explained, with its words kept.
                std::string message = result.account.typedAddress + kWrongPasswordSuffix;
                const std::string advice = loginRefusalAdvice(
                    result.account.typedAddress, std::string_view(failure).substr(login + 9));
                if (!advice.empty())
                    message += "\n" + advice;
                showNotice(withNoticeDetails(message, failure));
                result.outcome = LoginOutcome::VerifyFailed;
                return result;
            }
        }
        showNotice(withNoticeDetails(kCatalogLoginFailedText, failure));
        result.outcome = LoginOutcome::CatalogFailed;
        return result;
    }
    // The check above and this append are apart: a second login of the same
    // address that slipped in between is refused here.
    if (!addLoggedInAccount(result.account)) {
        showNotice(kAlreadyLoggedInText);
        result.outcome = LoginOutcome::AlreadyLoggedIn;
        return result;
    }
    if (createdNew) {
        // The mail started by the new catalog's save may have looked for the
        // account before it was logged in; mail the new catalog now that the
        // worker can find it.
        CatalogHooks hooks = catalogHooks();
        if (hooks.startCatalogMail)
            hooks.startCatalogMail(result.account.loginAddress);
    }
    if (resumeTasks)
        startResumeStarter(result.account.typedAddress);
    settings.rememberAccount(address, rememberPassword ? password : std::string());
    result.outcome = LoginOutcome::LoggedIn;
    return result;
}

bool refuseSecondLogin(const std::string& address, LoginResult& result) {
    MailboxAccount existing;
    if (findLoggedInAccount(address, existing) != 0)
        return false;
    showNotice(kAlreadyLoggedInText);
    result.outcome = LoginOutcome::AlreadyLoggedIn;
    return true;
}

}  // namespace

LoginResult loginAccount(const std::string& address, const std::string& password,
                         bool rememberPassword, IniSettings& settings, bool resumeTasks,
                         const EarlierVerification* earlier) {
    if (auto direct = rememberedDirectAccount(settings.path(), address))
        return loginDirectAccount(*direct, password, rememberPassword, settings, resumeTasks);
    LoginResult result;
    result.account = MailboxAccount(address, password);
    if (refuseSecondLogin(address, result))
        return result;
    LoginVerification verdict;
    if (earlier != nullptr) {
        verdict = earlier->verdict;
        if (verdict == LoginVerification::Verified)
            result.account = earlier->account;
    } else {
        verdict = verifyLogin(result.account);
    }
    switch (verdict) {
        case LoginVerification::Verified:
            break;
        case LoginVerification::ServiceUnreachable:
            showNotice(kServiceUnreachableText);
            result.outcome = LoginOutcome::VerifyFailed;
            return result;
        case LoginVerification::WrongPassword:
            showNotice(result.account.typedAddress + kWrongPasswordSuffix);
            result.outcome = LoginOutcome::VerifyFailed;
            return result;
    }
    return finishLogin(std::move(result), address, password, rememberPassword, settings,
                       resumeTasks);
}

LoginResult loginDirectAccount(const DirectAccountSettings& direct, const std::string& password,
                               bool rememberPassword, IniSettings& settings, bool resumeTasks) {
    LoginResult result;
    result.account = directMailboxAccount(direct, password);
    if (refuseSecondLogin(direct.address, result))
        return result;
    // No web service and no notification: the catalog step's mailbox login
    // verifies the password. A password to remember goes to the keyring when
    // one answers, and config.ini then keeps the account without it.
    const bool keep = rememberPassword && !password.empty();
    const bool keyring = keep && keyringAnswers();
    result = finishLogin(std::move(result), direct.address, password, keep && !keyring, settings,
                         resumeTasks);
    if (!result.ok())
        return result;
    rememberDirectAccount(settings.path(), direct);
    std::string failure;
    if (keyring && keyringStore(direct.address, password, failure) == KeyringResult::Ok) {
        result.passwordKept = PasswordKept::Keyring;
    } else if (keep) {
        if (keyring) {
            settings.rememberAccount(direct.address, password);
            result.keyringRefusal = failure.empty() ? "the keyring gave no reason" : failure;
        }
        result.passwordKept = PasswordKept::ConfigFile;
    }
    return result;
}

}  // namespace parvola
