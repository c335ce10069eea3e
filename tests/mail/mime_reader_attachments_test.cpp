#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "mail/pop3_connection.h"
#include "mail/progress_sink.h"
#include "tests/mail/pop3_script.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

namespace fs = std::filesystem;
using test::ScriptedPeer;

// Base64 in 76-character lines, written here independently of the program's
// own encoder.
std::string base64Lines(const std::string& bytes) {
    static const char* alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string flat;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            v |= static_cast<unsigned char>(bytes[i + 2]);
        flat += alphabet[(v >> 18) & 63];
        flat += alphabet[(v >> 12) & 63];
        flat += i + 1 < bytes.size() ? alphabet[(v >> 6) & 63] : '=';
        flat += i + 2 < bytes.size() ? alphabet[v & 63] : '=';
    }
    std::string out;
    for (size_t i = 0; i < flat.size(); i += 76)
        out += flat.substr(i, 76) + "\r\n";
    return out;
}

// A file part as the program's composer writes it: the disposition over two
// lines and the filename quotation left open.
std::string filePart(const std::string& name, const std::string& bytes,
                     const std::string& disposition =
                         "Content-Disposition: attachment;\r\n"
                         "\tfilename=\"") {
    return "Content-Type: application/octet-stream;\r\n\tname=\"" + name +
           "\"\r\nContent-Transfer-Encoding: base64\r\n" + disposition + name + "\r\n\r\n" +
           base64Lines(bytes);
}

std::string storeMail(const std::vector<std::string>& fileParts,
                      const std::string& contentType = "multipart/mixed;\r\n\tboundary=\"OUT\"") {
    std::string mail =
        "From: <a@sina.test>\r\nTo: <a@sina.test>\r\nSubject: piece\r\nMIME-Version: 1.0\r\n"
        "Content-Type: " +
        contentType +
        "\r\n\r\nThis is a multipart message in MIME format\r\n\r\n--OUT\r\n"
        "Content-Type: multipart/alternative;\r\n\tboundary=\"IN\"\r\n\r\n\r\n--IN\r\n"
        "Content-Type: text/plain;\r\n\tcharset=\"iso-8859-1\"\r\n"
        "Content-Transfer-Encoding: 7bit\r\n\r\nA stored piece.\r\n--IN\r\n"
        "Content-Type: text/html;\r\n\tcharset=\"iso-8859-1\"\r\n"
        "Content-Transfer-Encoding: 7bit\r\n\r\n<html><body>x</body></html>@\r\n--IN--\r\n\r\n";
    for (const auto& part : fileParts)
        mail += "--OUT\r\n" + part;
    return mail + "--OUT--\r\n";
}

