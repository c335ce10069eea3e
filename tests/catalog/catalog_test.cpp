#include "catalog/catalog.h"

#include <gtest/gtest.h>

#include <regex>

#include "catalog/catalog_path.h"
#include "catalog/folder_tree.h"
#include "tests/catalog/catalog_test_support.h"
#include "tests/support/decimal_comma_locale.h"

namespace parvola {
namespace {

using test::CatalogFixture;

const std::string kUser = "zhang@example.com";

std::vector<std::string> names(const std::vector<CatalogRow>& rows) {
    std::vector<std::string> out;
    for (const CatalogRow& row : rows)
        out.push_back(row.name);
    return out;
}

class CatalogTest : public CatalogFixture {
  protected:
    void SetUp() override {
        CatalogFixture::SetUp();
        Catalog fresh(kUser);
        ASSERT_EQ(fresh.createNew(kUser), 0);
        clearRecords();
    }
    std::string fileText() { return test::readFile(catalogPath(kUser)); }
    std::vector<CatalogRow> list(const std::string& path) {
        Catalog c(kUser);
        std::vector<CatalogRow> rows;
        if (path.empty())
            c.enterUser();
        c.listFolder(path, rows);
        return rows;
    }
    long long fn() {
        Catalog c(kUser);
        long long files = -1, weighted = -1;
        c.spaceUsed(files, weighted);
        return files;
    }
};

// ---- the new catalog -------------------------------------------------------------

TEST_F(CatalogTest, NewCatalogTextIsExact) {
    const std::string text = fileText();
    const std::string t = "\\d\\d-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d";
    auto folder = [&](const char* name, const char* end) {
        return std::string("<Folder Name=\"") + name + "\" CT=\"" + t +
               "\" Size=\"0\" Del=\"false\"" + end + "\r\n";
    };
    std::regex expected(
        "<\\?xml version=\"1\\.0\" encoding=\"UTF-8\"\\?>\r\n"
        "<User Name=\"zhang@example\\.com\" Version=\"1\" FN=\"0\" SUM=\"0\">\r\n" +
        folder("我的文档", ">") + folder("自定义", "/>") + "</Folder>\r\n" +
        folder("我的图片", "/>") + folder("我的媒体", "/>") +
        "<Recycle Name=\"回收站\"/>\r\n</User>\r\n");
    EXPECT_TRUE(std::regex_match(text, expected)) << text;
    EXPECT_TRUE(test::passesXmllint(catalogPath(kUser)));
    // createNew sends no notification.
    Catalog again(kUser);
    EXPECT_EQ(again.createNew(kUser), 0);
    EXPECT_TRUE(forms().empty());
    EXPECT_EQ(mails(), std::vector<std::string>{kUser});
    EXPECT_EQ(again.version(), 1);
    EXPECT_TRUE(again.hasUser());
}

TEST_F(CatalogTest, NewCatalogListings) {
    EXPECT_EQ(names(list("")), (std::vector<std::string>{"我的文档", "我的图片", "我的媒体"}));
    std::vector<CatalogRow> rows = list("我的文档");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].name, "自定义");
    EXPECT_EQ(rows[0].type, "文件夹");
    EXPECT_EQ(rows[0].path, "我的文档");
    EXPECT_TRUE(list("我的文档\\自定义").empty());
    // The empty path on a freshly loaded catalog lists the document level: nothing.
    Catalog c(kUser);
    std::vector<CatalogRow> none{CatalogRow{}};
    EXPECT_EQ(c.listFolder("", none), 1);
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(c.listFolder("没有", none), -1);
    EXPECT_EQ(c.listRecycleBin(none), 0);
    EXPECT_TRUE(none.empty());
}

TEST_F(CatalogTest, GoToFolderAndCount) {
    Catalog c(kUser);
    EXPECT_EQ(c.goToFolder("我的文档\\自定义"), 0);
    EXPECT_EQ(c.goToFolder("我的文档\\没有"), -1);
    EXPECT_EQ(c.goToFolder("自定义"), -1);  // not at the top level
    EXPECT_EQ(c.goToFolder(""), 0);
    ASSERT_TRUE(c.enterUser());
    EXPECT_EQ(c.count("Folder"), 3);
    EXPECT_EQ(c.document().currentPosition(), 0);
    EXPECT_NE(c.document().parentPosition(), 0);
    EXPECT_EQ(c.count("Recycle"), 1);
}

