// A mail composed and sent by our SMTP client, read back by our own POP3
// client and MIME reader through the real mail server.
#include <gtest/gtest.h>

#include "mail/mime_reader_text.h"
#include "mail/pop3_connection.h"
#include "mail/smtp_client.h"
#include "mail/smtp_message.h"
#include "tests/support/mail_stack.h"
#include "tests/support/temp_dir.h"

namespace parvola::test {
namespace {

TEST(SmtpPop3Cross, PieceMailReadsBackWithSubjectNameAndBytes) {
    ASSERT_TRUE(MailStack::running());
    const std::string user = MailStack::uniqueUser("smtpx");
    const std::string password = "pw" + user;
    ASSERT_TRUE(MailStack::addUser(user, password));
    const std::string address = user + "@sina.test";

    TempDir dir;
    const std::string fileName = "年度报告.tar.gz";
    const std::string bytes = randomBytes(7 * 1024 * 1024 + 1, 99);
    writeFile(dir / fileName, bytes);
    const std::string subject = "文件 " + fileName + " 第1片";

    // Shaped like a stored piece: plain and HTML text, the file, to oneself.
    SmtpMessage message;
    message.setSender(SmtpAddress(address, address));
    message.setRecipient(SmtpAddress(address, address));
    message.setSubject(subject);
    message.addBody(SmtpMessageBody("Stored piece.", "text/plain", "iso-8859-1"));
    message.addBody(
        SmtpMessageBody("<html><body>" + subject + "</body></html>@", "text/html", "iso-8859-1"));
    message.addFile(SmtpFilePart((dir / fileName).string(), "", false, "", "iso-8859-1"));

    SmtpClient smtp;
    smtp.setPort(MailStack::smtpPort());
    smtp.setCredentials(user, password);
    ASSERT_EQ(smtp.Connect("127.0.0.1"), 1) << smtp.lastReply();
    ASSERT_EQ(smtp.SendMessage(message, -1), 0) << smtp.lastReply();
    smtp.Close();

    Pop3Connection pop3;
    ASSERT_TRUE(pop3.Connect("127.0.0.1", user, password, MailStack::pop3Port()))
        << pop3.lastReply();
    int count = 0;
    int total = 0;
    ASSERT_TRUE(pop3.Statistics(count, total));
    ASSERT_EQ(count, 1);
    std::string header;
    ASSERT_TRUE(pop3.GetMessageHeader(1, header));
    EXPECT_EQ(MimeMessageText(header).GetSubject(), subject);

    TempDir out;
    EXPECT_EQ(pop3.SaveAttachments(1, out.str()), 0);
    pop3.Disconnect();
    ASSERT_TRUE(std::filesystem::exists(out / fileName));
    EXPECT_TRUE(readFile(out / fileName) == bytes);
}

}  // namespace
}  // namespace parvola::test
