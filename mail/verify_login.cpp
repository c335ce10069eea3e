#include "mail/mailbox_account.h"

#include <cstdio>

#include "platform/notice_box.h"
#include "web/site_client.h"

namespace parvola {

int MailboxAccount::VerifyLogin() {
    std::string passwordOnRecord;
    int flag = 0;
    if (SiteLogin(typedAddress, passwordOnRecord, mailboxAddress, mailboxPassword, flag) !=
        kSiteOk) {
        showNotice("网络问题,请稍后再试.如多次登录仍不能登录,请联系客服.");
        return -1;
    }
    catalogFlag = flag;
    if (passwordOnRecord != typedPassword) {
        showNotice(typedAddress + "的用户名或密码错误,请确认后再次登录。");
        return -1;
    }
    SelectProvider(mailboxAddress);
    loginAddress = typedAddress;
    return 0;
}

}  // namespace parvola