// ---- file records and counters ----------------------------------------------------

TEST_F(CatalogTest, AddFileRecordRaisesCountersAndNotifies) {
    Catalog c(kUser);
    ASSERT_EQ(c.addFileRecord("我的文档", "报告 2009.doc", "PARVOL:subject", 1048576), 0);
    Catalog after(kUser);
    long long files = 0, weighted = 0;
    ASSERT_EQ(after.spaceUsed(files, weighted), 0);
    EXPECT_EQ(files, 1);
    EXPECT_EQ(weighted, 1258291);
    EXPECT_EQ(after.version(), 2);
    EXPECT_NE(fileText().find("SUM=\"1048576\""), std::string::npos);
    EXPECT_EQ(forms(),
              std::vector<std::string>{"action=xml&email=zhang@example.com&xml=2&share=1.2000"});
    EXPECT_EQ(mails(), std::vector<std::string>{kUser});
    std::vector<CatalogRow> rows = list("我的文档");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].type, "文件");
    EXPECT_EQ(rows[1].name, "报告 2009.doc");
    EXPECT_EQ(rows[1].subject, "PARVOL:subject");
    EXPECT_EQ(rows[1].size, 1048576);
    EXPECT_TRUE(test::passesXmllint(catalogPath(kUser)));
}

TEST_F(CatalogTest, AddFileRecordRefusals) {
    Catalog c(kUser);
    EXPECT_EQ(c.addFileRecord("没有", "a.txt", "s", 1), -1);
    ASSERT_EQ(c.addFileRecord("", "a.txt", "s", 1), 0);  // the User level
    EXPECT_EQ(c.addFileRecord("", "a.txt", "s2", 1), -2);
    ASSERT_EQ(c.deleteFile("a.txt"), 0);
    EXPECT_EQ(c.addFileRecord("", "a.txt", "s3", 1), -2);  // a deleted one counts too
    EXPECT_EQ(fn(), 1);
    EXPECT_EQ(forms().size(), 2u);  // the add and the delete only
}

TEST_F(CatalogTest, DeleteUndeleteAndPurgeFile) {
    Catalog c(kUser);
    ASSERT_EQ(c.addFileRecord("我的图片", "a&b \"1\".jpg", "SUBJ-A", 1000), 0);
    ASSERT_EQ(c.deleteFile("我的图片\\a&b \"1\".jpg"), 0);
    EXPECT_EQ(fn(), 1);
    EXPECT_TRUE(list("我的图片").empty());
    EXPECT_EQ(c.exists("我的图片", "a&b \"1\".jpg", "File"), CatalogPresence::OnlyDeleted);
    std::vector<CatalogRow> bin;
    Catalog view(kUser);
    view.listRecycleBin(bin);
    ASSERT_EQ(bin.size(), 1u);
    EXPECT_EQ(bin[0].type, "文件");
    EXPECT_EQ(bin[0].name, "a&b \"1\".jpg");
    EXPECT_EQ(bin[0].path, "我的图片");
    EXPECT_EQ(bin[0].size, 1000);
    EXPECT_TRUE(test::passesXmllint(catalogPath(kUser)));

    ASSERT_EQ(c.undeleteFile("我的图片", "a&b \"1\".jpg"), 0);
    EXPECT_EQ(names(list("我的图片")), std::vector<std::string>{"a&b \"1\".jpg"});
    view.reload(kUser);
    view.listRecycleBin(bin);
    EXPECT_TRUE(bin.empty());
    EXPECT_EQ(view.version(), 4);

    clearRecords();
    ASSERT_EQ(c.deleteFile("我的图片\\a&b \"1\".jpg"), 0);
    ASSERT_EQ(c.purgeFile("我的图片", "a&b \"1\".jpg"), 0);
    EXPECT_EQ(fn(), 0);
    view.reload(kUser);
    view.listRecycleBin(bin);
    EXPECT_TRUE(bin.empty());
    EXPECT_EQ(c.exists("我的图片", "a&b \"1\".jpg", "File"), CatalogPresence::Absent);
    std::vector<std::string> posted = forms();
    ASSERT_EQ(posted.size(), 3u);
    EXPECT_EQ(posted[1], "action=xml&email=zhang@example.com&xml=6&share=0.0000");
    EXPECT_TRUE(
        std::regex_match(posted[2], std::regex("action=delete&email=zhang@example\\.com&filename="
                                               "a&b \"1\"\\.jpg&time=\\d\\d-\\d\\d-\\d\\d "
                                               "\\d\\d:\\d\\d:\\d\\d")))
        << posted[2];
    EXPECT_EQ(cleanups(), std::vector<std::string>{kUser + "|SUBJ-A"});
}

