// The SHA-256 a store mail carries of its piece: a piece that reads back
// different is refused and removed, with a message that says so; a mail
// without the header reads as before.
#include "mail/piece_digest.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "mail/pop3_connection.h"
#include "tests/mail/pop3_script.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

namespace fs = std::filesystem;

TEST(PieceDigest, Sha256OfBytesAndOfFiles) {
    EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    test::TempDir dir;
    const std::string bytes = test::randomBytes(200 * 1024 + 7, 1);  // more than one block
    test::writeFile(dir / "f", bytes);
    std::string hex;
    ASSERT_TRUE(sha256HexOfFile((dir / "f").string(), hex));
    EXPECT_EQ(hex, sha256Hex(bytes));
    EXPECT_FALSE(sha256HexOfFile((dir / "missing").string(), hex));
}

std::string pieceMail(const std::string& digestLine) {
    return "From: <a@sina.test>\r\nSubject: piece\r\n" + digestLine +
           "MIME-Version: 1.0\r\nContent-Type: multipart/mixed;\r\n\tboundary=\"OUT\"\r\n\r\n"
           "--OUT\r\nContent-Type: text/plain\r\n\r\nA stored piece.\r\n"
           "--OUT\r\nContent-Type: application/octet-stream;\r\n\tname=\"p.bin\"\r\n"
           "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n"
           "\tfilename=\"p.bin\r\n\r\naGVsbG8gd29ybGQ=\r\n--OUT--\r\n";
}

struct Served {
    int result;
    std::string lastReply;
};

Served saveServed(const std::string& mail, const fs::path& folder) {
    test::ScriptedPeer peer;
    test::scriptLogin(peer);
    test::scriptRetrieve(peer, mail);
    test::scriptQuit(peer);
    Pop3Connection pop3;
    pop3.setTimeout(std::chrono::milliseconds(5000));
    EXPECT_TRUE(pop3.Connect("127.0.0.1", "bob", "secret", peer.start()));
    Served served{pop3.SaveAttachments(1, folder.string()), pop3.lastReply()};
    EXPECT_TRUE(pop3.Disconnect());
    EXPECT_EQ(peer.finish(), "");
    return served;
}

TEST(PieceDigest, MatchingPieceIsKept) {
    test::TempDir out;
    const std::string line =
        std::string(kPieceDigestHeader) + ": " + sha256Hex("hello world") + "\r\n";
    EXPECT_EQ(saveServed(pieceMail(line), out.path()).result, 0);
    EXPECT_EQ(test::readFile(out / "p.bin"), "hello world");
}

TEST(PieceDigest, UpperCaseDigestAndOtherLetterCaseOfTheNameMatchToo) {
    test::TempDir out;
    std::string digest = sha256Hex("hello world");
    for (char& c : digest)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(
        saveServed(pieceMail("x-parvola-piece-sha256: " + digest + "\r\n"), out.path()).result, 0);
    EXPECT_TRUE(fs::exists(out / "p.bin"));
}

TEST(PieceDigest, ChangedPieceIsRefusedRemovedAndSaidSo) {
    test::TempDir out;
    const std::string line =
        std::string(kPieceDigestHeader) + ": " + sha256Hex("hello worle") + "\r\n";  // one byte off
    const Served served = saveServed(pieceMail(line), out.path());
    EXPECT_EQ(served.result, -1);
    EXPECT_FALSE(fs::exists(out / "p.bin"));
    EXPECT_NE(served.lastReply.find("The piece p.bin read back differs"), std::string::npos)
        << served.lastReply;
    EXPECT_NE(served.lastReply.find(sha256Hex("hello world")), std::string::npos);
}

TEST(PieceDigest, MailWithoutTheHeaderStillReads) {
    test::TempDir out;
    EXPECT_EQ(saveServed(pieceMail(""), out.path()).result, 0);
    EXPECT_EQ(test::readFile(out / "p.bin"), "hello world");
}

}  // namespace
}  // namespace parvola
