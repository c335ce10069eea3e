// The application directory's disk fills up while the catalog is saved: the
// file on disk stays whole and loadable, the change is refused with its own
// result, and nothing of it reaches the mailbox or the web service.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "catalog/catalog.h"
#include "catalog/catalog_hooks.h"
#include "catalog/xml/xml_doc.h"
#include "tests/faults/disk_filler.h"
#include "tests/faults/scoped_tmpfs.h"
#include "tests/support/temp_dir.h"

namespace parvola::test {
namespace {

namespace fs = std::filesystem;

const std::string kUser = "full@sohu.test";

// Counts what a change hands on after its save.
class HookCounter {
  public:
    HookCounter() {
        CatalogHooks hooks;
        hooks.notify = [this](const std::string&) { ++notified; };
        hooks.startCatalogMail = [this](const std::string&) { ++mailed; };
        hooks.startPieceCleanup = [this](const std::string&, const std::string&) { ++cleaned; };
        previous_ = setCatalogHooks(hooks);
    }
    ~HookCounter() { setCatalogHooks(previous_); }
    int total() const { return notified + mailed + cleaned; }
    std::atomic<int> notified{0}, mailed{0}, cleaned{0};

  private:
    CatalogHooks previous_;
};

bool hasFolder(const std::string& name) {
    return Catalog(kUser).exists("", name, "Folder") == CatalogPresence::Live;
}

TEST(CatalogDiskFull, AFullDiskKeepsTheOldCatalogWholeAndRefusesTheChange) {
    ScopedTmpfs disk(256 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << disk.reason();
    ScopedEnv home("PARVOLA_HOME", disk.str());
    HookCounter hooks;
    ASSERT_EQ(Catalog(kUser).createNew(kUser), 0);
    for (int i = 0; i < 40; ++i)
        ASSERT_EQ(Catalog(kUser).addFolder("", "文件夹 " + std::to_string(i)), 0);
    ASSERT_EQ(Catalog(kUser).addFileRecord("我的文档", "a.bin",
                                           "PARVOL:;a.bin;7;1256450000;10;0000000000;1;1", 10),
              0);
    ASSERT_EQ(Catalog(kUser).deleteFile("我的文档\\a.bin"), 0);
    const fs::path file = disk.path() / (kUser + "_config");
    const std::string before = readFile(file);
    const int handedOn = hooks.total();

    ASSERT_TRUE(fillDisk(disk.str()));
    Catalog catalog(kUser);
    EXPECT_EQ(catalog.addFolder("", "新文件夹"), kCatalogNotSaved);
    // The purge of a file whose record could not be removed must not delete
    // its pieces from the mailbox.
    EXPECT_EQ(catalog.purgeFile("我的文档", "a.bin"), kCatalogNotSaved);
    EXPECT_EQ(Catalog(kUser).deleteFolder("文件夹 3"), kCatalogNotSaved);
    EXPECT_EQ(hooks.total(), handedOn);

    EXPECT_TRUE(readFile(file) == before);
    XmlDoc doc;
    EXPECT_TRUE(doc.loadFile(file.string())) << doc.resultText();
    // The object that failed went back to the file as it is.
    EXPECT_EQ(catalog.exists("", "新文件夹", "Folder"), CatalogPresence::Absent);
    EXPECT_EQ(catalog.exists("", "文件夹 39", "Folder"), CatalogPresence::Live);
    EXPECT_EQ(catalog.exists("", "文件夹 3", "Folder"), CatalogPresence::Live);
    std::vector<CatalogRow> rows;
    catalog.listRecycleBin(rows);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].name, "a.bin");
    // No half-written file beside the catalog.
    for (const auto& entry : fs::directory_iterator(disk.path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == kUser + "_config" || name == kUser + "_config.lock" || name == "filler")
            << name;
    }

    // Space again: the same change goes through.
    fs::remove(disk.path() / "filler");
    EXPECT_EQ(Catalog(kUser).addFolder("", "新文件夹"), 0);
    EXPECT_TRUE(hasFolder("新文件夹"));
    EXPECT_TRUE(hasFolder("文件夹 3"));
    EXPECT_GT(hooks.total(), handedOn);
}

}  // namespace
}  // namespace parvola::test