// The desktop runs in its user's locale: the version form keeps its "."
// where the locale writes a decimal comma.
TEST_F(CatalogTest, TheVersionFormsNumberIgnoresADecimalCommaLocale) {
    test::DecimalCommaLocale comma;
    ASSERT_TRUE(comma.active());
    Catalog c(kUser);
    ASSERT_EQ(c.addFileRecord("我的图片", "a.jpg", "SUBJ-A", 1048576), 0);
    ASSERT_EQ(forms().size(), 1u);
    EXPECT_EQ(forms()[0].substr(forms()[0].find("&share=")), "&share=1.2000");
}

TEST_F(CatalogTest, MissingFileChangesNothing) {
    Catalog c(kUser);
    ASSERT_EQ(c.addFileRecord("我的文档", "here.txt", "s", 5), 0);
    clearRecords();
    const std::string before = fileText();
    EXPECT_EQ(c.deleteFile("我的文档\\gone.txt"), -1);
    EXPECT_EQ(c.deleteFile("没有\\here.txt"), -1);
    EXPECT_EQ(c.undeleteFile("我的文档", "gone.txt"), -1);
    EXPECT_EQ(c.undeleteFile("我的文档", "here.txt"), -1);  // live, nothing to restore
    EXPECT_EQ(c.undeleteFile("没有", "here.txt"), -1);
    EXPECT_EQ(c.purgeFile("我的文档", "gone.txt"), -1);
    EXPECT_EQ(c.purgeFile("没有", "here.txt"), -1);
    EXPECT_EQ(c.undeleteFolder("我的文档"), -1);  // not deleted
    EXPECT_EQ(c.deleteFolder("没有"), -1);
    EXPECT_EQ(c.deleteFolder(""), -1);
    EXPECT_EQ(c.addFolder("没有", "x"), -1);
    EXPECT_EQ(fileText(), before);
    EXPECT_TRUE(forms().empty());
    EXPECT_TRUE(mails().empty());
    EXPECT_TRUE(cleanups().empty());
}

TEST_F(CatalogTest, ExistsAnswers) {
    Catalog c(kUser);
    EXPECT_EQ(c.exists("", "我的文档", "Folder"), CatalogPresence::Live);
    EXPECT_EQ(c.exists("我的文档", "自定义", "Folder"), CatalogPresence::Live);
    EXPECT_EQ(c.exists("我的文档", "自定义1", "Folder"), CatalogPresence::Absent);
    EXPECT_EQ(c.exists("没有\\路径", "x", "File"),
              CatalogPresence::Absent);  // so does a missing path
    ASSERT_EQ(c.deleteFolder("我的文档\\自定义"), 0);
    EXPECT_EQ(c.exists("我的文档", "自定义", "Folder"), CatalogPresence::OnlyDeleted);
    ASSERT_EQ(c.addFolder("我的文档", "自定义"), 0);  // the name held only by a deleted one is free
    EXPECT_EQ(c.exists("我的文档", "自定义", "Folder"), CatalogPresence::Live);
}

// ---- folders ------------------------------------------------------------------------

