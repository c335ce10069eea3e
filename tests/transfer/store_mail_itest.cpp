// The store mail against the real mail server: what arrives is a mail from the
// mailbox to itself whose subject and attachment read back exactly.
#include "transfer/store_mail.h"

#include <gtest/gtest.h>

#include "mail/mime_reader_text.h"
#include "mail/pop3_connection.h"
#include "tests/support/mail_stack.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

// The mailbox user@sina.test of the test server, for storing only.
MailboxAccount smtpAccount(const std::string& user, const std::string& password) {
    MailboxAccount account;
    account.mailboxAddress = user + "@sina.test";
    account.mailboxUser = user;
    account.mailboxPassword = password;
    account.smtpHost = "127.0.0.1";
    account.smtpPort = test::MailStack::smtpPort();
    return account;
}

TEST(StoreMail, ArrivesFromTheMailboxToItselfWithItsAttachment) {
    const std::string user = test::MailStack::uniqueUser("store");
    ASSERT_TRUE(test::MailStack::addUser(user, "pw"));
    const std::string address = user + "@sina.test";
    test::TempDir dir;
    const std::string bytes = test::randomBytes(300 * 1024 + 3, 5);
    test::writeFile(dir / "2", bytes);

    StoreMail mail;
    mail.subject = "PARVOL:;季度报告.doc;77;1256450000;307203;0000000000;3;2";
    mail.bodyText = mail.subject;
    mail.attachmentPath = (dir / "2").string();
    ASSERT_EQ(SendStoreMail(smtpAccount(user, "pw"), mail), 0);

    Pop3Connection pop3;
    ASSERT_TRUE(pop3.Connect("127.0.0.1", user, "pw", test::MailStack::pop3Port()));
    int count = 0, total = 0;
    ASSERT_TRUE(pop3.Statistics(count, total));
    ASSERT_EQ(count, 1);
    std::string header;
    ASSERT_TRUE(pop3.GetMessageHeader(1, header));
    MimeMessageText text(header);
    EXPECT_EQ(text.GetSubject(), mail.subject);
    EXPECT_EQ(text.GetHeaderField("From").find(address) != std::string::npos, true);
    test::TempDir out;
    ASSERT_EQ(pop3.SaveAttachments(1, out.str()), 0);
    EXPECT_TRUE(pop3.Disconnect());
    EXPECT_EQ(test::readFile(out / "2"), bytes);
}

TEST(StoreMail, WrongPasswordAndUnreachableHostFail) {
    const std::string user = test::MailStack::uniqueUser("storebad");
    ASSERT_TRUE(test::MailStack::addUser(user, "pw"));
    MailboxAccount account = smtpAccount(user, "not-it");
    StoreMail mail;
    mail.subject = mail.bodyText = "PARVOL:;a;1;1;1;0000000000;1;1";
    EXPECT_NE(SendStoreMail(account, mail), 0);

    account.smtpPort = 9;  // nothing listens there
    EXPECT_EQ(SendStoreMail(account, mail), -1);
}

}  // namespace
}  // namespace parvola
