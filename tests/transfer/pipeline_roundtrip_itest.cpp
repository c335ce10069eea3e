// Files stored through the upload worker and read back through the download
// worker against the real mail server: byte for byte, with the piece layout
// of the account's provider, and the refusals that stop a store early.
#include <algorithm>
#include <filesystem>

#include "tests/transfer/pipeline_itest_support.h"
#include "transfer/download_pipeline.h"
#include "transfer/piece_plan.h"
#include "transfer/upload_pipeline.h"

namespace parvola::test {
namespace {

namespace fs = std::filesystem;

class RoundTrip : public PipelineTest {
  protected:
    // Stores `bytes` as `name`, checks its record and piece mails, reads it
    // back into a folder of its own and compares.
    void storeAndReadBack(const MailboxAccount& account, const std::string& name,
                          const std::string& bytes, int expectedPieces,
                          long long expectedPieceSize) {
        SCOPED_TRACE(name);
        const std::string user = account.loginAddress;
        ASSERT_EQ(checkStoreRequest(user, kDocuments, sources.str() + "/" + name), "");
        const std::string path = source(name, bytes);
        ASSERT_EQ(runUploadWorker(user, path, kDocuments), UploadOutcome::Stored);

        const CatalogRow record = fileRecord(user, kDocuments, name);
        ASSERT_EQ(record.name, name);
        EXPECT_EQ(record.size, static_cast<long long>(bytes.size()));
        const PieceSubject first = parseSubject(record.subject);
        EXPECT_EQ(formatSubject(first), record.subject);
        EXPECT_EQ(first.fileName, name);
        EXPECT_EQ(first.pieceCount, expectedPieces);
        EXPECT_EQ(first.pieceIndex, 1);

        // One mail per piece, same name and id, its own index, full pieces
        // but the last. Pieces that travel side by side arrive in any order:
        // a reader finds each by its index.
        auto pieces = pieceMails(account, name, first.fileId);
        ASSERT_EQ(pieces.size(), static_cast<size_t>(expectedPieces));
        std::sort(pieces.begin(), pieces.end(), [](const PieceSubject& a, const PieceSubject& b) {
            return a.pieceIndex < b.pieceIndex;
        });
        for (int i = 0; i < expectedPieces; ++i) {
            EXPECT_EQ(pieces[i].pieceIndex, i + 1);
            EXPECT_EQ(pieces[i].pieceCount, expectedPieces);
            EXPECT_EQ(pieces[i].reserved, "0000000000");
            EXPECT_EQ(pieces[i].pieceLength,
                      pieceLength(static_cast<long long>(bytes.size()), expectedPieceSize, i + 1));
        }

        const fs::path folder =
            saves.path() / (account.mailboxUser + "-" + std::to_string(first.fileId));
        ASSERT_EQ(readBack(user, record, folder.string()), DownloadOutcome::Saved);
        EXPECT_TRUE(readFile(folder / name) == bytes);
        EXPECT_FALSE(fs::exists(folder / (name + ".part")));
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    }