TEST_F(CatalogTest, DeleteAndUndeleteFolderKeepsItsContent) {
    Catalog c(kUser);
    ASSERT_EQ(c.addFolder("我的文档\\自定义", "深层"), 0);
    ASSERT_EQ(c.addFileRecord("我的文档\\自定义\\深层", "f.bin", "S1", 10), 0);
    const std::string withContent = fileText();
    ASSERT_EQ(c.deleteFolder("我的文档\\自定义"), 0);
    EXPECT_TRUE(list("我的文档").empty());
    FolderTree tree = walkFolderTree(Catalog(kUser).document());
    ASSERT_EQ(tree.folders.size(), 3u);
    EXPECT_TRUE(tree.folders[0].children.empty());
    std::vector<CatalogRow> bin;
    Catalog view(kUser);
    view.listRecycleBin(bin);
    ASSERT_EQ(bin.size(), 1u);
    EXPECT_EQ(bin[0].type, "文件夹");
    EXPECT_EQ(bin[0].name, "自定义");
    EXPECT_EQ(bin[0].path, "我的文档\\自定义");
    EXPECT_EQ(fn(), 1);

    ASSERT_EQ(c.undeleteFolder("我的文档\\自定义"), 0);
    EXPECT_EQ(names(list("我的文档\\自定义\\深层")), std::vector<std::string>{"f.bin"});
    view.reload(kUser);
    view.listRecycleBin(bin);
    EXPECT_TRUE(bin.empty());
    // Only Version differs from the text before the delete.
    // (the emptied recycle bin keeps its end tag).
    auto before = [](const std::string& text) {
        return std::regex_replace(text.substr(0, text.find("<Recycle")),
                                  std::regex("Version=\"\\d+\""), "");
    };
    EXPECT_EQ(before(fileText()), before(withContent));
}

// A folder made again under the name of one in the recycle bin sits beside
// its deleted namesake: what is stored, listed, renamed and deleted is the
// live one, and emptying the bin takes only the deleted one with its files.
TEST_F(CatalogTest, AFolderMadeAgainBesideItsDeletedNamesakeIsTheOneUsed) {
    Catalog c(kUser);
    ASSERT_EQ(c.addFolder("我的文档", "项目"), 0);
    ASSERT_EQ(c.addFileRecord("我的文档\\项目", "old.txt", "S-OLD", 10), 0);
    ASSERT_EQ(c.deleteFolder("我的文档\\项目"), 0);
    ASSERT_EQ(c.addFolder("我的文档", "项目"), 0);
    ASSERT_EQ(c.addFileRecord("我的文档\\项目", "new.txt", "S-NEW", 20), 0);
    EXPECT_EQ(names(list("我的文档\\项目")), std::vector<std::string>{"new.txt"});
    ASSERT_EQ(c.deleteFile("我的文档\\项目\\new.txt"), 0);
    std::vector<std::string> restored;
    ASSERT_EQ(c.undeleteFile("我的文档\\项目", "new.txt", &restored), 0);
    EXPECT_TRUE(restored.empty());  // the deleted namesake stays in the bin
    ASSERT_EQ(c.addFileRecord("我的文档\\项目", "gone.txt", "S-GONE", 5), 0);
    ASSERT_EQ(c.deleteFile("我的文档\\项目\\gone.txt"), 0);
    ASSERT_TRUE(c.renameFolder("我的文档\\项目", "项目", "项目二"));
    EXPECT_EQ(names(list("我的文档\\项目二")), std::vector<std::string>{"new.txt"});
    // The bin's record of what was deleted inside follows the rename; that
    // of the deleted namesake does not.
    std::vector<CatalogRow> bin;
    Catalog(kUser).listRecycleBin(bin);
    ASSERT_EQ(bin.size(), 2u);
    EXPECT_EQ(bin[0].path, "我的文档\\项目");
    EXPECT_EQ(bin[1].path, "我的文档\\项目二");
    ASSERT_EQ(c.undeleteFile("我的文档\\项目二", "gone.txt"), 0);

    clearRecords();
    ASSERT_EQ(c.purgeFolder("我的文档\\项目"), 0);
    EXPECT_EQ(cleanups(), std::vector<std::string>{kUser + "|S-OLD"});
    EXPECT_EQ(names(list("我的文档\\项目二")), (std::vector<std::string>{"new.txt", "gone.txt"}));
    EXPECT_EQ(fn(), 2);
    EXPECT_TRUE(test::passesXmllint(catalogPath(kUser)));
}

