#include "mail/smtp_store.h"

#include "mail/failure_text.h"
#include "mail/progress_sink.h"
#include "mail/smtp_client.h"

namespace parvola {
namespace {

void prepare(SmtpClient& smtp, const MailboxAccount& account) {
    smtp.setPort(account.smtpPort);
    smtp.setTls(account.smtpTls);
    smtp.setCredentials(account.mailboxUser, account.mailboxPassword);
}

}  // namespace

int storeOverSmtp(const MailboxAccount& account, const StoreMail& mail, std::string& failureText,
                  std::string* failureReply) {
    SmtpMessage message = composeStoreMail(mail, account.mailboxAddress);
    SmtpClient smtp;
    prepare(smtp, account);
    failureText.clear();
    auto describe = [&] {
        std::string words = oneLine(smtp.failureReply());
        if (words.empty())
            words = socketErrorText(smtp.failureSocketError());
        failureText = serverLabel("SMTP", account.smtpHost, account.smtpPort) + ", " +
                      (smtp.failureStep().empty() ? std::string("send") : smtp.failureStep()) +
                      ": " + words;
    };
    if (!smtp.Connect(account.smtpHost)) {
        describe();
        smtp.Close();
        if (failureReply != nullptr)
            *failureReply = smtp.failureReply();
        return -1;
    }
    const int result = smtp.SendMessage(message, mail.taskId, mail.progress);
    if (result != 0 && result != kTransferCancelledCode)
        describe();
    smtp.Close();
    if (failureReply != nullptr)
        *failureReply = result == 0 ? std::string() : smtp.failureReply();
    return result;
}

uint64_t smtpSizeLimit(const MailboxAccount& account) {
    // No credentials: servers say SIZE with their EHLO reply (after
    // STARTTLS where the account secures the connection), so nothing secret
    // goes out for the limit.
    SmtpClient smtp;
    smtp.setPort(account.smtpPort);
    smtp.setTls(account.smtpTls);
    const bool connected = smtp.Connect(account.smtpHost) != 0;
    const uint64_t limit = connected && smtp.sizeAnnounced() ? smtp.sizeLimit() : 0;
    smtp.Close();
    return limit;
}

}  // namespace parvola
