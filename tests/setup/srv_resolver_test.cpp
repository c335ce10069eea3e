#include "setup/srv_resolver.h"

#include <gtest/gtest.h>

#include <string>

namespace parvola {
namespace {

// A DNS reply as a server sends it: header, the question, then the answers
// (the second target compressed as a pointer to the question's domain).
class Reply {
  public:
    explicit Reply(int answers) {
        bytes_ = {0x12, 0x34, char(0x81), char(0x80), 0, 1, 0, char(answers), 0, 0, 0, 0};
        name("_imaps._tcp.example.org");
        word(33);  // SRV
        word(1);   // IN
    }
    void srv(int type, int priority, int weight, int port, const std::string& target,
             bool pointerToQuestionDomain = false) {
        bytes_ += {char(0xC0), 12};  // the question's name
        word(type);
        word(1);
        bytes_ += std::string(4, '\0');  // TTL
        std::string rdata;
        Reply data(0);
        data.bytes_.clear();
        data.word(priority);
        data.word(weight);
        data.word(port);
        if (pointerToQuestionDomain) {
            data.bytes_ += "\x04mail";
            data.bytes_ += {char(0xC0), char(12 + 12)};  // "example.org" in the question
        } else {
            data.name(target);
        }
        word(static_cast<int>(data.bytes_.size()));
        bytes_ += data.bytes_;
    }
    const std::string& bytes() const { return bytes_; }

  private:
    void word(int value) { bytes_ += {char(value >> 8), char(value & 0xFF)}; }
    void name(const std::string& dotted) {
        size_t start = 0;
        while (start < dotted.size()) {
            size_t end = dotted.find('.', start);
            if (end == std::string::npos)
                end = dotted.size();
            bytes_ += char(end - start);
            bytes_ += dotted.substr(start, end - start);
            start = end + 1;
        }
        bytes_ += '\0';
    }
    std::string bytes_;
};

std::vector<SrvRecord> parse(const std::string& bytes) {
    return parseSrvAnswer(reinterpret_cast<const unsigned char*>(bytes.data()),
                          static_cast<int>(bytes.size()));
}

TEST(SrvAnswer, RecordsSortedByPriorityThenWeightWithoutTheNotOfferedOnes) {
    Reply reply(4);
    reply.srv(33, 20, 0, 993, "backup.example.org");
    reply.srv(33, 10, 5, 993, "", true);  // mail.example.org, compressed
    reply.srv(33, 10, 60, 1993, "imap.example.org");
    reply.srv(33, 0, 0, 0, "");  // ".": not offered
    const std::vector<SrvRecord> records = parse(reply.bytes());
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].target, "imap.example.org");
    EXPECT_EQ(records[0].port, 1993);
    EXPECT_EQ(records[1].target, "mail.example.org");
    EXPECT_EQ(records[2].target, "backup.example.org");

    // Cut short anywhere, or answered with another type: nothing, no crash.
    for (size_t length = 0; length < reply.bytes().size(); ++length)
        EXPECT_LE(parse(reply.bytes().substr(0, length)).size(), 2u);
    Reply other(1);
    other.srv(1, 0, 0, 0, "x");
    EXPECT_TRUE(parse(other.bytes()).empty());
}

}  // namespace
}  // namespace parvola