TEST_F(CatalogTest, PurgeFolder) {
    Catalog c(kUser);
    ASSERT_EQ(c.deleteFolder("我的图片"), 0);
    const std::string before = fileText();
    clearRecords();
    EXPECT_EQ(c.purgeFolder(""), -1);  // the user level is no folder
    EXPECT_EQ(c.purgeFolder("没有"), -1);
    EXPECT_EQ(fileText(), before);
    EXPECT_TRUE(forms().empty());

    ASSERT_EQ(c.addFolder("我的文档\\自定义", "子"), 0);
    ASSERT_EQ(c.addFileRecord("我的文档\\自定义\\子", "x.txt", "SX", 100), 0);
    ASSERT_EQ(c.addFileRecord("我的文档\\自定义", "y.txt", "SY", 20), 0);
    ASSERT_EQ(c.deleteFile("我的文档\\自定义\\子\\x.txt"), 0);
    ASSERT_EQ(c.deleteFolder("我的文档\\自定义"), 0);
    clearRecords();
    ASSERT_EQ(c.purgeFolder("我的文档\\自定义"), 0);
    EXPECT_TRUE(list("我的文档").empty());
    std::vector<CatalogRow> bin;
    Catalog view(kUser);
    view.listRecycleBin(bin);
    EXPECT_EQ(names(bin), std::vector<std::string>{"我的图片"});  // records inside went too
    EXPECT_EQ(fn(), 0);
    long long files = 0, weighted = -1;
    view.spaceUsed(files, weighted);
    EXPECT_EQ(weighted, 0);
    std::vector<std::string> cleaned = cleanups();
    std::sort(cleaned.begin(), cleaned.end());
    EXPECT_EQ(cleaned, (std::vector<std::string>{kUser + "|SX", kUser + "|SY"}));
    EXPECT_EQ(forms().size(), 1u);
    EXPECT_TRUE(test::passesXmllint(catalogPath(kUser)));
}

TEST_F(CatalogTest, RenameFolder) {
    Catalog c(kUser);
    int version = c.version();
    EXPECT_FALSE(c.renameFolder("我的图片", "我的图片", "照片"));
    EXPECT_FALSE(c.renameFolder("回收站", "回收站", "垃圾"));
    ASSERT_EQ(c.addFolder("我的文档", "我的图片"), 0);
    clearRecords();
    EXPECT_TRUE(c.renameFolder("我的文档\\我的图片", "我的图片", "照片 & <旧>"));
    EXPECT_EQ(names(list("我的文档")), (std::vector<std::string>{"自定义", "照片 & <旧>"}));
    EXPECT_FALSE(c.renameFolder("我的文档\\没有", "没有", "x"));
    EXPECT_TRUE(forms().empty());                      // no notification
    EXPECT_EQ(mails().size(), 1u);                     // but synchronised
    EXPECT_EQ(Catalog(kUser).version(), version + 1);  // only the addFolder raised it
    EXPECT_TRUE(test::passesXmllint(catalogPath(kUser)));
}

// ---- quota ---------------------------------------------------------------------------

TEST_F(CatalogTest, QuotaFigures) {
    Catalog c(kUser);
    EXPECT_TRUE(c.belowQuota());
    EXPECT_TRUE(c.fits(100));
    // 400 MiB stored weigh 480 MiB.
    ASSERT_EQ(c.addFileRecord("", "big", "S", 400LL * 1048576), 0);
    Catalog after(kUser);
    EXPECT_TRUE(after.belowQuota());
    // Weighted: 503316480; 524288000 - 503316480 = 20971520 = 1.2 * 17476266.67
    EXPECT_TRUE(after.fits(17476266));
    EXPECT_FALSE(after.fits(17476267));
    // Exactly reaching the quota does not fit: 1.2 * 17476266.666... is not an integer,
    // so check with a used figure where it is.
    ASSERT_EQ(c.purgeFile("", "big"), 0);
    ASSERT_EQ(c.addFileRecord("", "b", "S", 5), 0);  // weighted 6
    Catalog five(kUser);
    EXPECT_TRUE(five.fits(436906661));   // 524287993.2 + 6 < 524288000
    EXPECT_FALSE(five.fits(436906662));  // 524287994.4 + 6 >= 524288000
    ASSERT_EQ(c.purgeFile("", "b"), 0);
    ASSERT_EQ(c.addFileRecord("", "seven", "S", 7), 0);  // weighted 8
    Catalog seven(kUser);
    EXPECT_TRUE(seven.fits(436906659));
    EXPECT_FALSE(seven.fits(436906660));  // 524287992 + 8: exactly the quota, not below it
    ASSERT_EQ(c.purgeFile("", "seven"), 0);
    // Below the quota while the weighted megabytes stay under 500.
    ASSERT_EQ(c.addFileRecord("", "c", "S", 436906666), 0);  // weighted 524287999
    EXPECT_TRUE(Catalog(kUser).belowQuota());
    ASSERT_EQ(c.addFileRecord("", "d", "S", 1), 0);  // weighted 524288000: 500 MiB
    EXPECT_FALSE(Catalog(kUser).belowQuota());
    EXPECT_FALSE(Catalog(kUser).fits(0));
}

