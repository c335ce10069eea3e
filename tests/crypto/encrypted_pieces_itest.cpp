// Files of an encrypted account stored through the upload worker and read
// back through the download worker against the real mail server: the
// Maildir holds neither their names nor any 64-byte run of their content,
// and a piece mail planted in the place of another is caught.
#include <gtest/gtest.h>

#include <filesystem>

#include "crypto/name_token.h"
#include "tests/crypto/maildir_text.h"
#include "tests/support/command.h"
#include "tests/transfer/pipeline_itest_support.h"
#include "transfer/account_keys.h"
#include "transfer/download_pipeline.h"
#include "transfer/key_mail.h"
#include "transfer/upload_pipeline.h"

namespace parvola::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPassphrase = "一二三 four five";

class EncryptedPieces : public PipelineTest {
  protected:
    // Stores `bytes` as `name` in the encrypted account and reads it back.
    CatalogRow storeAndReadBack(const MailboxAccount& account, const std::string& name,
                                const std::string& bytes, int expectedPieces) {
        SCOPED_TRACE(name);
        const std::string user = account.loginAddress;
        EXPECT_EQ(runUploadWorker(user, source(name, bytes), kDocuments), UploadOutcome::Stored);
        const CatalogRow record = fileRecord(user, kDocuments, name);
        EXPECT_EQ(record.name, name);
        const PieceSubject first = parseSubject(record.subject);
        EXPECT_TRUE(looksLikeNameToken(first.fileName)) << record.subject;
        EXPECT_EQ(first.pieceCount, expectedPieces);
        const fs::path folder = saves.path() / std::to_string(first.fileId);
        EXPECT_EQ(readBack(user, record, folder.string()), DownloadOutcome::Saved);
        EXPECT_TRUE(readFile(folder / name) == bytes);
        EXPECT_EQ(filesBelow(folder), std::vector<std::string>{name});
        return record;
    }
};

TEST_F(EncryptedPieces, TheMaildirHoldsNoNameAndNoRunOfContent) {
    const MailboxAccount account = login("sohu");  // pieces of 6 MiB
    ASSERT_EQ(enableEncryption(account, kPassphrase, KdfParams::fastest()), KeyMailResult::Ok);
    struct Stored {
        std::string name;
        std::string bytes;
        int pieces;
    };
    const std::vector<Stored> files = {
        {"季度报告 2009.doc", randomBytes(300 * 1024 + 7, 12), 1},
        {"机密合同扫描件.pdf", randomBytes(static_cast<size_t>(6 * kMiB + 4097), 13), 2},
        {"小小的说明文件.txt", "短短的一行字", 1},
    };
    for (const Stored& file : files)
        storeAndReadBack(account, file.name, file.bytes, file.pieces);
    EXPECT_TRUE(notices.messages().empty());

    const auto messages = readableMaildir(account.mailboxUser);
    // Key mail and four piece mails; the decoded attachments are there to be
    // searched (the key mail's text reads in clear, as it should).
    ASSERT_EQ(messages.size(), 5u);
    ASSERT_EQ(findReadable(messages, "Parvola-Key: 1").size(), 1u);
    for (const Stored& file : files) {
        EXPECT_EQ(findReadable(messages, file.name), std::vector<std::string>()) << file.name;
        // Long enough that random ciphertext does not hold it by chance.
        const std::string stem = file.name.substr(0, file.name.find('.'));
        ASSERT_GE(stem.size(), 12u);
        EXPECT_EQ(findReadable(messages, stem), std::vector<std::string>()) << stem;
        const size_t run = std::min<size_t>(64, file.bytes.size());
        for (size_t at = 0; at + run <= file.bytes.size(); at += 256 * 1024) {
            EXPECT_EQ(findReadable(messages, file.bytes.substr(at, run)),
                      std::vector<std::string>())
                << file.name << " at " << at;
        }
        EXPECT_EQ(findReadable(messages, file.bytes.substr(file.bytes.size() - run)),
                  std::vector<std::string>());
    }
}

