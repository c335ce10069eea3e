// The store mail over TLS with the real mail server, and the reason for a
// failure handed back for the worker to show.
#include <gtest/gtest.h>

#include "mail/pop3_connection.h"
#include "tests/support/mail_stack.h"
#include "tests/support/temp_dir.h"
#include "transfer/store_mail.h"

namespace parvola {
namespace {

MailboxAccount secureAccount(const std::string& user) {
    MailboxAccount account;
    account.mailboxAddress = user + "@sina.test";
    account.mailboxUser = user;
    account.mailboxPassword = "pw";
    account.smtpHost = "127.0.0.1";
    account.smtpPort = test::MailStack::smtpsPort();
    account.smtpTls = {TlsMode::Implicit, test::MailStack::caFile()};
    return account;
}

TEST(StoreMailTls, SentOverTlsAndTheFailureReasonComesBack) {
    const std::string user = test::MailStack::uniqueUser("storetls");
    ASSERT_TRUE(test::MailStack::addUser(user, "pw"));
    std::string failure = "stale";
    StoreMail mail;
    mail.subject = "secure store mail";
    mail.bodyText = mail.subject;
    MailboxAccount account = secureAccount(user);
    ASSERT_EQ(SendStoreMail(account, mail, &failure), 0);
    EXPECT_EQ(failure, "");

    account.smtpTls.caFile.clear();  // nothing vouches for the test CA now
    EXPECT_EQ(SendStoreMail(account, mail, &failure), -1);
    EXPECT_NE(failure.find("certificate was refused"), std::string::npos) << failure;

    // A store goes from the mailbox to itself: an address the login does not
    // own is refused as the sender, in the server's own words.
    account = secureAccount(user);
    account.mailboxAddress = "nobody-here@sina.test";
    EXPECT_EQ(SendStoreMail(account, mail, &failure), 553);
    EXPECT_NE(failure.find("553 5.7.1"), std::string::npos) << failure;

    Pop3Connection pop3;
    pop3.setTls({TlsMode::Implicit, test::MailStack::caFile()});
    ASSERT_TRUE(pop3.Connect("127.0.0.1", user, "pw", test::MailStack::pop3sPort()));
    int count = 0, total = 0;
    ASSERT_TRUE(pop3.Statistics(count, total));
    EXPECT_EQ(count, 1);
    EXPECT_TRUE(pop3.Disconnect());
}

}  // namespace
}  // namespace parvola
