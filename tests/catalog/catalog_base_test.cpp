// The base of the merges: noted catalog mails only move it forward (several
// processes of one directory note theirs in any order); a login resets it.
#include "catalog/catalog_base.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace parvola::test {
namespace {

const std::string kUser = "base@sina.test";

CatalogBase base(int version, long long time, const std::string& text) {
    CatalogBase b;
    b.version = version;
    b.time = time;
    b.text = text;
    return b;
}

TEST(CatalogBase, NotedMailsOnlyMoveItForwardAndALoginStartsOver) {
    AppHome home;
    CatalogBase read;
    EXPECT_FALSE(readCatalogBase(kUser, read));
    ASSERT_TRUE(noteCatalogBase(kUser, base(5, 100, "<User Name=\"five\"/>\r\n")));
    // An older mail noted late (another process's) leaves the newer base.
    ASSERT_TRUE(noteCatalogBase(kUser, base(4, 900, "four")));
    ASSERT_TRUE(noteCatalogBase(kUser, base(5, 99, "five, earlier")));
    ASSERT_TRUE(readCatalogBase(kUser, read));
    EXPECT_EQ(read.version, 5);
    EXPECT_EQ(read.time, 100);
    EXPECT_EQ(read.text, "<User Name=\"five\"/>\r\n");
    // The same version mailed later ranks above.
    ASSERT_TRUE(noteCatalogBase(kUser, base(5, 101, "five, later")));
    ASSERT_TRUE(readCatalogBase(kUser, read));
    EXPECT_EQ(read.text, "five, later");
    EXPECT_TRUE(ranksAbove(6, 0, read));
    EXPECT_FALSE(ranksAbove(5, 101, read));
    // A login's new catalog starts over from nothing.
    ASSERT_TRUE(resetCatalogBase(kUser, CatalogBase()));
    ASSERT_TRUE(readCatalogBase(kUser, read));
    EXPECT_EQ(read.version, 0);
    EXPECT_EQ(read.text, "");
    EXPECT_TRUE(ranksAbove(1, 0, read));
}

}  // namespace
}  // namespace parvola::test