TEST_F(EncryptedPieces, APieceOfAnotherFileUnderThisSubjectIsCaughtAndLeavesNothing) {
    const MailboxAccount account = login("sohu");
    ASSERT_EQ(enableEncryption(account, kPassphrase, KdfParams::fastest()), KeyMailResult::Ok);
    const std::string user = account.loginAddress;
    const std::string bytesA = randomBytes(static_cast<size_t>(6 * kMiB + 10), 21);
    const std::string bytesB = randomBytes(static_cast<size_t>(6 * kMiB + 10), 22);
    const CatalogRow a = storeAndReadBack(account, "甲.bin", bytesA, 2);
    const CatalogRow b = storeAndReadBack(account, "乙.bin", bytesB, 2);

    // The provider (or anyone with the mailbox) hands out B's second piece,
    // a whole valid mail with a matching digest, under A's second subject:
    // a newer copy, which is the one a read takes.
    PieceSubject wantedA = parseSubject(a.subject);
    wantedA.pieceIndex = 2;
    PieceSubject wantedB = parseSubject(b.subject);
    wantedB.pieceIndex = 2;
    std::string forged;
    const std::string tagB = ";" + wantedB.fileName + ";" + std::to_string(wantedB.fileId) + ";";
    for (const ReadableMessage& message : readableMaildir(account.mailboxUser)) {
        // The subject may travel as an encoded word: look in what decodes too.
        for (const std::string& subject : findReadable({message}, tagB)) {
            (void)subject;
            if (!findReadable({message}, ";0000000000;2;2").empty())
                forged = message.raw;
        }
    }
    ASSERT_FALSE(forged.empty());
    const std::string script = R"(
import re, smtplib, sys
data = open(sys.argv[1], 'rb').read()
subject_a = sys.argv[2].encode()
data = re.sub(rb'(?m)^Subject:[^\r\n]*(\r?\n[ \t][^\r\n]*)*', b'Subject: ' + subject_a,
             data, count=1)
try:
    with smtplib.SMTP('127.0.0.1', int(sys.argv[3])) as s:
        s.login(sys.argv[5], sys.argv[6])
        s.sendmail(sys.argv[4], [sys.argv[4]], data)
except Exception as e:
    print(repr(e))
    sys.exit(1)
)";
    TempDir dir;
    writeFile(dir / "forged.eml", forged);
    std::string output;
    ASSERT_EQ(runPython(script,
                        {(dir / "forged.eml").string(), formatSubject(wantedA),
                         std::to_string(MailStack::smtpPort()), account.mailboxAddress,
                         account.mailboxUser, account.mailboxPassword},
                        &output),
              0)
        << output;
    ASSERT_TRUE(waitFor([&] { return readableMaildir(account.mailboxUser).size() == 6; }));

    const fs::path folder = saves.path() / "forged";
    EXPECT_EQ(readBack(user, a, folder.string()), DownloadOutcome::PieceAltered);
    EXPECT_EQ(filesBelow(folder), std::vector<std::string>());
    // B itself still reads.
    EXPECT_EQ(readBack(user, b, (saves.path() / "b").string()), DownloadOutcome::Saved);
}