TEST_F(CatalogTest, CatalogWithoutUser) {
    test::writeFile(catalogPath(kUser), "<?xml version=\"1.0\"?>\r\n<Other/>\r\n");
    Catalog c(kUser);
    long long files = 0, weighted = 0;
    EXPECT_EQ(c.version(), -1);
    EXPECT_EQ(c.spaceUsed(files, weighted), -1);
    EXPECT_FALSE(c.hasUser());
    EXPECT_FALSE(c.belowQuota());
    EXPECT_EQ(c.postShare(), -1);
    EXPECT_EQ(c.addFolder("", "x"), -1);
    EXPECT_FALSE(walkFolderTree(c.document()).found);
    // A missing file gives an empty document.
    Catalog missing("nobody@example.com");
    EXPECT_FALSE(missing.hasUser());
    EXPECT_EQ(missing.document().text(), "");
    EXPECT_FALSE(missing.reload("nobody@example.com"));
}

TEST_F(CatalogTest, PostShare) {
    Catalog c(kUser);
    ASSERT_EQ(c.postShare(), 0);
    ASSERT_EQ(forms().size(), 1u);
    EXPECT_TRUE(std::regex_match(forms()[0], std::regex("action=share&email=zhang@example\\.com"
                                                        "&share=(\\d+\\.\\d+\\.\\d+\\.\\d+)?")))
        << forms()[0];
}

// ---- tree walk ------------------------------------------------------------------------

TEST_F(CatalogTest, TreeWalkShowsLiveFoldersThenRecycleBin) {
    Catalog c(kUser);
    ASSERT_EQ(c.addFolder("我的媒体", "电影"), 0);
    ASSERT_EQ(c.addFolder("", "工作"), 0);
    ASSERT_EQ(c.addFolder("", "旧的"), 0);
    ASSERT_EQ(c.deleteFolder("旧的"), 0);
    Catalog view(kUser);
    FolderTree tree = walkFolderTree(view.document());
    ASSERT_TRUE(tree.found);
    EXPECT_EQ(tree.userName, kUser);
    EXPECT_EQ(tree.folderCount, 5);
    ASSERT_EQ(tree.folders.size(), 4u);
    EXPECT_EQ(tree.folders[0].name, "我的文档");
    EXPECT_EQ(tree.folders[0].image, FolderImage::Documents);
    ASSERT_EQ(tree.folders[0].children.size(), 1u);
    EXPECT_EQ(tree.folders[0].children[0].name, "自定义");
    EXPECT_EQ(tree.folders[0].children[0].image, FolderImage::Common);
    EXPECT_EQ(tree.folders[1].image, FolderImage::Pictures);
    EXPECT_EQ(tree.folders[2].image, FolderImage::Media);
    EXPECT_EQ(tree.folders[2].children[0].name, "电影");
    EXPECT_EQ(tree.folders[3].name, "工作");
    EXPECT_EQ(tree.recycleName, "回收站");
}

TEST(CatalogPath, AnItemPathSplitsAtItsLastBackslash) {
    std::string folder, name;
    splitItemPath("我的文档\\自定义\\c.txt", folder, name);
    EXPECT_EQ(folder, "我的文档\\自定义");
    EXPECT_EQ(name, "c.txt");
    splitItemPath("c.txt", folder, name);
    EXPECT_EQ(folder, "");
    EXPECT_EQ(name, "c.txt");
}

}  // namespace
}  // namespace parvola