    void expectCleanEnd() {
        EXPECT_TRUE(notices.messages().empty());
        EXPECT_TRUE(taskList().empty());
        EXPECT_TRUE(processValues().filesDownloaded.load());
        // Every piece file and piece folder is gone again.
        std::error_code error;
        const fs::path temp = home.path() / "temp";
        if (fs::exists(temp)) {
            for (const auto& entry : fs::recursive_directory_iterator(temp))
                ADD_FAILURE() << "left behind: " << entry.path();
        }
    }
};

TEST_F(RoundTrip, SmallEdgeAndOddlyNamedFilesAtASixMiBProvider) {
    const MailboxAccount sohu = login("sohu");
    const long long piece = 6 * kMiB;
    const std::string big = randomBytes(static_cast<size_t>(piece + 1), 11);
    storeAndReadBack(sohu, "one.bin", "x", 1, piece);
    // Exactly one piece: the file itself is the attachment.
    storeAndReadBack(sohu, "exact.bin", big.substr(0, static_cast<size_t>(piece)), 1, piece);
    // One byte more: a second piece of one byte.
    storeAndReadBack(sohu, "plus.one.bin", big, 2, piece);
    storeAndReadBack(sohu, "季度报告 2009.doc", randomBytes(300 * 1024 + 7, 12), 1, piece);
    // No "." in the name, and more than one piece.
    storeAndReadBack(sohu, "README", randomBytes(static_cast<size_t>(piece + 4097), 13), 2, piece);
    expectCleanEnd();
}

TEST_F(RoundTrip, TwentyFiveMiBGivesFiveOneAndThreePiecesByProvider) {
    const std::string bytes = randomBytes(static_cast<size_t>(25 * kMiB), 21);
    storeAndReadBack(login("sohu"), "film.mkv", bytes, 5, 6 * kMiB);
    storeAndReadBack(login("qq"), "film.mkv", bytes, 1, 49 * kMiB);
    storeAndReadBack(login("other"), "film.mkv", bytes, 3, 10 * kMiB);
    expectCleanEnd();
}

TEST_F(RoundTrip, ADownloadNeverReplacesAFileItTakesTheNextFreeName) {
    const MailboxAccount account = login("sina");
    const std::string user = account.loginAddress;
    const std::string bytes = randomBytes(5000, 31);
    ASSERT_EQ(runUploadWorker(user, source("report.v2.doc", bytes), kDocuments),
              UploadOutcome::Stored);
    const CatalogRow record = fileRecord(user, kDocuments, "report.v2.doc");
    writeFile(saves / "report.v2.doc", "mine");
    writeFile(saves / "report.v2 (1).doc", "mine too");

    ASSERT_EQ(readBack(user, record, saves.str()), DownloadOutcome::Saved);
    ASSERT_EQ(readBack(user, record, saves.str()), DownloadOutcome::Saved);
    EXPECT_EQ(readFile(saves / "report.v2.doc"), "mine");
    EXPECT_EQ(readFile(saves / "report.v2 (1).doc"), "mine too");
    EXPECT_TRUE(readFile(saves / "report.v2 (2).doc") == bytes);
    EXPECT_TRUE(readFile(saves / "report.v2 (3).doc") == bytes);
    EXPECT_EQ(freeDownloadPath(saves.str(), "report.v2.doc"), saves.str() + "/report.v2 (4).doc");
    EXPECT_EQ(freeDownloadPath(saves.str(), "README"), saves.str() + "/README");
    writeFile(saves / "README", "");
    EXPECT_EQ(freeDownloadPath(saves.str(), "README"), saves.str() + "/README (1)");
    EXPECT_TRUE(notices.messages().empty());
}

TEST_F(RoundTrip, OpenWhenDoneOpensTheSavedFileInsteadOfTheReminder) {
    const MailboxAccount account = login("tom");
    const std::string user = account.loginAddress;
    ASSERT_EQ(runUploadWorker(user, source("look.txt", "look at me"), kPictures),
              UploadOutcome::Stored);
    const CatalogRow record = fileRecord(user, kPictures, "look.txt");
    ASSERT_EQ(readBack(user, record, (saves / "open").string(), true), DownloadOutcome::Saved);
    EXPECT_EQ(openedTargets(), std::vector<std::string>{(saves / "open" / "look.txt").string()});
    EXPECT_FALSE(processValues().filesDownloaded.load());
    EXPECT_EQ(readFile(saves / "open" / "look.txt"), "look at me");
}

TEST_F(RoundTrip, RefusedStoresShowOnlyTheirOwnMessage) {
    const MailboxAccount account = login("sina");
    const std::string user = account.loginAddress;
    struct Case {
        std::string path;
        const char* message;
    };
    const fs::path folder = sources.path() / "a folder.d";
    fs::create_directories(folder);
    const Case cases[] = {
        {source("empty.txt", ""), "文件内容为空"},
        {(sources.path() / "missing.txt").string(), "文件读取错误"},
        {folder.string(), "文件读取错误"},
        {source("a;b.txt", "x"), "文件名中含有分号(;),无法上传!请修改文件名后再上传。"},
        {source("a\\b.txt", "x"), "文件名\"a\\b.txt\"无法存储:名称中不能含有\"\\\"或\"/\"!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ScopedRecordingNoticeBox box;
        EXPECT_EQ(runUploadWorker(user, c.path, kDocuments), UploadOutcome::Refused);
        EXPECT_EQ(box.messages(), std::vector<std::string>{c.message});
    }

    // 436,000,000 bytes weigh 523,200,000: below the 500 MiB mark, but one
    // more MiB does not fit under the quota.
    Catalog(user).addFileRecord(kPictures, "big.iso", "PARVOL:;big.iso;1;1;1;0000000000;1;1",
                                436000000);
    EXPECT_EQ(checkStoreAllowed(user), "");
    {
        ScopedRecordingNoticeBox box;
        EXPECT_EQ(runUploadWorker(user, source("mib.bin", randomBytes(kMiB, 3)), kDocuments),
                  UploadOutcome::Refused);
        EXPECT_EQ(box.messages(), std::vector<std::string>{"超过空间容量限制,无法上传"});
    }
    Catalog(user).addFileRecord(kPictures, "more.iso", "PARVOL:;more.iso;2;1;1;0000000000;1;1",
                                4000000);
    EXPECT_EQ(checkStoreAllowed(user), "用户空间余额不足!");

    {
        ScopedRecordingNoticeBox box;
        EXPECT_EQ(runUploadWorker(user, source("top.txt", "x"), ""), UploadOutcome::Refused);
        EXPECT_EQ(box.messages(), std::vector<std::string>{kUserLevelStoreText});
    }
    EXPECT_EQ(pieceMailCount(account), 0);
    EXPECT_EQ(fileRecord(user, kDocuments, "mib.bin").name, "");
    EXPECT_TRUE(taskList().empty());
}

TEST_F(RoundTrip, StoreRequestChecksInOrder) {
    const MailboxAccount account = login("sina");
    const std::string user = account.loginAddress;
    Catalog catalog(user);
    ASSERT_EQ(
        catalog.addFileRecord(kDocuments, "live.txt", "PARVOL:;live.txt;1;1;1;0000000000;1;1", 1),
        0);
    ASSERT_EQ(
        catalog.addFileRecord(kDocuments, "gone.txt", "PARVOL:;gone.txt;2;1;1;0000000000;1;1", 1),
        0);
    ASSERT_EQ(Catalog(user).deleteFile(std::string(kDocuments) + "\\gone.txt"), 0);

    EXPECT_EQ(checkStoreRequest(user, kDocuments, ""), "请输入文件路径");
    EXPECT_EQ(checkStoreRequest(user, kDocuments, "/home/u/live.txt"),
              "文件夹中有同名文件,无法上传!");
    EXPECT_EQ(checkStoreRequest(user, kDocuments, "/home/u/gone.txt"),
              "您回收站中有删除该文件的相同文件名，请删除后再上传新文件。");
    EXPECT_EQ(checkStoreRequest(user, kPictures, "/home/u/live.txt"), "");
    EXPECT_EQ(checkStoreRequest(user, kDocuments, "/home/u/new.txt"), "");
    // The subject format separates its fields with ";": such a name could
    // never be read back, so it is refused before anything is sent.
    EXPECT_EQ(checkStoreRequest(user, kDocuments, "/home/u/a;b.txt"),
              "文件名中含有分号(;),无法上传!请修改文件名后再上传。");
    EXPECT_EQ(checkStoreRequest(user, kDocuments, "/home/u;x/ab.txt"), "");
    // A path could not reach a name holding "\\" again; the user level holds
    // no new files.
    EXPECT_EQ(checkStoreRequest(user, kDocuments, "/home/u/a\\b.txt"),
              "文件名\"a\\b.txt\"无法存储:名称中不能含有\"\\\"或\"/\"!");
    EXPECT_EQ(checkStoreRequest(user, "", "/home/u/top.txt"), kUserLevelStoreText);
}

}  // namespace
}  // namespace parvola::test
