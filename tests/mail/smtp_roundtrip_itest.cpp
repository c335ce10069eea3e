// Mails composed and sent here, fetched and parsed by an independent client
// (Python's poplib and email) from the real mail server.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "mail/smtp_client.h"
#include "mail/smtp_message.h"
#include "tests/support/command.h"
#include "tests/support/mail_stack.h"
#include "tests/support/temp_dir.h"

namespace parvola::test {
namespace {

// Fetches the newest message of `user` and prints what the parser saw, one
// "key=value" per line; byte values are hexadecimal.
constexpr const char* kInspector = R"PY(
import hashlib, poplib, sys, email, email.header, email.message
host, port, user, password = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
pop = poplib.POP3(host, port, timeout=60)
pop.user(user); pop.pass_(password)
count, _ = pop.stat()
print("count=%d" % count)
_, lines, _ = pop.retr(count)
pop.quit()
raw = b"\r\n".join(lines) + b"\r\n"
msg = email.message_from_bytes(raw)
def raw_header(value):
    # Header values in the wire code page come back as bytes of an unknown charset.
    if value is None:
        return b""
    if isinstance(value, str):
        return value.encode("ascii", "surrogateescape")
    return b"".join(b if isinstance(b, bytes) else b.encode("ascii")
                    for b, _ in email.header.decode_header(value))
def raw_param(part, header, key):
    holder = email.message.Message()
    holder[header] = raw_header(part[header]).decode("latin-1")
    value = holder.get_param(key, header=header)
    return value.encode("latin-1") if value is not None else b""
print("subject=" + raw_header(msg["Subject"]).hex())
print("multipart=%s" % msg.is_multipart())
print("type=" + msg.get_content_type())
print("defects=%d" % len(msg.defects))
for part in msg.walk():
    print("part=" + part.get_content_type() + " defects=%d" % len(part.defects))
    if part.get_content_maintype() == "multipart":
        continue
    if part.get_param("name") is None:
        body = part.get_payload(decode=True)
        print("text=" + body.hex())
        continue
    data = part.get_payload(decode=True)
    print("filename=" + raw_param(part, "Content-Disposition", "filename").hex())
    print("name=" + raw_param(part, "Content-Type", "name").hex())
    print("encoding=" + part["Content-Transfer-Encoding"])
    print("size=%d" % len(data))
    print("sha256=" + hashlib.sha256(data).hexdigest())
)PY";

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

std::string sha256Of(const std::filesystem::path& path) {
    std::string line;
    if (runShell("sha256sum " + shellQuote(path.string()), &line) != 0)
        return {};
    return line.substr(0, 64);
}

// Runs the inspector and returns its lines (a key seen twice keeps both,
// joined by "|").
std::multimap<std::string, std::string> inspect(const TempDir& dir, const std::string& user,
                                                const std::string& password) {
    writeFile(dir / "inspect.py", kInspector);
    std::string output;
    runShell("/usr/bin/python3 " + shellQuote((dir / "inspect.py").string()) + " 127.0.0.1 " +
                 std::to_string(MailStack::pop3Port()) + " " + user + " " + password + " 2>&1",
             &output);
    std::multimap<std::string, std::string> result;
    std::istringstream lines(output);
    for (std::string text; std::getline(lines, text);) {
        const size_t eq = text.find('=');
        if (eq == std::string::npos)
            result.emplace("output", text);
        else
            result.emplace(text.substr(0, eq), text.substr(eq + 1));
    }
    return result;
}

std::string one(const std::multimap<std::string, std::string>& seen, const std::string& key) {
    const auto range = seen.equal_range(key);
    std::string joined;
    for (auto it = range.first; it != range.second; ++it)
        joined += (joined.empty() ? "" : "|") + it->second;
    return joined;
}

TEST(SmtpRoundTrip, MixedMailWithLargeBinaryFileReadsBackExactly) {
    ASSERT_TRUE(MailStack::running());
    const std::string user = MailStack::uniqueUser("smtprt");
    const std::string password = "pw" + user;
    ASSERT_TRUE(MailStack::addUser(user, password));
    const std::string address = user + "@sina.test";

    TempDir dir;
    const std::string fileName = "资料备份.第一部分.bin";
    const std::filesystem::path file = dir / fileName;
    writeFile(file, randomBytes(7 * 1024 * 1024 + 5, 2026));
    const std::string subject = "存储测试 中文主题 piece 1/1";

    SmtpMessage message;
    message.setSender(SmtpAddress(address, address));
    message.setRecipient(SmtpAddress(address, address));
    message.setSubject(subject);
    message.addBody(SmtpMessageBody("A plain explanatory paragraph.\r\n.\r\nwith a lone dot line.",
                                    "text/plain", "iso-8859-1"));
    message.addBody(
        SmtpMessageBody("<html><body>" + subject + "</body></html>@", "text/html", "iso-8859-1"));
    message.addFile(SmtpFilePart(file.string(), "", false, "", "iso-8859-1"));

    SmtpClient smtp;
    smtp.setPort(MailStack::smtpPort());
    smtp.setCredentials(user, password);
    ASSERT_EQ(smtp.Connect("127.0.0.1"), 1) << smtp.lastReply();
    ASSERT_EQ(smtp.SendMessage(message, -1), 0) << smtp.lastReply();
    smtp.Close();

    const auto seen = inspect(dir, user, password);
    EXPECT_EQ(one(seen, "output"), "");
    EXPECT_EQ(one(seen, "count"), "1");
    // Subject and file name travel in the wire code page, unencoded.
    EXPECT_EQ(one(seen, "subject"),
              hex("\xB4\xE6\xB4\xA2\xB2\xE2\xCA\xD4 \xD6\xD0\xCE\xC4\xD6\xF7\xCC\xE2 piece 1/1"));
    EXPECT_EQ(one(seen, "multipart"), "True");
    EXPECT_EQ(one(seen, "type"), "multipart/mixed");
    EXPECT_EQ(one(seen, "defects"), "0");
    EXPECT_EQ(one(seen, "part"),
              "multipart/mixed defects=0|multipart/alternative defects=0|text/plain "
              "defects=0|text/html defects=0|application/octet-stream defects=0");
    const std::string wireName =
        "\xD7\xCA\xC1\xCF\xB1\xB8\xB7\xDD.\xB5\xDA\xD2\xBB\xB2\xBF\xB7\xD6.bin";
    EXPECT_EQ(one(seen, "name"), hex(wireName));
    // The filename quotation is left open on the wire (stored mails have always
    // been written so); a standard parser therefore keeps the opening quote.
    EXPECT_EQ(one(seen, "filename"), hex("\"" + wireName));
    EXPECT_EQ(one(seen, "encoding"), "base64");
    EXPECT_EQ(one(seen, "size"), std::to_string(7 * 1024 * 1024 + 5));
    EXPECT_EQ(one(seen, "sha256"), sha256Of(file));
    // Text bodies come back as written, dot lines included.
    EXPECT_EQ(one(seen, "text"),
              hex("A plain explanatory paragraph.\r\n.\r\nwith a lone dot line.") + "|" +
                  hex("<html><body>" + subject + "</body></html>@"));
}

TEST(SmtpRoundTrip, WrongPasswordIsRefusedByTheServer) {
    ASSERT_TRUE(MailStack::running());
    const std::string user = MailStack::uniqueUser("smtpbad");
    ASSERT_TRUE(MailStack::addUser(user, "right" + user));
    SmtpClient smtp;
    smtp.setPort(MailStack::smtpPort());
    smtp.setCredentials(user, "wrong");
    // AUTH LOGIN fails inside Connect; MAIL FROM then meets 530 and the
    // bounded re-logins all fail as well.
    ASSERT_EQ(smtp.Connect("127.0.0.1"), 1);
    SmtpMessage message;
    message.setSender(SmtpAddress(user + "@sina.test"));
    message.setRecipient(SmtpAddress(user + "@sina.test"));
    message.addBody(SmtpMessageBody("x", "text/plain", "us-ascii"));
    EXPECT_EQ(smtp.SendMessage(message, -1), 530);
    smtp.Close();
}

}  // namespace
}  // namespace parvola::test
