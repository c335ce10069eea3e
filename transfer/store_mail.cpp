#include "transfer/store_mail.h"

#include "transfer/mailbox_factory.h"

namespace parvola {

int SendStoreMail(const MailboxAccount& account, const StoreMail& mail, std::string* failureReply) {
    return mailboxFor(account)->store(mail, failureReply);
}

}  // namespace parvola
