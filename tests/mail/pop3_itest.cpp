// The POP3 client and the MIME reader against the real mail server, with
// mails sent by an independent client (Python's smtplib) in the shape that
// code-page-936 Windows clients of the store write.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>
#include <algorithm>

#include "mail/mime_reader_text.h"
#include "mail/pop3_connection.h"
#include "platform/text_codec.h"
#include "tests/support/mail_stack.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

namespace fs = std::filesystem;
using test::MailStack;

// Builds one multipart/mixed mail per call and sends it with smtplib. The
// subject and the file names go out as raw GB18030 bytes, unencoded, the
// file part with its disposition over two lines and the filename quotation
// left open, as the store's mails have always been written.
constexpr const char* kSender = R"PY(
import base64, smtplib, sys
port, user, password, subject_hex = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
files = sys.argv[5:]
address = user + "@sina.test"
subject = bytes.fromhex(subject_hex)
crlf = b"\r\n"
parts = [b"Content-Type: text/plain;\r\n\tcharset=\"iso-8859-1\"\r\n"
         b"Content-Transfer-Encoding: 7bit\r\n\r\nA stored file.\r\n"]
for i in range(0, len(files), 2):
    name = bytes.fromhex(files[i])
    with open(files[i + 1], "rb") as f:
        data = f.read()
    body = base64.encodebytes(data).replace(b"\n", crlf)
    parts.append(b"Content-Type: application/octet-stream;\r\n\tname=\"" + name + b"\"\r\n"
                 b"Content-Transfer-Encoding: base64\r\n"
                 b"Content-Disposition: attachment;\r\n\tfilename=\"" + name + b"\r\n\r\n" + body)
mail = (b"From: <" + address.encode() + b">\r\nTo: <" + address.encode() + b">\r\n"
        b"Subject: " + subject + b"\r\nMIME-Version: 1.0\r\n"
        b"Content-Type: multipart/mixed;\r\n\tboundary=\"----=_NextPart_000_0001\"\r\n\r\n"
        b"This is a multipart message in MIME format\r\n\r\n")
for part in parts:
    mail += b"------=_NextPart_000_0001\r\n" + part
mail += b"------=_NextPart_000_0001--\r\n"
with smtplib.SMTP("127.0.0.1", int(port), timeout=30) as smtp:
    smtp.login(user, password)
    smtp.sendmail(address, [address], mail)
)PY";

std::string hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

struct Pop3ServerTest : ::testing::Test {
    test::TempDir work{"parvola-pop3-itest"};
    std::string user = MailStack::uniqueUser("pop");
    std::string password = "pw" + std::to_string(::getpid());

    void SetUp() override {
        ASSERT_TRUE(MailStack::running());
        ASSERT_TRUE(MailStack::addUser(user, password));
        test::writeFile(work / "send.py", kSender);
    }

