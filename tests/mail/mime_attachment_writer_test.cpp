// The attachment writer takes the mail text in pieces that may end anywhere:
// whatever the pieces, the files and the result are those of the whole text.
// The cuts fall at every byte of mails that hold the interesting places: a
// CRLF, a dot-stuffed line, a base64 quad, a boundary line, a quoted-
// printable soft break, a line longer than the 1023-byte line limit.
#include "mail/mime_attachment_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "mail/base64.h"
#include "mail/mime_part_file.h"
#include "mail/piece_digest.h"
#include "mail/pop3_connection.h"
#include "mail/progress_sink.h"
#include "tests/mail/pop3_script.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

struct Outcome {
    int result = 99;
    std::string failure;
    Files files;
    bool operator==(const Outcome&) const = default;
};

Files filesIn(const fs::path& folder) {
    Files files;
    for (const auto& entry : fs::directory_iterator(folder))
        files[entry.path().filename().string()] = test::readFile(entry.path());
    return files;
}

// Feeds `text` cut at `cuts` (ascending offsets) into a fresh folder.
Outcome write(const std::string& text, const std::vector<size_t>& cuts) {
    test::TempDir folder("parvola-writer");
    Outcome outcome;
    {
        AttachmentWriter writer(folder.str());
        size_t at = 0;
        for (size_t cut : cuts) {
            writer.append(std::string_view(text).substr(at, cut - at));
            at = cut;
        }
        writer.append(std::string_view(text).substr(at));
        outcome.result = writer.finish(outcome.failure);
    }
    outcome.files = filesIn(folder.path());
    return outcome;
}

std::string base64Lines(const std::string& bytes) {
    std::string text;
    base64AppendWrapped(bytes, 76, text);
    return text + "\r\n";
}

const std::string kHeader =
    "Subject: piece\r\nContent-Type: multipart/mixed;\r\n\tboundary=\"B\"\r\n\r\n"
    "preamble\r\n\r\n--B\r\nContent-Type: text/plain\r\n\r\nA stored piece.\r\n";

std::string part(const std::string& name, const std::string& encoding, const std::string& body) {
    return "--B\r\nContent-Type: application/octet-stream;\r\n\tname=\"" + name +
           "\"\r\nContent-Transfer-Encoding: " + encoding +
           "\r\nContent-Disposition: attachment;\r\n\tfilename=\"" + name + "\r\n\r\n" + body;
}

// What the server sends of a text line that begins with a dot.
const std::string kLongLine(1500, 'q');

struct Sample {
    const char* what;
    std::string text;
    Files files;
};

std::vector<Sample> samples() {
    const std::string bytes = test::randomBytes(300, 5);
    std::vector<Sample> list;
    list.push_back({"base64 part",
                    kHeader + part("a.bin", "base64", base64Lines(bytes)) + "--B--\r\n",
                    {{"a.bin", bytes}}});
    // Quoted-printable: soft breaks, an encoded dot, a dot-stuffed line, a
    // line longer than the line limit, trailing blanks added in transit.
    list.push_back(
        {"quoted-printable part",
         kHeader +
             part("q.txt", "quoted-printable",
                  "soft=\r\n break =3D=\r\n\r\n..dot line\r\n=2Eencoded\r\n" + kLongLine +
                      "\r\nend  \r\n") +
             "--B--\r\n",
         {{"q.txt", "soft break =\r\n.dot line\r\n.encoded\r\n" + kLongLine + "\r\nend"}}});
    list.push_back({"7bit part and an 8bit one",
                    kHeader + part("s.txt", "7bit", "one\r\n..two\r\n...\r\n") +
                        part("e.txt", "8bit", "\xe4\xb8\xad\r\n") + "--B--\r\n",
                    {{"s.txt", "one\r\n.two\r\n.."}, {"e.txt", "\xe4\xb8\xad"}}});
    // The attachment as the first part: read again from the start.
    list.push_back({"first part is the file",
                    "Subject: x\r\nContent-Type: multipart/mixed; boundary=\"B\"\r\n\r\n" +
                        part("f.bin", "base64", base64Lines("first")) + "--B--\r\n",
                    {{"f.bin", "first"}}});
    // A base64 line longer than the line limit is read as several lines,
    // each decoded by itself, as such mails have always been read.
    std::string flat = base64Encode(test::randomBytes(900, 6));
    list.push_back(
        {"unbroken base64 line", kHeader + part("u.bin", "base64", flat + "\r\n") + "--B--", {}});
    return list;
}

