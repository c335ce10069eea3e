#include "transfer/store_mail.h"

#include "transfer/mailbox_factory.h"

namespace parvola {

int SendStoreMail(const MailboxAccount& account, const StoreMail& mail, std::string* failureReply,
                  std::string* failureText) {
    const std::unique_ptr<Mailbox> mailbox = mailboxFor(account);
    const int result = mailbox->store(mail, failureReply);
    if (failureText != nullptr)
        *failureText = mailbox->failureText();
    return result;
}

}  // namespace parvola
