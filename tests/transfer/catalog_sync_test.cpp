// Catalog subjects, and the catalog zip made and put back in place, without a
// mail server: Info-ZIP is the independent reader and writer of the archive.
#include "transfer/catalog_sync.h"

#include <gtest/gtest.h>

#include "app/process_state.h"
#include "catalog/catalog.h"
#include "platform/app_dir.h"
#include "tests/support/command.h"
#include "tests/support/temp_dir.h"
#include "tests/transfer/catalog_sync_support.h"
#include "transfer/catalog_mail_worker.h"
#include "zip/zip_pack.h"

namespace parvola {
namespace {

TEST(CatalogSubject, FormatsVersionTimeAndAddress) {
    EXPECT_EQ(CatalogSubject(7, 1256450000, "张三@sina.test"),
              "PARVOLCONFIG7;1256450000;张三@sina.test");
    int version = 0;
    long long time = 0;
    std::string address;
    ASSERT_TRUE(
        parseCatalogSubject("PARVOLCONFIG7;1256450000;张三@sina.test", version, time, address));
    EXPECT_EQ(version, 7);
    EXPECT_EQ(time, 1256450000);
    EXPECT_EQ(address, "张三@sina.test");
    // A catalog without a user gives version -1; it still reads back.
    ASSERT_TRUE(parseCatalogSubject(CatalogSubject(-1, 5, "a@b"), version, time, address));
    EXPECT_EQ(version, -1);
}

TEST(CatalogSubject, OnlyTheExactAddressAndFormatCount) {
    const std::string user = "a@sina.test";
    EXPECT_TRUE(isCatalogSubjectOf("PARVOLCONFIG12;1256450000;a@sina.test", user));
    // Addresses that hold the user's address, or that it holds.
    EXPECT_FALSE(isCatalogSubjectOf("PARVOLCONFIG12;1256450000;ba@sina.test", user));
    EXPECT_FALSE(isCatalogSubjectOf("PARVOLCONFIG12;1256450000;a@sina.test.cn", user));
    EXPECT_FALSE(isCatalogSubjectOf("PARVOLCONFIG12;1256450000;A@sina.test", user));
    // Piece subjects, even those that carry the tag and the address in a name.
    EXPECT_FALSE(
        isCatalogSubjectOf("PARVOL:;PARVOLCONFIG1;2;a@sina.test;7;1;9;0000000000;1;1", user));
    EXPECT_FALSE(isCatalogSubjectOf("Re: PARVOLCONFIG12;1256450000;a@sina.test", user));
    // Broken numbers and missing fields.
    for (const char* subject :
         {"PARVOLCONFIG;1256450000;a@sina.test", "PARVOLCONFIGx;1;a@sina.test",
          "PARVOLCONFIG7;;a@sina.test", "PARVOLCONFIG7;12", "PARVOLCONFIG7;12;",
          "PARVOLCONFIG7:12;a@sina.test", "PARVOLCONFIG99999999999;1;a@sina.test", ""})
        EXPECT_FALSE(isCatalogSubjectOf(subject, user)) << subject;
}

class CatalogZipTest : public ::testing::Test {
  protected:
    std::string catalogPath() const { return appPath(catalogFileName(user_)); }
    std::string catalogBytes() const { return test::readFile(catalogPath()); }