// A part saved into the user's folder gets the permissions any new file
// gets there; one saved into a folder only its owner may reach (the
// application's piece folders) stays readable by its owner alone.
TEST(MimePartFileMode, FollowsTheUmaskInAnOpenFolderAndStaysPrivateInAPrivateOne) {
    test::TempDir root("parvola-part-mode");
    const mode_t mask = ::umask(022);
    for (const auto& [folderMode, expected] : {std::pair{0755u, 0644u}, std::pair{0700u, 0600u}}) {
        const std::filesystem::path folder = root / std::to_string(folderMode);
        std::filesystem::create_directory(folder);
        ::chmod(folder.c_str(), folderMode);
        MimePartFile part(folder / "piece");
        ASSERT_TRUE(part.isOpen());
        ASSERT_TRUE(part.write("bytes"));
        ASSERT_TRUE(part.close());
        ASSERT_TRUE(part.putInPlace());
        struct stat status {};
        ASSERT_EQ(::stat((folder / "piece").c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, expected) << std::oct << folderMode;
    }
    ::umask(mask);
}

TEST(AttachmentWriter, EveryCutGivesTheFilesOfTheWholeText) {
    for (auto& sample : samples()) {
        SCOPED_TRACE(sample.what);
        const Outcome whole = write(sample.text, {});
        EXPECT_EQ(whole.result, 0);
        if (!sample.files.empty()) {
            EXPECT_TRUE(whole.files == sample.files);
        } else {
            EXPECT_EQ(whole.files.size(), 1u);
        }
        for (size_t cut = 1; cut < sample.text.size(); ++cut) {
            const Outcome split = write(sample.text, {cut});
            ASSERT_TRUE(split == whole) << "cut at " << cut;
        }
        // Many small pieces at once: every byte its own piece, and pieces of 3.
        std::vector<size_t> bytes, threes;
        for (size_t at = 1; at < sample.text.size(); ++at) {
            bytes.push_back(at);
            if (at % 3 == 0)
                threes.push_back(at);
        }
        EXPECT_TRUE(write(sample.text, bytes) == whole);
        EXPECT_TRUE(write(sample.text, threes) == whole);
    }
}

TEST(AttachmentWriter, UnbrokenBase64LineDropsTheGroupCutAtEachLineLimit) {
    // 1023 characters hold 255 groups and 3 characters that are dropped.
    const std::string bytes = test::randomBytes(1200, 8);
    const std::string flat = base64Encode(bytes);
    const Outcome outcome =
        write(kHeader + part("u.bin", "base64", flat + "\r\n") + "--B--\r\n", {});
    std::string expected;
    for (size_t at = 0; at < flat.size(); at += 1023) {
        std::string line = flat.substr(at, 1023);
        line.resize(line.size() / 4 * 4);
        std::string decoded;
        base64Decode(line, decoded);
        expected += decoded;
    }
    ASSERT_EQ(outcome.files.size(), 1u);
    EXPECT_TRUE(outcome.files.at("u.bin") == expected);
}

TEST(AttachmentWriter, DigestIsCheckedOnTheBytesAsTheyAreWritten) {
    const std::string bytes = test::randomBytes(5000, 3);
    auto mail = [&](const std::string& digest) {
        return "Subject: p\r\nX-Parvola-Piece-SHA256: " + digest +
               "\r\nContent-Type: multipart/mixed; boundary=\"B\"\r\n\r\n--B\r\n"
               "Content-Type: text/plain\r\n\r\nx\r\n" +
               part("p.bin", "base64", base64Lines(bytes)) + "--B--\r\n";
    };
    const Outcome good = write(mail(sha256Hex(bytes)), {200, 4000});
    EXPECT_EQ(good.result, 0);
    EXPECT_TRUE(good.files == (Files{{"p.bin", bytes}}));

    const Outcome bad = write(mail(sha256Hex("other")), {200, 4000});
    EXPECT_EQ(bad.result, -1);
    EXPECT_TRUE(bad.files.empty());
    EXPECT_NE(bad.failure.find("The piece p.bin read back differs"), std::string::npos);
    EXPECT_NE(bad.failure.find(sha256Hex(bytes)), std::string::npos);
}

// An output that keeps what it is given and refuses the block that would
// take it past `refuseFrom` bytes.
struct KeptOutput : AttachmentOutput {
    size_t refuseFrom = std::string::npos;
    int begun = 0;
    int ended = 0;
    std::string bytes;
    bool begin() override {
        ++begun;
        bytes.clear();
        return true;
    }
    bool write(std::string_view block) override {
        if (bytes.size() + block.size() > refuseFrom)
            return false;
        bytes.append(block);
        return true;
    }
    bool end() override {
        ++ended;
        return true;
    }
};

TEST(AttachmentWriter, AnOutputGetsTheFirstAttachmentAsItIsDecodedAndTheDigestStillDecides) {
    const std::string piece = test::randomBytes(3 * 1024 * 1024 + 5, 9);
    const std::string other = test::randomBytes(700, 10);
    auto mail = [&](const std::string& digest) {
        return "Subject: p\r\nX-Parvola-Piece-SHA256: " + digest +
               "\r\nContent-Type: multipart/mixed; boundary=\"B\"\r\n\r\n--B\r\n"
               "Content-Type: text/plain\r\n\r\nx\r\n" +
               part("p.bin", "base64", base64Lines(piece)) +
               part("q.bin", "base64", base64Lines(other)) + "--B--\r\n";
    };
    auto stream = [](const std::string& text, KeptOutput& output, std::string& failure) {
        AttachmentWriter writer(output);
        for (size_t at = 0; at < text.size(); at += 65536)
            writer.append(std::string_view(text).substr(at, 65536));
        return writer.finish(failure);
    };
    const std::string good = mail(sha256Hex(piece));
    KeptOutput whole;
    std::string failure;
    EXPECT_EQ(stream(good, whole, failure), 0);
    EXPECT_EQ(failure, "");
    // The piece only, once, and all of it; the second file is read past.
    EXPECT_EQ(whole.begun, 1);
    EXPECT_EQ(whole.ended, 1);
    EXPECT_TRUE(whole.bytes == piece);

    // The output refusing a block fails the mail without a word of its own:
    // the refusal is the output's to tell.
    KeptOutput refusing;
    refusing.refuseFrom = 2 * 1024 * 1024;
    EXPECT_EQ(stream(good, refusing, failure), -1);
    EXPECT_EQ(failure, "");
    EXPECT_LE(refusing.bytes.size(), refusing.refuseFrom);
    EXPECT_EQ(refusing.ended, 0);

    // A changed mail is told as changed even when the output refused it
    // first, so that an older copy is looked for.
    KeptOutput changed;
    changed.refuseFrom = 1024 * 1024;
    EXPECT_EQ(stream(mail(sha256Hex("other")), changed, failure), -1);
    EXPECT_TRUE(isPieceDigestRefusal(failure)) << failure;
}

TEST(AttachmentWriter, TextThatNeverEndsWritesNothingAndLeavesNothing) {
    test::TempDir folder("parvola-writer");
    test::writeFile(folder / "a.bin", "before");
    {
        AttachmentWriter writer(folder.str());
        writer.append(kHeader + part("a.bin", "base64", base64Lines(std::string(5000, 'z'))));
        // No finish: the retrieval broke off.
    }
    EXPECT_TRUE(filesIn(folder.path()) == (Files{{"a.bin", "before"}}));
}

// Through the POP3 reader: a mail that breaks off, a cancelled one, and the
// listing end cut at each of its bytes.
struct StopAfter : ProgressSink {
    void report(int, float, long, bool) override {}
    bool shouldContinue(int) override { return false; }
};

TEST(AttachmentWriter, BrokenOffOrCancelledRetrievalLeavesTheFolderAsItWas) {
    const std::string mail = kHeader + part("one.bin", "base64", base64Lines("first file")) +
                             part("two.bin", "base64", base64Lines(std::string(9000, 'x'))) +
                             "--B--\r\n";
    const std::string reply = "+OK\r\n" + test::multiLine(mail);
    test::TempDir folder("parvola-writer");
    test::writeFile(folder / "one.bin", "kept");

    test::ScriptedPeer closing;
    test::scriptLogin(closing)
        .expectLine("LIST 1\r\n")
        .reply("+OK 1 " + std::to_string(mail.size()) + "\r\n")
        .expectLine("RETR 1\r\n")
        .reply(reply.substr(0, reply.size() - 2000))
        .closeConnection();
    Pop3Connection pop3;
    pop3.setTimeout(std::chrono::milliseconds(5000));
    ASSERT_TRUE(pop3.Connect("127.0.0.1", "bob", "secret", closing.start()));
    EXPECT_EQ(pop3.SaveAttachments(1, folder.str()), -1);
    EXPECT_FALSE(pop3.Disconnect());  // the QUIT gets no answer
    EXPECT_EQ(closing.finish(), "");
    EXPECT_TRUE(filesIn(folder.path()) == (Files{{"one.bin", "kept"}}));

    std::vector<std::string> segments;
    for (size_t at = 0; at < reply.size(); at += 500)
        segments.push_back(reply.substr(at, 500));
    test::ScriptedPeer cancelled;
    test::scriptLogin(cancelled)
        .expectLine("LIST 1\r\n")
        .reply("+OK 1 " + std::to_string(mail.size()) + "\r\n")
        .expectLine("RETR 1\r\n")
        .replySegments(segments, std::chrono::milliseconds(5))
        .closeConnection();
    Pop3Connection second;
    second.setTimeout(std::chrono::milliseconds(5000));
    ASSERT_TRUE(second.Connect("127.0.0.1", "bob", "secret", cancelled.start()));
    StopAfter sink;
    EXPECT_EQ(second.DownloadAttachments(1, folder.str(), 3, &sink), kTransferCancelledCode);
    EXPECT_EQ(second.lastError(), kTransferCancelledCode);
    EXPECT_FALSE(second.isConnected());
    cancelled.finish();
    EXPECT_TRUE(filesIn(folder.path()) == (Files{{"one.bin", "kept"}}));
}

TEST(AttachmentWriter, ListingEndCutAtEachByteStillWritesTheFiles) {
    const std::string mail = kHeader + part("d.txt", "7bit", "line\r\n..\r\n.x") + "\r\n--B--\r\n.";
    const std::string reply = "+OK\r\n" + test::multiLine(mail);
    for (size_t cut = reply.size() - 12; cut < reply.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        test::TempDir folder("parvola-writer");
        test::ScriptedPeer peer;
        test::scriptLogin(peer)
            .expectLine("LIST 1\r\n")
            .reply("+OK 1 " + std::to_string(mail.size()) + "\r\n")
            .expectLine("RETR 1\r\n")
            .replySegments({reply.substr(0, cut), reply.substr(cut)},
                           std::chrono::milliseconds(15));
        test::scriptQuit(peer);
        Pop3Connection pop3;
        pop3.setTimeout(std::chrono::milliseconds(5000));
        ASSERT_TRUE(pop3.Connect("127.0.0.1", "bob", "secret", peer.start()));
        EXPECT_EQ(pop3.SaveAttachments(1, folder.str()), 0);
        EXPECT_TRUE(pop3.Disconnect());
        EXPECT_EQ(peer.finish(), "");
        EXPECT_TRUE(filesIn(folder.path()) == (Files{{"d.txt", "line\r\n..\r\n.x"}}));
    }
}

}  // namespace
}  // namespace parvola
