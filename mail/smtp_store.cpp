#include "mail/smtp_store.h"

#include "mail/failure_text.h"
#include "mail/login_secret.h"
#include "mail/progress_sink.h"
#include "mail/smtp_client.h"

namespace parvola {
namespace {

void prepare(SmtpClient& smtp, const MailboxAccount& account, const std::string& secret) {
    smtp.setPort(account.smtpPort);
    smtp.setTls(account.smtpTls);
    smtp.setBearerToken(account.bearerToken);
    smtp.setCredentials(account.mailboxUser, secret);
}

// Connects and logs in with the account's secret (a refused token fetched
// once more); 0 when not connected, `fetchFailure` then holding why no
// secret could be had, if that was the cause.
int connectWithSecret(SmtpClient& smtp, const MailboxAccount& account, std::string& fetchFailure) {
    int connected = 0;
    loginWithAccountSecret(
        account,
        [&](const std::string& secret) {
            prepare(smtp, account, secret);
            connected = smtp.Connect(account.smtpHost);
            if (connected && smtp.loginRefused()) {
                smtp.Close();
                return SecretAttempt::Refused;
            }
            return connected ? SecretAttempt::Done : SecretAttempt::Failed;
        },
        fetchFailure);
    return connected;
}

}  // namespace

int storeOverSmtp(const MailboxAccount& account, const StoreMail& mail, std::string& failureText,
                  MailboxFailure& failureKind, std::string* failureReply) {
    SmtpMessage message = composeStoreMail(mail, account.mailboxAddress);
    SmtpClient smtp;
    failureText.clear();
    std::string fetchFailure;
    failureKind = MailboxFailure::None;
    auto describe = [&] {
        std::string words = oneLine(smtp.failureReply());
        if (words.empty())
            words = socketErrorText(smtp.failureSocketError());
        failureText = serverLabel("SMTP", account.smtpHost, account.smtpPort) + ", " +
                      (smtp.failureStep().empty() ? std::string("send") : smtp.failureStep()) +
                      ": " + words;
        // A reply code is the server's answer; without one the connection
        // failed (or a value could not be sent at all).
        failureKind = smtp.failureCode() > 0
                          ? classifySmtpReply(smtp.failureCode(), smtp.failureReply())
                          : classifyConnectionError(smtp.failureSocketError(), smtp.failureReply());
    };
    if (!connectWithSecret(smtp, account, fetchFailure)) {
        describe();
        if (!fetchFailure.empty()) {
            failureText = serverLabel("SMTP", account.smtpHost, account.smtpPort) + ", " +
                          secretSourceName(account) + ": " + fetchFailure;
            failureKind = MailboxFailure::Permanent;
        }
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
