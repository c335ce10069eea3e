// The text sent while the file is read must be the very bytes the whole-text
// composer produced: the same headers, boundaries and base64 lines, for any
// block size the sender reads in. The file's lines are checked against the
// whole file encoded at once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/base64.h"
#include "mail/mime_composer_encoding.h"
#include "mail/smtp_message.h"
#include "mail/store_mail.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

void fixClock(SmtpMessage& m) {
    m.setTicks([] { return 0x0BADF00Dul; });
    std::tm date{};
    date.tm_mday = 10;
    date.tm_mon = 11;
    date.tm_year = 126;
    date.tm_wday = 4;
    m.setDate(date, 800);
}

SmtpMessage storeMessage(const std::string& path) {
    StoreMail mail;
    mail.subject = "PARVOL:;x;1;2;3;0000000000;1;1";
    mail.bodyText = mail.subject;
    mail.attachmentPath = path;
    SmtpMessage m = composeStoreMail(mail, "me@sina.test");
    fixClock(m);
    return m;
}

std::string readInBlocks(ComposedText& text, size_t block) {
    std::string out;
    std::vector<char> buffer(block);
    for (;;) {
        const long got = text.read(buffer.data(), buffer.size());
        EXPECT_GE(got, 0);
        if (got <= 0)
            break;
        out.append(buffer.data(), static_cast<size_t>(got));
    }
    return out;
}

struct Case {
    const char* name;
    size_t size;
};

TEST(ComposedText, StreamedStoreMailIsTheWholeTextByteForByte) {
    test::TempDir dir("parvola-composed");
    const Case cases[] = {
        {"empty.bin", 0},
        {"一.bin", 1},
        {"资料 文件.dat", 2},
        {"line.bin", 57},
        {"slice.bin", 57 * 1024},
        {"slices.bin", 57 * 1024 * 3},
        {"中文名字.zip", 57 * 1024 + 1},
        {"odd.bin", 1000003},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = (dir / c.name).string();
        test::writeFile(path, test::randomBytes(c.size, static_cast<unsigned>(c.size)));
        std::string whole;
        SmtpMessage reference = storeMessage(path);
        reference.GetMessageText(whole);
        // The file's part ends the mail: its header, a blank line, the whole
        // file in 76-character lines, the closing boundary.
        const std::string bytes = test::randomBytes(c.size, static_cast<unsigned>(c.size));
        std::string lines;
        base64AppendWrapped(bytes, kMimeLineLimit, lines);
        const std::string tail =
            "\r\n\r\n" + lines + "\r\n--CSmtpMsgPart123X456_000_0BADF00D--\r\n";
        ASSERT_GE(whole.size(), tail.size());
        EXPECT_TRUE(whole.compare(whole.size() - tail.size(), tail.size(), tail) == 0);
        for (const size_t block : {size_t{1}, size_t{7}, size_t{4096}, size_t{103424}}) {
            if (block == 1 && c.size > 60000)
                continue;
            SmtpMessage streamed = storeMessage(path);
            ComposedText text = streamed.composeText();
            EXPECT_EQ(text.size(), whole.size());
            const std::string got = readInBlocks(text, block);
            ASSERT_EQ(got.size(), whole.size()) << "block " << block;
            EXPECT_TRUE(got == whole) << "block " << block;
            // Read again from the start, as an APPEND repeated after CREATE.
            ASSERT_TRUE(text.rewind());
            std::string again;
            ASSERT_TRUE(text.readAll(again));
            EXPECT_TRUE(again == whole);
        }
    }
}

TEST(ComposedText, AFileCutShortWhileSendingFailsTheReadInsteadOfSendingLess) {
    test::TempDir dir("parvola-composed");
    const std::string path = (dir / "shrinks.bin").string();
    test::writeFile(path, test::randomBytes(300000, 5));
    SmtpMessage m = storeMessage(path);
    ComposedText text = m.composeText();
    test::writeFile(path, test::randomBytes(1000, 5));
    std::string out;
    EXPECT_FALSE(text.readAll(out));
}

TEST(ComposedText, UnreadableFileLeavesThePartOutAsTheWholeTextDoes) {
    test::TempDir dir("parvola-composed");
    SmtpMessage a = storeMessage((dir / "missing.bin").string());
    SmtpMessage b = storeMessage((dir / "missing.bin").string());
    std::string whole, streamed;
    a.GetMessageText(whole);
    ComposedText text = b.composeText();
    ASSERT_TRUE(text.readAll(streamed));
    EXPECT_EQ(streamed, whole);
    EXPECT_EQ(whole.find("Content-Disposition"), std::string::npos);
}

}  // namespace
}  // namespace parvola