TEST_F(EncryptedPieces, APieceThatFailsOnlyAtItsEndLeavesNothingOfWhatWasAlreadyOpened) {
    const MailboxAccount account = login("sohu");
    ASSERT_EQ(enableEncryption(account, kPassphrase, KdfParams::fastest()), KeyMailResult::Ok);
    const std::string user = account.loginAddress;
    // Five chunks: four open and are written into the download before the
    // last one is read.
    const std::string bytes = randomBytes(300 * 1024 + 7, 31);
    const CatalogRow record = storeAndReadBack(account, "年终总结.bin", bytes, 1);
    const std::string token = ";" + parseSubject(record.subject).fileName + ";";
    std::string stored;
    for (const ReadableMessage& message : readableMaildir(account.mailboxUser)) {
        if (!findReadable({message}, token).empty())
            stored = message.raw;
    }
    ASSERT_FALSE(stored.empty());

    // The mail again as a newer copy, its attachment changed at the end and
    // its digest made to match, as only someone who meant it would.
    const std::string script = R"(
import base64, hashlib, re, smtplib, sys
raw = open(sys.argv[1], 'rb').read()
m = re.search(rb'filename=[^\n]*\n(?:[^\r\n]+\r?\n)*\r?\n', raw)
start = m.end()
end = raw.index(b'\n--', start) + 1
data = base64.b64decode(re.sub(rb'\s', b'', raw[start:end]))
if sys.argv[2] == 'flip':
    data = data[:-3] + bytes([data[-3] ^ 0x10]) + data[-2:]
else:
    data = data + data[-100:]
raw = raw[:start] + base64.encodebytes(data).replace(b'\n', b'\r\n') + raw[end:]
raw = re.sub(rb'(?m)^(X-Parvola-Piece-SHA256:)[^\r\n]*',
             b'X-Parvola-Piece-SHA256: ' + hashlib.sha256(data).hexdigest().encode(), raw, count=1)
with smtplib.SMTP('127.0.0.1', int(sys.argv[3])) as s:
    s.login(sys.argv[5], sys.argv[6])
    s.sendmail(sys.argv[4], [sys.argv[4]], raw)
)";
    TempDir dir;
    writeFile(dir / "stored.eml", stored);
    size_t expected = readableMaildir(account.mailboxUser).size();
    for (const char* change : {"flip", "append"}) {
        SCOPED_TRACE(change);
        std::string output;
        ASSERT_EQ(
            runPython(script,
                      {(dir / "stored.eml").string(), change, std::to_string(MailStack::smtpPort()),
                       account.mailboxAddress, account.mailboxUser, account.mailboxPassword},
                      &output),
            0)
            << output;
        ++expected;
        ASSERT_TRUE(
            waitFor([&] { return readableMaildir(account.mailboxUser).size() == expected; }));
        const fs::path folder = saves.path() / change;
        EXPECT_EQ(readBack(user, record, folder.string()), DownloadOutcome::PieceAltered);
        EXPECT_EQ(filesBelow(folder), std::vector<std::string>());
    }
}

TEST_F(EncryptedPieces, AnImapAccountKeepsItsKeyAndSealedPiecesByAppend) {
    MailboxAccount account = login("sina");
    account.reader = MailboxReader::Imap;
    account.storeRoute = StoreRoute::ImapAppend;
    account.imapHost = account.pop3Host;
    account.imapPort = MailStack::imapPort();
    clearLoggedInAccounts();
    ASSERT_TRUE(addLoggedInAccount(account));
    ASSERT_EQ(enableEncryption(account, kPassphrase, KdfParams::fastest()), KeyMailResult::Ok);
    const std::string bytes = randomBytes(200 * 1024 + 3, 41);
    storeAndReadBack(account, "二〇二六年度预算表.xlsx", bytes, 1);

    // Another computer finds the key mail through the IMAP search.
    forgetAllAccountKeys();
    ASSERT_EQ(unlockEncryption(account, kPassphrase), KeyMailResult::Ok);
    const CatalogRow record =
        fileRecord(account.loginAddress, kDocuments, "二〇二六年度预算表.xlsx");
    const fs::path folder = saves.path() / "again";
    ASSERT_EQ(readBack(account.loginAddress, record, folder.string()), DownloadOutcome::Saved);
    EXPECT_TRUE(readFile(folder / "二〇二六年度预算表.xlsx") == bytes);
    const auto messages = readableMaildir(account.mailboxUser);
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_EQ(findReadable(messages, "二〇二六年度预算表"), std::vector<std::string>());
    EXPECT_EQ(findReadable(messages, bytes.substr(1000, 64)), std::vector<std::string>());
}

TEST_F(EncryptedPieces, ALockedAccountStoresNothing) {
    const MailboxAccount account = login("sina");
    ASSERT_EQ(enableEncryption(account, kPassphrase, KdfParams::fastest()), KeyMailResult::Ok);
    forgetAllAccountKeys();
    ASSERT_EQ(unlockEncryption(account, "wrong"), KeyMailResult::WrongPassphrase);
    const std::string user = account.loginAddress;
    EXPECT_EQ(runUploadWorker(user, source("秘密.txt", "content"), kDocuments),
              UploadOutcome::Refused);
    EXPECT_EQ(fileRecord(user, kDocuments, "秘密.txt").name, "");
    EXPECT_EQ(readableMaildir(account.mailboxUser).size(), 1u);  // the key mail alone
}

}  // namespace
}  // namespace parvola::test