std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        names.push_back(fs::relative(entry.path(), folder).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Every test keeps scratch files in a folder of its own, to see them go.
struct ReaderTest : ::testing::Test {
    test::TempDir scratch{"parvola-scratch"};
    test::ScopedEnv tmpdir{"TMPDIR", scratch.str()};
    test::TempDir root{"parvola-reader"};
    fs::path target = root.path() / "a" / "b" / "target";

    void SetUp() override { fs::create_directories(target); }

    // Serves `mail` as message 1 and runs SaveAttachments into `folder`.
    int save(const std::string& mail, const fs::path& folder) {
        ScriptedPeer peer;
        test::scriptLogin(peer);
        test::scriptRetrieve(peer, mail);
        test::scriptQuit(peer);
        Pop3Connection pop3;
        pop3.setTimeout(std::chrono::milliseconds(5000));
        EXPECT_TRUE(pop3.Connect("127.0.0.1", "bob", "secret", peer.start()));
        const int result = pop3.SaveAttachments(1, folder.string());
        EXPECT_TRUE(pop3.Disconnect());
        EXPECT_EQ(peer.finish(), "");
        EXPECT_TRUE(fs::is_empty(scratch.path())) << "scratch file left behind";
        return result;
    }
};

TEST_F(ReaderTest, ComposerShapedMailWritesExactlyTheOneFile) {
    const std::string bytes = test::randomBytes(100000, 7);
    EXPECT_EQ(save(storeMail({filePart("report.pdf.001", bytes)}), target), 0);
    EXPECT_EQ(filesIn(target), std::vector<std::string>{"report.pdf.001"});
    EXPECT_EQ(test::readFile(target / "report.pdf.001"), bytes);
}

TEST_F(ReaderTest, Gb18030FileNameIsWrittenInUtf8) {
    EXPECT_EQ(save(storeMail({filePart("\xb2\xe2\xca\xd4.txt", "abc")}), target), 0);
    EXPECT_EQ(test::readFile(target / "测试.txt"), "abc");
}

TEST_F(ReaderTest, SingleLineQuotedNameKeepsItsClosingQuote) {
    const std::string part =
        "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
        "Content-Disposition: attachment; filename=\"a.txt\"\r\n\r\n" +
        base64Lines("quoted");
    EXPECT_EQ(save(storeMail({part}), target), 0);
    EXPECT_EQ(filesIn(target), std::vector<std::string>{"a.txt\""});
    EXPECT_EQ(test::readFile(target / "a.txt\""), "quoted");
}

TEST_F(ReaderTest, PartLoopIgnoresLetterCaseButTheFirstPartCheckDoesNot) {
    // Mails with the attachment as the very first part.
    auto firstPartMail = [](const std::string& disposition) {
        return "Subject: x\r\nContent-Type: multipart/mixed; boundary=\"OUT\"\r\n\r\n--OUT\r\n" +
               filePart("first.bin", "first", disposition) + "--OUT\r\n" +
               filePart("second.bin", "second",
                        "content-disposition: ATTACHMENT;\r\n\tFILENAME=\"") +
               "--OUT--\r\n";
    };
    EXPECT_EQ(save(firstPartMail("Content-Disposition: attachment;\r\n\tfilename=\""), target), 0);
    EXPECT_EQ(filesIn(target), (std::vector<std::string>{"first.bin", "second.bin"}));
    EXPECT_EQ(test::readFile(target / "second.bin"), "second");

    fs::remove_all(target);
    fs::create_directories(target);
    // The first part's check is exact: in other letters it is skipped as text.
    EXPECT_EQ(save(firstPartMail("CONTENT-DISPOSITION: attachment;\r\n\tfilename=\""), target), 0);
    EXPECT_EQ(filesIn(target), std::vector<std::string>{"second.bin"});
}

TEST_F(ReaderTest, OnlyMultipartMixedWithAQuotedBoundaryWritesFiles) {
    const std::string part = filePart("x.bin", "data");
    EXPECT_EQ(save(storeMail({part}, "multipart/mixed; boundary=OUT"), target), 0);
    EXPECT_EQ(save(storeMail({part}, "MULTIPART/MIXED;\r\n\tboundary=\"OUT\""), target), 0);
    EXPECT_EQ(save(storeMail({part}, "multipart/related;\r\n\tboundary=\"OUT\""), target), 0);
    EXPECT_EQ(save("Subject: plain\r\nContent-Type: text/plain\r\n\r\nhello\r\n", target), 0);
    EXPECT_TRUE(filesIn(target).empty());
}

TEST_F(ReaderTest, HostileNamesStayInsideTheTargetFolder) {
    const std::string mail = storeMail({
        filePart("../../x", "one"),
        filePart("/tmp/parvola-absolute-name-test", "two"),
        filePart("a\\..\\b", "three"),
        filePart("..", "four"),
        filePart("sub/../../..", "five"),
        filePart("ok.bin", "six"),
    });
    ASSERT_FALSE(fs::exists("/tmp/parvola-absolute-name-test"));
    EXPECT_EQ(save(mail, target), 0);
    EXPECT_EQ(
        filesIn(root.path()),
        (std::vector<std::string>{"a", "a/b", "a/b/target", "a/b/target/b", "a/b/target/ok.bin",
                                  "a/b/target/parvola-absolute-name-test", "a/b/target/x"}));
    EXPECT_EQ(test::readFile(target / "x"), "one");
    EXPECT_EQ(test::readFile(target / "parvola-absolute-name-test"), "two");
    EXPECT_EQ(test::readFile(target / "b"), "three");
    EXPECT_EQ(test::readFile(target / "ok.bin"), "six");
    EXPECT_FALSE(fs::exists("/tmp/parvola-absolute-name-test"));
}

TEST_F(ReaderTest, UnwritableFolderSkipsTheFilesAndStillSucceeds) {
    EXPECT_EQ(save(storeMail({filePart("x.bin", "data")}), target / "missing"), 0);
    EXPECT_TRUE(filesIn(target).empty());
}

TEST_F(ReaderTest, FailedRetrievalReturnsItsResultAndLeavesNoScratchFile) {
    ScriptedPeer peer;
    test::scriptLogin(peer)
        .expectLine("LIST 1\r\n")
        .reply("+OK 1 100\r\n")
        .expectLine("RETR 1\r\n")
        .reply("-ERR no such message\r\n");
    test::scriptQuit(peer);
    Pop3Connection pop3;
    pop3.setTimeout(std::chrono::milliseconds(5000));
    ASSERT_TRUE(pop3.Connect("127.0.0.1", "bob", "secret", peer.start()));
    EXPECT_EQ(pop3.SaveAttachments(1, target.string()), Pop3Connection::kRetrievalFailed);
    EXPECT_TRUE(pop3.Disconnect());
    EXPECT_EQ(peer.finish(), "");
    EXPECT_TRUE(fs::is_empty(scratch.path()));
    EXPECT_TRUE(filesIn(target).empty());
}

TEST_F(ReaderTest, ConcurrentDownloadsDoNotShareAScratchFile) {
    constexpr int kDownloads = 4;
    std::vector<std::string> contents;
    std::vector<std::unique_ptr<ScriptedPeer>> peers;
    for (int i = 0; i < kDownloads; ++i) {
        contents.push_back(test::randomBytes(600000 + i * 1000, 100 + i));
        peers.push_back(std::make_unique<ScriptedPeer>());
        test::scriptLogin(*peers.back());
        test::scriptRetrieve(*peers.back(),
                             storeMail({filePart("piece" + std::to_string(i), contents.back())}));
        test::scriptQuit(*peers.back());
    }
    std::vector<int> results(kDownloads, 99);
    std::vector<std::thread> threads;
    for (int i = 0; i < kDownloads; ++i) {
        threads.emplace_back([&, i] {
            Pop3Connection pop3;
            pop3.setTimeout(std::chrono::milliseconds(10000));
            if (pop3.Connect("127.0.0.1", "bob", "secret", peers[i]->start())) {
                results[i] = pop3.SaveAttachments(1, target.string());
            }
            pop3.Disconnect();
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (int i = 0; i < kDownloads; ++i) {
        EXPECT_EQ(results[i], 0);
        EXPECT_EQ(peers[i]->finish(), "");
        EXPECT_TRUE(test::readFile(target / ("piece" + std::to_string(i))) == contents[i])
            << "piece " << i << " differs";
    }
    EXPECT_TRUE(fs::is_empty(scratch.path()));
}

}  // namespace
}  // namespace parvola

namespace parvola {
namespace {

struct RecordingSink : ProgressSink {
    struct Report {
        int taskId;
        float percent;
        long speed;
        bool finished;
    };
    void report(int taskId, float percent, long bytesPerSecond, bool finished) override {
        reports.push_back({taskId, percent, bytesPerSecond, finished});
    }
    std::vector<Report> reports;
};

// Serves message 1 in `segments` separate pieces.
void scriptSegmentedRetrieve(test::ScriptedPeer& peer, const std::string& mail, int segments) {
    const std::string reply = "+OK\r\n" + test::multiLine(mail);
    std::vector<std::string> pieces;
    const size_t step = reply.size() / static_cast<size_t>(segments) + 1;
    for (size_t at = 0; at < reply.size(); at += step)
        pieces.push_back(reply.substr(at, step));
    test::scriptLogin(peer)
        .expectLine("LIST 1\r\n")
        .reply("+OK 1 " + std::to_string(mail.size()) + "\r\n")
        .expectLine("RETR 1\r\n")
        .replySegments(pieces, std::chrono::milliseconds(15));
    test::scriptQuit(peer);
}

TEST(MimeReaderProgress, DownloadReportsPercentAndSpeedToItsTask) {
    test::TempDir target("parvola-progress");
    const std::string bytes = test::randomBytes(20000, 9);
    const std::string mail = storeMail({filePart("p.bin", bytes)});
    test::ScriptedPeer peer;
    scriptSegmentedRetrieve(peer, mail, 14);

    Pop3Connection pop3;
    // Reports start once the clock has left the second the connection began in.
    const std::time_t began = std::time(nullptr);
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::time(nullptr) == began && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pop3.setTimeout(std::chrono::milliseconds(5000));
    ASSERT_TRUE(pop3.Connect("127.0.0.1", "bob", "secret", peer.start()));
    RecordingSink sink;
    EXPECT_EQ(pop3.DownloadAttachments(1, target.str(), 77, &sink), 0);
    EXPECT_TRUE(pop3.Disconnect());
    EXPECT_EQ(peer.finish(), "");
    EXPECT_EQ(test::readFile(target / "p.bin"), bytes);

    ASSERT_FALSE(sink.reports.empty());
    float last = -1;
    for (const auto& report : sink.reports) {
        EXPECT_EQ(report.taskId, 77);
        EXPECT_FALSE(report.finished);
        EXPECT_GE(report.percent, last);
        EXPECT_LE(report.percent, 100.0f);
        EXPECT_GT(report.speed, 0);
        last = report.percent;
    }
}

TEST(MimeReaderProgress, ADownloadWithinItsFirstSecondReportsToo) {
    test::TempDir target("parvola-progress");
    const std::string bytes = test::randomBytes(20000, 10);
    const std::string mail = storeMail({filePart("p.bin", bytes)});
    test::ScriptedPeer peer;
    scriptSegmentedRetrieve(peer, mail, 14);
    Pop3Connection pop3;
    pop3.setTimeout(std::chrono::milliseconds(5000));
    ASSERT_TRUE(pop3.Connect("127.0.0.1", "bob", "secret", peer.start()));
    RecordingSink sink;
    EXPECT_EQ(pop3.DownloadAttachments(1, target.str(), 78, &sink), 0);
    EXPECT_TRUE(pop3.Disconnect());
    EXPECT_EQ(peer.finish(), "");
    // A fast link brings a piece before a second has passed: its progress
    // shows all the same.
    ASSERT_GE(sink.reports.size(), 2u);
    EXPECT_GT(sink.reports.back().percent, sink.reports.front().percent);
}

TEST(MimeReaderProgress, NoTaskMeansNoReports) {
    test::TempDir target("parvola-progress");
    const std::string mail = storeMail({filePart("p.bin", test::randomBytes(20000, 9))});
    test::ScriptedPeer peer;
    scriptSegmentedRetrieve(peer, mail, 14);
    Pop3Connection pop3;
    pop3.setTimeout(std::chrono::milliseconds(5000));
    ASSERT_TRUE(pop3.Connect("127.0.0.1", "bob", "secret", peer.start()));
    RecordingSink sink;
    pop3.setProgress(&sink, -1);
    EXPECT_EQ(pop3.SaveAttachments(1, target.str()), 0);
    EXPECT_TRUE(pop3.Disconnect());
    EXPECT_EQ(peer.finish(), "");
    EXPECT_TRUE(sink.reports.empty());
}

}  // namespace
}  // namespace parvola