    // Sends one mail with the given GB18030 subject and (name, bytes) files.
    void send(const std::string& wireSubject,
              const std::vector<std::pair<std::string, std::string>>& files) {
        std::string command = "python3 '" + (work / "send.py").string() + "' " +
                              std::to_string(MailStack::smtpPort()) + " " + user + " " + password +
                              " " + hex(wireSubject);
        int index = 0;
        for (const auto& [name, bytes] : files) {
            const fs::path data = work / ("data" + std::to_string(index++));
            test::writeFile(data, bytes);
            command += " " + hex(name) + " '" + data.string() + "'";
        }
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    bool connect(Pop3Connection& pop3) {
        pop3.setTimeout(std::chrono::milliseconds(20000));
        return pop3.Connect("127.0.0.1", user, password, MailStack::pop3Port());
    }
};

TEST_F(Pop3ServerTest, ReadsSubjectsAndAttachmentsByteForByte) {
    const std::string subject = "文件存储测试 piece 1/3";
    bool lossless = false;
    const std::string wireSubject = utf8ToWire(subject, &lossless);
    ASSERT_TRUE(lossless);
    const std::string big = test::randomBytes(3 * 1024 * 1024 + 17, 42);
    const std::string small = test::randomBytes(1000, 43);
    send(wireSubject, {{utf8ToWire("报告.pdf"), big}});
    send("plain ascii", {{"small.bin", small}});

    Pop3Connection pop3;
    ASSERT_TRUE(connect(pop3)) << pop3.lastReply();
    int count = 0, total = 0;
    ASSERT_TRUE(pop3.Statistics(count, total));
    EXPECT_EQ(count, 2);
    EXPECT_GT(total, static_cast<int>(big.size()));

    // Newest first, as the searches go.
    std::string header;
    ASSERT_TRUE(pop3.GetMessageHeader(2, header));
    EXPECT_EQ(MimeMessageText(header).GetSubject(), "plain ascii");
    ASSERT_TRUE(pop3.GetMessageHeader(1, header));
    MimeMessageText first(header);
    EXPECT_EQ(first.GetSubject(), subject);
    EXPECT_EQ(first.GetRawHeaderField("Subject"), wireSubject);
    EXPECT_EQ(first.GetContentType(), "multipart/mixed");
    EXPECT_EQ(first.GetBoundary(), "----=_NextPart_000_0001");

    const fs::path folder = work / "out";
    fs::create_directory(folder);
    EXPECT_EQ(pop3.SaveAttachments(1, folder.string()), 0);
    EXPECT_EQ(pop3.SaveAttachments(2, folder.string()), 0);
    EXPECT_TRUE(test::readFile(folder / "报告.pdf") == big) << "big attachment differs";
    EXPECT_EQ(test::readFile(folder / "small.bin"), small);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
    EXPECT_TRUE(pop3.Disconnect());
}

TEST_F(Pop3ServerTest, HostileAttachmentNamesStayInTheTargetFolder) {
    ASSERT_FALSE(fs::exists("/etc/x"));
    send("hostile", {{"../../x", "one"}, {"/etc/x", "two"}, {"a\\..\\b", "three"}});
    const fs::path target = work / "deep" / "er" / "target";
    fs::create_directories(target);

    Pop3Connection pop3;
    ASSERT_TRUE(connect(pop3)) << pop3.lastReply();
    EXPECT_EQ(pop3.SaveAttachments(1, target.string()), 0);
    EXPECT_TRUE(pop3.Disconnect());

    std::vector<std::string> written;
    for (const auto& entry : fs::recursive_directory_iterator(work / "deep")) {
        written.push_back(fs::relative(entry.path(), work / "deep").string());
    }
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"er", "er/target", "er/target/b", "er/target/x"}));
    EXPECT_EQ(test::readFile(target / "x"), "two");  // the later part wins
    EXPECT_EQ(test::readFile(target / "b"), "three");
    EXPECT_FALSE(fs::exists("/etc/x"));
    EXPECT_FALSE(fs::exists(work / "x"));
}

TEST_F(Pop3ServerTest, DeleteRemovesTheMessageAtQuit) {
    send("keep", {{"k.bin", "k"}});
    send("drop", {{"d.bin", "d"}});
    {
        Pop3Connection pop3;
        ASSERT_TRUE(connect(pop3));
        EXPECT_TRUE(pop3.Delete(2));
        EXPECT_FALSE(pop3.Delete(3));
        EXPECT_TRUE(pop3.Disconnect());
    }
    Pop3Connection pop3;
    ASSERT_TRUE(connect(pop3));
    int count = 0, total = 0;
    ASSERT_TRUE(pop3.Statistics(count, total));
    EXPECT_EQ(count, 1);
    std::string header;
    ASSERT_TRUE(pop3.GetMessageHeader(1, header));
    EXPECT_EQ(MimeMessageText(header).GetSubject(), "keep");
    EXPECT_TRUE(pop3.Disconnect());
}

TEST_F(Pop3ServerTest, WrongPasswordIsRefused) {
    Pop3Connection pop3;
    pop3.setTimeout(std::chrono::milliseconds(20000));
    EXPECT_FALSE(pop3.Connect("127.0.0.1", user, "wrong", MailStack::pop3Port()));
    EXPECT_EQ(pop3.lastError(), kErrorBadReply);
    EXPECT_EQ(pop3.lastReply().rfind("-ERR", 0), 0u) << pop3.lastReply();
    EXPECT_FALSE(pop3.isConnected());
}

}  // namespace
}  // namespace parvola
