#include "transfer/mailbox_factory.h"

#include <mutex>

#include "mail/imap_mailbox.h"
#include "mail/pop3_smtp_mailbox.h"

namespace parvola {
namespace {

std::mutex factoryMutex;
MailboxFactory installedFactory;  // empty: the default

}  // namespace

std::unique_ptr<Mailbox> mailboxFor(const MailboxAccount& account) {
    MailboxFactory factory;
    {
        std::lock_guard<std::mutex> guard(factoryMutex);
        factory = installedFactory;
    }
    if (factory)
        return factory(account);
    if (account.reader == MailboxReader::Imap)
        return std::make_unique<ImapMailbox>(account);
    return std::make_unique<Pop3SmtpMailbox>(account);
}

MailboxFactory setMailboxFactory(MailboxFactory factory) {
    std::lock_guard<std::mutex> guard(factoryMutex);
    MailboxFactory previous = std::move(installedFactory);
    installedFactory = std::move(factory);
    return previous;
}

}  // namespace parvola
