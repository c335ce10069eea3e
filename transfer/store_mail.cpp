#include "transfer/store_mail.h"

#include "transfer/mailbox_factory.h"

namespace parvola {

int SendStoreMail(const MailboxAccount& account, const StoreMail& mail, std::string* failureReply,
                  std::string* failureText, MailboxFailure* failureKind) {
    const std::unique_ptr<Mailbox> mailbox = mailboxFor(account);
    const int result = mailbox->store(mail, failureReply);
    if (failureText != nullptr)
        *failureText = mailbox->failureText();
    if (failureKind != nullptr)
        *failureKind = result == 0 ? MailboxFailure::None : mailbox->failureKind();
    return result;
}

}  // namespace parvola
