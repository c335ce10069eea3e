// The store mail over TLS with the real mail server, and the reason for a
// failure handed back for the worker to show.
#include <gtest/gtest.h>

#include "mail/pop3_connection.h"
#include "tests/support/mail_stack.h"
#include "tests/support/temp_dir.h"
#include "transfer/store_mail.h"

namespace parvola {
namespace {

StoreMail storeMailFor(const std::string& user) {
    StoreMail mail;
    mail.smtpHost = "127.0.0.1";
    mail.smtpPort = test::MailStack::smtpsPort();
    mail.smtpTls = {TlsMode::Implicit, test::MailStack::caFile()};
    mail.userName = user;
    mail.password = "pw";
    mail.subject = "secure store mail";
    mail.bodyText = mail.subject;
    mail.sender = user + "@sina.test";
    mail.recipient = mail.sender;
    return mail;
}

TEST(StoreMailTls, SentOverTlsAndTheFailureReasonComesBack) {
    const std::string user = test::MailStack::uniqueUser("storetls");
    ASSERT_TRUE(test::MailStack::addUser(user, "pw"));
    std::string failure = "stale";
    StoreMail mail = storeMailFor(user);
    mail.failureReply = &failure;
    ASSERT_EQ(SendStoreMail(mail), 0);
    EXPECT_EQ(failure, "");

    mail.smtpTls.caFile.clear();  // nothing vouches for the test CA now
    EXPECT_EQ(SendStoreMail(mail), -1);
    EXPECT_NE(failure.find("certificate was refused"), std::string::npos) << failure;

    mail = storeMailFor(user);
    mail.failureReply = &failure;
    mail.recipient = "nobody-here@sina.test";  // the server refuses the recipient
    EXPECT_EQ(SendStoreMail(mail), 550);
    EXPECT_NE(failure.find("550 5.1.1"), std::string::npos) << failure;

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
