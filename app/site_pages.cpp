#include "app/site_pages.h"

#include "app/process_state.h"
#include "web/site_client.h"
#include "web/site_forms.h"

namespace parvola {

SitePages sitePages() {
    return SitePages{registerPageUrl(), groupLoginPageUrl(), informationPageUrl(), advertPageUrl()};
}

void postShareLogin(const std::string& typedAddress) {
    MailboxAccount account;
    std::string body;
    if (findLoggedInAccount(typedAddress, account) == 0)
        body = webLoginForm(account.mailboxAddress, account.mailboxPassword);
    SiteWebLogin(body);
}

}  // namespace parvola
