// Which failures another try can get past: the answers real providers give.
#include "mail/mailbox_failure.h"

#include <gtest/gtest.h>

#include "platform/tcp_socket.h"

namespace parvola {
namespace {

TEST(MailboxFailureKind, SmtpRepliesByCodeAndWords) {
    EXPECT_EQ(classifySmtpReply(451, "451 4.3.0 Temporary local problem"),
              MailboxFailure::Transient);
    EXPECT_EQ(classifySmtpReply(421, "421 4.4.2 Connection dropped"), MailboxFailure::Transient);
    EXPECT_EQ(classifySmtpReply(421, "421 4.7.0 Too many messages, try again later"),
              MailboxFailure::Limit);
    EXPECT_EQ(classifySmtpReply(450, "450 4.2.1 Rate limit exceeded"), MailboxFailure::Limit);
    EXPECT_EQ(classifySmtpReply(550, "550 5.4.5 Daily sending quota exceeded"),
              MailboxFailure::Limit);
    // A full mailbox stays full, whatever code says it.
    EXPECT_EQ(classifySmtpReply(452, "452 4.2.2 Mailbox full"), MailboxFailure::Permanent);
    EXPECT_EQ(classifySmtpReply(552, "552 5.2.2 Mailbox is full"), MailboxFailure::Permanent);
    EXPECT_EQ(classifySmtpReply(552, "552 5.3.4 Message size exceeds fixed limit"),
              MailboxFailure::Permanent);
    EXPECT_EQ(classifySmtpReply(535, "535 5.7.8 Authentication credentials invalid"),
              MailboxFailure::Permanent);
    EXPECT_EQ(classifySmtpReply(550, "550 5.1.1 No such user"), MailboxFailure::Permanent);
    EXPECT_EQ(classifySmtpReply(554, "554 5.7.1 Message rejected as spam"), MailboxFailure::Spam);
}

TEST(MailboxFailureKind, MailboxAnswersByTheirResponseCode) {
    EXPECT_EQ(classifyMailboxAnswer("-ERR [IN-USE] Mailbox locked by another session"),
              MailboxFailure::Transient);
    EXPECT_EQ(classifyMailboxAnswer("-ERR [SYS/TEMP] Try again"), MailboxFailure::Transient);
    EXPECT_EQ(classifyMailboxAnswer("a1 NO [UNAVAILABLE] Backend down"), MailboxFailure::Transient);
    EXPECT_EQ(classifyMailboxAnswer("a1 NO [LIMIT] Too many connections"), MailboxFailure::Limit);
    EXPECT_EQ(classifyMailboxAnswer("-ERR [AUTH] Authentication failed."),
              MailboxFailure::Permanent);
    EXPECT_EQ(classifyMailboxAnswer("-ERR no such message"), MailboxFailure::Permanent);
}

TEST(MailboxFailureKind, ConnectionsThatBrokeMayBeTriedAgain) {
    EXPECT_EQ(classifyConnectionError(kErrorConnectionReset, ""), MailboxFailure::Transient);
    EXPECT_EQ(classifyConnectionError(kErrorTimedOut, ""), MailboxFailure::Transient);
    EXPECT_EQ(classifyConnectionError(kErrorConnectionRefused, ""), MailboxFailure::Transient);
    EXPECT_EQ(classifyConnectionError(kSocketOk, ""), MailboxFailure::Transient);
    EXPECT_EQ(classifyConnectionError(kErrorInvalidArgument, ""), MailboxFailure::Permanent);
    EXPECT_EQ(classifyConnectionError(kErrorSecureChannel, "TLS: the handshake broke off"),
              MailboxFailure::Transient);
    EXPECT_EQ(classifyConnectionError(kErrorSecureChannel,
                                      "TLS: the server's certificate was refused (expired)"),
              MailboxFailure::Permanent);
    EXPECT_TRUE(isRetryable(MailboxFailure::Limit));
    EXPECT_FALSE(isRetryable(MailboxFailure::Spam));
    EXPECT_FALSE(isRetryable(MailboxFailure::None));
}

}  // namespace
}  // namespace parvola
