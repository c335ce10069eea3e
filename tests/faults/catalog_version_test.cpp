// The login's load from the mailbox never replaces a local catalog that has
// seen more changes: those changes were saved by another process or thread
// a moment ago and their catalog mail is still on its way.
#include <gtest/gtest.h>

#include "catalog/catalog.h"
#include "catalog/catalog_hooks.h"
#include "tests/support/temp_dir.h"
#include "transfer/catalog_sync.h"

namespace parvola::test {
namespace {

const std::string kUser = "versions@sohu.test";

TEST(CatalogFromMailbox, AnOlderMailedCatalogLeavesANewerLocalOneInPlace) {
    AppHome home;
    CatalogHooks quiet;
    const CatalogHooks previous = setCatalogHooks(quiet);
    ASSERT_EQ(Catalog(kUser).createNew(kUser), 0);
    TempDir mailed("parvola-mailed");
    const std::string older = ZipCatalog(kUser, mailed.str());
    ASSERT_FALSE(older.empty());
    std::filesystem::rename(older, mailed / "older.zip");

    ASSERT_EQ(Catalog(kUser).addFolder("", "刚刚建的"), 0);
    const std::string local = readFile(home.path() / (kUser + "_config"));
    EXPECT_TRUE(UnzipCatalog(kUser, (mailed / "older.zip").string(),
                             CatalogReplacement::UnlessLocalIsNewer));
    EXPECT_TRUE(readFile(home.path() / (kUser + "_config")) == local);

    // A newer mailed catalog (another computer's changes) still replaces it.
    const std::string newer = ZipCatalog(kUser, mailed.str());
    ASSERT_FALSE(newer.empty());
    ASSERT_EQ(Catalog(kUser).createNew(kUser), 0);
    EXPECT_EQ(Catalog(kUser).exists("", "刚刚建的", "Folder"), CatalogPresence::Absent);
    EXPECT_TRUE(UnzipCatalog(kUser, newer, CatalogReplacement::UnlessLocalIsNewer));
    EXPECT_EQ(Catalog(kUser).exists("", "刚刚建的", "Folder"), CatalogPresence::Live);
    setCatalogHooks(previous);
}

}  // namespace
}  // namespace parvola::test
