#include "transfer/account_login.h"

#include "app/login_verification.h"
#include "app/process_state.h"
#include "catalog/catalog.h"
#include "catalog/catalog_hooks.h"
#include "mail/secret_mask.h"
#include "platform/notice_box.h"
#include "transfer/catalog_sync.h"
#include "transfer/resume_tasks.h"

namespace parvola {

LoginResult loginAccount(const std::string& address, const std::string& password,
                         bool rememberPassword, IniSettings& settings, bool resumeTasks) {
    LoginResult result;
    result.account = MailboxAccount(address, password);
    MailboxAccount existing;
    if (findLoggedInAccount(address, existing) == 0) {
        showNotice(kAlreadyLoggedInText);
        result.outcome = LoginOutcome::AlreadyLoggedIn;
        return result;
    }
    switch (verifyLogin(result.account)) {
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
    bool createdNew = false;
    std::string failure;
    if (CatalogLoginStep(result.account, &createdNew, &failure) != 0) {
        // What failed is in the details, the passwords masked: "POP3
        // host:port, login: -ERR ...".
        maskSecret(failure, result.account.mailboxPassword);
        maskSecret(failure, result.account.typedPassword);
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

}  // namespace parvola