    test::AppHome home_;
    test::RecordingCatalogHooks hooks_;
    const std::string user_ = "李四@sina.test";
};

TEST_F(CatalogZipTest, ZipReadsBackWithInfoZipAndUnzipPutsItBack) {
    Catalog(user_).createNew(user_);
    const std::string original = catalogBytes();
    const std::string zip = ZipCatalog(user_);
    ASSERT_EQ(zip, appPath(user_ + "_config.zip"));
    // One entry, named after the catalog file alone (in the wire code page).
    std::string listing;
    ASSERT_EQ(test::runShell("python3 -c 'import sys, zipfile; "
                             "print(zipfile.ZipFile(sys.argv[1], "
                             "metadata_encoding=\"gb18030\").namelist())' " +
                                 test::shellQuote(zip),
                             &listing),
              0);
    EXPECT_EQ(listing, "['" + user_ + "_config']\n");
    std::string unzipped;
    ASSERT_EQ(test::runShell("unzip -p " + test::shellQuote(zip), &unzipped), 0);
    EXPECT_EQ(unzipped, original);

    Catalog(user_).addFolder("", "旅行");
    ASSERT_NE(catalogBytes(), original);
    ASSERT_TRUE(UnzipCatalog(user_));
    EXPECT_EQ(catalogBytes(), original);
    EXPECT_EQ(test::strayCatalogFiles(home_.path()), std::vector<std::string>{zip});
}

TEST_F(CatalogZipTest, ZipIntoAFolderOfItsOwnAndAMissingCatalog) {
    test::TempDir folder;
    EXPECT_EQ(ZipCatalog(user_, folder.str()), "");  // no catalog file yet
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
    Catalog(user_).createNew(user_);
    EXPECT_EQ(ZipCatalog(user_, folder.str()), folder.str() + "/" + user_ + "_config.zip");
    EXPECT_TRUE(test::strayCatalogFiles(home_.path()).empty());
}

TEST_F(CatalogZipTest, AnInfoZipArchiveUnpacks) {
    test::TempDir other;
    const std::string name = user_ + "_config";
    test::writeFile(other / name,
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<User Name=\"" + user_ +
                        "\" Version=\"9\" FN=\"0\" SUM=\"0\">\r\n<Recycle Name=\"回收站\"/>\r\n"
                        "</User>\r\n");
    ASSERT_EQ(test::runShell("cd " + test::shellQuote(other.str()) + " && zip -q -X peer.zip " +
                             test::shellQuote(name)),
              0);
    ASSERT_TRUE(UnzipCatalog(user_, (other / "peer.zip").string()));
    EXPECT_EQ(catalogBytes(), test::readFile(other / name));
    EXPECT_EQ(Catalog(user_).version(), 9);
}

TEST_F(CatalogZipTest, DamagedForeignOrNamelessArchivesLeaveTheCatalogAlone) {
    Catalog(user_).createNew(user_);
    const std::string original = catalogBytes();
    test::TempDir other;

    // Missing archive.
    EXPECT_FALSE(UnzipCatalog(user_));
    EXPECT_FALSE(UnzipCatalog(user_, (other / "none.zip").string()));

    // A catalog whose compressed bytes were damaged in transit.
    const std::string name = user_ + "_config";
    std::string big = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<User Name=\"" + user_ +
                      "\" Version=\"3\" FN=\"0\" SUM=\"0\">\r\n";
    for (int i = 0; i < 200; ++i)
        big += "<Folder Name=\"f" + std::to_string(i * 7919 % 1000) + "\" CT=\"\"/>\r\n";
    big += "</User>\r\n";
    test::writeFile(other / name, big);
    const std::string good = (other / "good.zip").string();
    ASSERT_EQ(packFileToZip((other / name).string(), good), ZipResult::Ok);
    std::string damaged = test::readFile(good);
    for (size_t i = 80; i < 120 && i < damaged.size(); ++i)
        damaged[i] = static_cast<char>(damaged[i] ^ 0x5a);
    test::writeFile(other / "damaged.zip", damaged);
    EXPECT_FALSE(UnzipCatalog(user_, (other / "damaged.zip").string()));

    // A whole archive of a catalog without a user name.
    test::writeFile(other / name,
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<User Name=\"\"/>");
    ASSERT_EQ(packFileToZip((other / name).string(), (other / "nameless.zip").string()),
              ZipResult::Ok);
    EXPECT_FALSE(UnzipCatalog(user_, (other / "nameless.zip").string()));

    // An archive whose entry is another user's catalog.
    test::writeFile(other / "王五@sina.test_config", big);
    ASSERT_EQ(
        packFileToZip((other / "王五@sina.test_config").string(), (other / "foreign.zip").string()),
        ZipResult::Ok);
    EXPECT_FALSE(UnzipCatalog(user_, (other / "foreign.zip").string()));

    EXPECT_EQ(catalogBytes(), original);
    EXPECT_TRUE(test::strayCatalogFiles(home_.path()).empty());
    // And the undamaged archive does load.
    EXPECT_TRUE(UnzipCatalog(user_, good));
    EXPECT_EQ(Catalog(user_).version(), 3);
}

TEST_F(CatalogZipTest, ACatalogLoadedBeforeTheReplacementChangesTheNewOne) {
    Catalog(user_).createNew(user_);
    const std::string zip = ZipCatalog(user_);
    ASSERT_FALSE(zip.empty());
    Catalog(user_).addFolder("", "旧的");
    Catalog early(user_);  // holds the catalog with "旧的"
    ASSERT_TRUE(UnzipCatalog(user_));
    ASSERT_EQ(early.addFolder("", "新的"), 0);
    Catalog after(user_);
    ASSERT_TRUE(after.enterUser());
    EXPECT_EQ(after.exists("", "新的", "Folder"), CatalogPresence::Live);
    EXPECT_EQ(after.exists("", "旧的", "Folder"), CatalogPresence::Absent);
    EXPECT_EQ(after.version(), 2);
}

TEST_F(CatalogZipTest, CatalogMailNeedsALoggedInAccountAndACatalog) {
    clearLoggedInAccounts();
    EXPECT_EQ(mailCatalogNow(user_), -1);
    MailboxAccount account(user_, "pw");
    account.loginAddress = user_;
    ASSERT_TRUE(addLoggedInAccount(account));
    EXPECT_EQ(mailCatalogNow(user_), -1);  // no catalog file to zip
    clearLoggedInAccounts();
    EXPECT_TRUE(test::strayCatalogFiles(home_.path()).empty());
}

}  // namespace
}  // namespace parvola
