#include "app/login_verification.h"

#include "web/site_client.h"

namespace parvola {

LoginVerification verifyLogin(MailboxAccount& account) {
    std::string passwordOnRecord;
    std::string mailboxAddress;
    std::string mailboxPassword;
    int flag = 0;
    if (SiteLogin(account.typedAddress, passwordOnRecord, mailboxAddress, mailboxPassword, flag) !=
        kSiteOk)
        return LoginVerification::ServiceUnreachable;
    if (passwordOnRecord != account.typedPassword)
        return LoginVerification::WrongPassword;
    account.mailboxAddress = mailboxAddress;
    account.mailboxPassword = mailboxPassword;
    account.catalogFlag = flag;
    account.SelectProvider(mailboxAddress);
    account.loginAddress = account.typedAddress;
    return LoginVerification::Verified;
}

}  // namespace parvola
