// What the program's own composer writes, its own reader reads back: one
// file, the name given, the bytes that were sent, the subject in UTF-8.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "mail/mime_reader_text.h"
#include "mail/pop3_connection.h"
#include "mail/smtp_message.h"
#include "tests/mail/pop3_script.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

namespace fs = std::filesystem;

TEST(MimeReaderRoundTrip, ComposedPieceMailGivesBackItsOneFile) {
    test::TempDir work("parvola-roundtrip");
    const std::string bytes = test::randomBytes(150000, 11);
    const fs::path source = work / "source.bin";
    test::writeFile(source, bytes);

    SmtpMessage message;
    message.setTicks([] { return 123456ul; });
    message.setSender(SmtpAddress("a@sina.test"));
    message.setRecipient(SmtpAddress("a@sina.test"));
    message.setSubject("存储 报告.pdf 1/2");
    message.addBody(SmtpMessageBody("A stored piece.", "text/plain", "iso-8859-1", 0));
    message.addBody(SmtpMessageBody("<html><body>x</body></html>@", "text/html", "iso-8859-1", 0));
    message.addFile(SmtpFilePart(source.string(), "报告.pdf.001", false, "", "iso-8859-1", 0));
    std::string text;
    message.GetMessageText(text);

    test::ScriptedPeer peer;
    test::scriptLogin(peer);
    test::scriptRetrieve(peer, text);
    test::scriptQuit(peer);
    Pop3Connection pop3;
    pop3.setTimeout(std::chrono::milliseconds(5000));
    ASSERT_TRUE(pop3.Connect("127.0.0.1", "bob", "secret", peer.start()));
    const fs::path target = work / "target";
    fs::create_directory(target);
    EXPECT_EQ(pop3.SaveAttachments(1, target.string()), 0);
    EXPECT_TRUE(pop3.Disconnect());
    EXPECT_EQ(peer.finish(), "");

    EXPECT_EQ(std::distance(fs::directory_iterator(target), fs::directory_iterator()), 1);
    EXPECT_TRUE(test::readFile(target / "报告.pdf.001") == bytes) << "attachment differs";
    MimeMessageText read(text);
    EXPECT_EQ(read.GetSubject(), "存储 报告.pdf 1/2");
    EXPECT_EQ(read.GetContentType(), "multipart/mixed");
}

}  // namespace
}  // namespace parvola
