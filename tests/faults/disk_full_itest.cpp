// Disks that fill up for real (a small tmpfs) under a read's save folder and
// under the application directory while a store enters its record.
#include <sys/statvfs.h>

#include <filesystem>

#include "tests/faults/disk_filler.h"
#include "tests/faults/scoped_tmpfs.h"
#include "tests/transfer/pipeline_itest_support.h"
#include "transfer/download_pipeline.h"

namespace parvola::test {
namespace {

namespace fs = std::filesystem;

class DiskFull : public PipelineTest {
  protected:
    CatalogRow store(const MailboxAccount& account, const std::string& name,
                     const std::string& bytes) {
        EXPECT_EQ(runUploadWorker(account.loginAddress, source(name, bytes), kDocuments),
                  UploadOutcome::Stored);
        return fileRecord(account.loginAddress, kDocuments, name);
    }
    static std::vector<std::string> names(const fs::path& folder) {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(folder))
            found.push_back(entry.path().filename().string());
        std::sort(found.begin(), found.end());
        return found;
    }
    static unsigned long long freeBytes(const fs::path& folder) {
        struct statvfs info {};
        if (::statvfs(folder.c_str(), &info) != 0)
            return 0;
        return static_cast<unsigned long long>(info.f_bavail) * info.f_frsize;
    }
};

TEST_F(DiskFull, TheSaveFolderFillsUpDuringARead) {
    ScopedTmpfs disk(8 * kMiB);
    if (!disk.mounted())
        GTEST_SKIP() << disk.reason();
    const MailboxAccount account = login("sohu");
    const std::string bytes = randomBytes(static_cast<size_t>(12 * kMiB + 1), 62);
    const CatalogRow record = store(account, "huge.bin", bytes);
    ASSERT_EQ(parseSubject(record.subject).pieceCount, 3);
    // What the folder held before the read stays exactly as it was.
    writeFile(disk.path() / "keep.txt", "mine");
    fs::create_directory(disk.path() / "old");
    writeFile(disk.path() / "old" / "huge.bin", "an older copy");
    const unsigned long long freeBefore = freeBytes(disk.path());

    EXPECT_EQ(readBack(account.loginAddress, record, disk.str()), DownloadOutcome::SaveFolderFull);
    EXPECT_EQ(notices.messages(),
              std::vector<std::string>{
                  "文件:huge.bin下载失败:保存位置的磁盘空间不足,请清理磁盘或另选保存位置后再试!"});
    EXPECT_EQ(names(disk.path()), (std::vector<std::string>{"keep.txt", "old"}));
    EXPECT_EQ(readFile(disk.path() / "keep.txt"), "mine");
    EXPECT_EQ(readFile(disk.path() / "old" / "huge.bin"), "an older copy");
    EXPECT_EQ(freeBytes(disk.path()), freeBefore);  // the ".part" file's space is free again
    EXPECT_TRUE(taskList().empty());
    EXPECT_FALSE(processValues().filesDownloaded.load());
    EXPECT_FALSE(fs::exists(home.path() / "temp" / "huge"));

    // Elsewhere the same read goes through.
    ASSERT_EQ(readBack(account.loginAddress, record, saves.str()), DownloadOutcome::Saved);
    EXPECT_TRUE(readFile(saves / "huge.bin") == bytes);
    EXPECT_EQ(notices.messages().size(), 1u);
}

TEST_F(DiskFull, TheApplicationDirectoryFillsUpBeforeAStoreEntersItsRecord) {
    ScopedTmpfs disk(512 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << disk.reason();
    ScopedEnv appHome("PARVOLA_HOME", disk.str());
    writeDeployIni(disk.path());
    const MailboxAccount account = login("sina");
    const std::string user = account.loginAddress;
    const fs::path catalogFile = disk.path() / (user + "_config");
    const std::string before = readFile(catalogFile);
    // A one-piece file is mailed straight from its own file: only the record
    // needs the full disk.
    const std::string path = source("small.txt", randomBytes(50000, 63));
    ASSERT_TRUE(fillDisk(disk.str()));

    EXPECT_EQ(runUploadWorker(user, path, kDocuments), UploadOutcome::Refused);
    EXPECT_EQ(notices.messages(), std::vector<std::string>{kCatalogNotSavedText});
    EXPECT_TRUE(readFile(catalogFile) == before);
    EXPECT_EQ(fileRecord(user, kDocuments, "small.txt").name, "");
    // The piece of a file that has no record would only take space.
    EXPECT_EQ(pieceMailCount(account), 0);
    EXPECT_TRUE(taskList().empty());

    fs::remove(disk.path() / "filler");
    EXPECT_EQ(runUploadWorker(user, path, kDocuments), UploadOutcome::Stored);
    EXPECT_EQ(fileRecord(user, kDocuments, "small.txt").name, "small.txt");
    EXPECT_EQ(notices.messages().size(), 1u);
}

}  // namespace
}  // namespace parvola::test
