// The piece digest with the real mail server: a store mail carries the
// SHA-256 of its piece and reads back; the same mail changed in the server's
// Maildir is refused with a message that says so, and no file is left.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "mail/mime_reader_text.h"
#include "mail/piece_digest.h"
#include "mail/pop3_connection.h"
#include "tests/support/mail_stack.h"
#include "tests/support/temp_dir.h"
#include "transfer/store_mail.h"

namespace parvola {
namespace {

namespace fs = std::filesystem;
using test::MailStack;

// The one message file of the user's Maildir.
fs::path storedMessage(const std::string& user) {
    fs::path found;
    for (const char* sub : {"new", "cur"}) {
        const fs::path dir = fs::path(MailStack::maildir(user)) / sub;
        if (!fs::is_directory(dir))
            continue;
        for (const auto& entry : fs::directory_iterator(dir))
            found = entry.path();
    }
    return found;
}

// Changes one character of the attachment's first base64 line, in place
// (same length, same file), as a damaged relay or store might.
bool damageAttachment(const fs::path& message) {
    std::string text = test::readFile(message);
    const size_t disposition = text.find("filename=\"2");
    // Dovecot keeps messages with bare line feeds in its Maildir.
    const size_t body = text.find("\n\n", disposition == std::string::npos ? 0 : disposition);
    if (disposition == std::string::npos || body == std::string::npos)
        return false;
    char& c = text[body + 2 + 10];
    c = c == 'A' ? 'B' : 'A';
    std::fstream file(message, std::ios::in | std::ios::out | std::ios::binary);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(file);
}

int readBack(const std::string& user, const fs::path& folder, std::string& lastReply) {
    Pop3Connection pop3;
    if (!pop3.Connect("127.0.0.1", user, "pw", MailStack::pop3Port()))
        return -100;
    int count = 0, total = 0;
    if (!pop3.Statistics(count, total) || count != 1)
        return -101;
    const int result = pop3.SaveAttachments(1, folder.string());
    lastReply = pop3.lastReply();
    pop3.Disconnect();
    return result;
}

TEST(PieceDigestMailbox, StoredPieceCarriesItsDigestAndAChangedOneIsRefused) {
    ASSERT_TRUE(MailStack::running());
    const std::string user = MailStack::uniqueUser("digest");
    ASSERT_TRUE(MailStack::addUser(user, "pw"));
    test::TempDir dir;
    const std::string bytes = test::randomBytes(120 * 1024 + 5, 21);
    test::writeFile(dir / "2", bytes);

    StoreMail mail;
    mail.smtpHost = "127.0.0.1";
    mail.smtpPort = MailStack::smtpPort();
    mail.userName = user;
    mail.password = "pw";
    mail.subject = "PARVOL:;data.bin;9;1256450000;122885;0000000000;1;2";
    mail.bodyText = mail.subject;
    mail.sender = mail.recipient = user + "@sina.test";
    mail.attachmentPath = (dir / "2").string();
    ASSERT_EQ(SendStoreMail(mail), 0);

    const fs::path stored = storedMessage(user);
    ASSERT_FALSE(stored.empty());
    std::string raw;
    for (char c : test::readFile(stored)) {  // the Maildir's bare line feeds as on the wire
        if (c == '\n')
            raw += '\r';
        raw += c;
    }
    const MimeMessageText text(raw);
    EXPECT_EQ(text.GetHeaderField(kPieceDigestHeader, 0), sha256Hex(bytes));
    EXPECT_EQ(text.GetSubject(), mail.subject);

    std::string reply;
    test::TempDir good;
    EXPECT_EQ(readBack(user, good.path(), reply), 0) << reply;
    EXPECT_TRUE(test::readFile(good / "2") == bytes);

    ASSERT_TRUE(damageAttachment(storedMessage(user)));
    test::TempDir bad;
    EXPECT_EQ(readBack(user, bad.path(), reply), -1);
    EXPECT_FALSE(fs::exists(bad / "2"));
    EXPECT_NE(reply.find("The piece 2 read back differs from the piece that was stored"),
              std::string::npos)
        << reply;
}

}  // namespace
}  // namespace parvola
