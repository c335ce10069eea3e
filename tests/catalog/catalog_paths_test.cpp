// What the catalog's folder paths can reach: names a path cannot carry are
// refused (and still list when an older catalog holds them), the user level
// lists its files, a top-level folder leaves the recycle bin for good, and an
// item restored from inside a deleted folder brings its folders back with it.
#include <gtest/gtest.h>

#include "catalog/catalog.h"
#include "catalog/folder_tree.h"
#include "catalog/item_names.h"
#include "tests/catalog/catalog_test_support.h"

namespace parvola {
namespace {

using test::CatalogFixture;

const std::string kUser = "li@example.com";

std::vector<std::string> names(const std::vector<CatalogRow>& rows) {
    std::vector<std::string> out;
    for (const CatalogRow& row : rows)
        out.push_back(row.name);
    return out;
}

class CatalogPaths : public CatalogFixture {
  protected:
    void SetUp() override {
        CatalogFixture::SetUp();
        ASSERT_EQ(Catalog(kUser).createNew(kUser), 0);
        clearRecords();
    }
    std::string fileText() { return test::readFile(catalogPath(kUser)); }
    std::vector<CatalogRow> level(const std::string& path) {
        std::vector<CatalogRow> rows;
        Catalog(kUser).listLevel(path, rows);
        return rows;
    }
};

TEST(ItemNames, WhatAPathCannotCarry) {
    for (const char* bad : {"", ".", "..", "a\\b", "a/b", "\\", "/"}) {
        EXPECT_NE(folderNameProblem(bad), NameProblem::None) << bad;
        EXPECT_NE(fileNameProblem(bad), NameProblem::None) << bad;
    }
    EXPECT_EQ(folderNameProblem("x;y"), NameProblem::Semicolon);
    EXPECT_EQ(fileNameProblem("x;y"), NameProblem::Semicolon);
    EXPECT_EQ(folderNameProblem("a/b"), NameProblem::Separator);
    EXPECT_EQ(fileNameProblem(".."), NameProblem::DotName);
    EXPECT_EQ(folderNameProblem(""), NameProblem::Empty);
    for (const char* good : {"自定义", "...", ".hidden", "a b", "报告 (1).doc", "a.b"}) {
        EXPECT_EQ(folderNameProblem(good), NameProblem::None) << good;
        EXPECT_EQ(fileNameProblem(good), NameProblem::None) << good;
    }
    EXPECT_NE(std::string(nameProblemText(NameProblem::Separator)).find("\\"), std::string::npos);
}

TEST_F(CatalogPaths, ChangesRefuseNamesAPathCannotCarry) {
    const std::string before = fileText();
    Catalog c(kUser);
    for (const char* bad : {"a\\b", "a/b", ".", "..", "", "x;y"}) {
        EXPECT_EQ(c.addFolder("我的文档", bad), kNameRefused) << bad;
        EXPECT_FALSE(c.renameFolder("我的文档\\自定义", "自定义", bad)) << bad;
    }
    for (const char* bad : {"a\\b", "a/b", ".", ".."})
        EXPECT_EQ(c.addFileRecord("我的文档", bad, "S", 1), kNameRefused) << bad;
    EXPECT_EQ(fileText(), before);
    EXPECT_TRUE(forms().empty());
    EXPECT_TRUE(mails().empty());
}

TEST_F(CatalogPaths, OlderCatalogsWithSuchNamesStillList) {
    std::string text = fileText();
    const std::string odd =
        "<Folder Name=\"x;y\" CT=\"26-01-01 10:00:00\" Size=\"0\" Del=\"false\">\r\n"
        "<File Name=\"a/b.txt\" CT=\"26-01-01 10:00:00\" Size=\"3\" Del=\"false\" "
        "Subject=\"PARVOL:;a/b.txt;7;1;3;0000000000;1;1\"/>\r\n</Folder>\r\n";
    text.insert(text.rfind("</User>"), odd);
    test::writeFile(catalogPath(kUser), text);
    EXPECT_EQ(names(level("")),
              (std::vector<std::string>{"我的文档", "我的图片", "我的媒体", "x;y"}));
    EXPECT_EQ(names(level("x;y")), std::vector<std::string>{"a/b.txt"});
    Catalog c(kUser);
    EXPECT_EQ(c.exists("x;y", "a/b.txt", "File"), CatalogPresence::Live);
    EXPECT_EQ(c.deleteFile("x;y\\a/b.txt"), 0);
    EXPECT_EQ(c.undeleteFile("x;y", "a/b.txt"), 0);
    EXPECT_EQ(names(level("x;y")), std::vector<std::string>{"a/b.txt"});
}

TEST_F(CatalogPaths, TheUserLevelListsFoldersThenFiles) {
    Catalog c(kUser);
    ASSERT_EQ(c.addFileRecord("", "notes.txt", "PARVOL:;notes.txt;9;1;5;0000000000;1;1", 5), 0);
    const std::vector<CatalogRow> rows = level("");
    EXPECT_EQ(names(rows),
              (std::vector<std::string>{"我的文档", "我的图片", "我的媒体", "notes.txt"}));
    EXPECT_EQ(rows.back().type, kFileType);
    EXPECT_EQ(rows.back().size, 5);
    EXPECT_EQ(names(level("我的文档")), std::vector<std::string>{"自定义"});
    EXPECT_TRUE(level("没有").empty());
    // Delete, restore and purge address it with the empty folder path.
    ASSERT_EQ(c.deleteFile("notes.txt"), 0);
    EXPECT_EQ(names(level("")).size(), 3u);
    ASSERT_EQ(c.undeleteFile("", "notes.txt"), 0);
    ASSERT_EQ(c.deleteFile("notes.txt"), 0);
    ASSERT_EQ(c.purgeFile("", "notes.txt"), 0);
    EXPECT_EQ(names(level("")).size(), 3u);
    long long files = -1, weighted = -1;
    ASSERT_EQ(Catalog(kUser).spaceUsed(files, weighted), 0);
    EXPECT_EQ(files, 0);
}

TEST_F(CatalogPaths, ATopLevelFolderIsPurgedWithItsFiles) {
    Catalog c(kUser);
    ASSERT_EQ(c.addFolder("", "旅行"), 0);
    ASSERT_EQ(c.addFileRecord("旅行", "t.txt", "ST", 1000), 0);
    ASSERT_EQ(c.deleteFolder("旅行"), 0);
    clearRecords();
    ASSERT_EQ(c.purgeFolder("旅行"), 0);
    std::vector<CatalogRow> bin;
    Catalog view(kUser);
    view.listRecycleBin(bin);
    EXPECT_TRUE(bin.empty());
    long long files = -1, weighted = -1;
    ASSERT_EQ(view.spaceUsed(files, weighted), 0);
    EXPECT_EQ(files, 0);
    EXPECT_EQ(weighted, 0);
    EXPECT_EQ(cleanups(), std::vector<std::string>{kUser + "|ST"});
    EXPECT_EQ(c.exists("", "旅行", "Folder"), CatalogPresence::Absent);
    EXPECT_EQ(c.purgeFolder(""), -1);
    EXPECT_TRUE(test::passesXmllint(catalogPath(kUser)));
}

TEST_F(CatalogPaths, RestoringFromInsideADeletedFolderRestoresTheFolders) {
    Catalog c(kUser);
    ASSERT_EQ(c.addFolder("我的文档", "甲"), 0);
    ASSERT_EQ(c.addFolder("我的文档\\甲", "乙"), 0);
    ASSERT_EQ(c.addFileRecord("我的文档\\甲", "f.txt", "SF", 3), 0);
    ASSERT_EQ(c.deleteFolder("我的文档\\甲\\乙"), 0);
    ASSERT_EQ(c.deleteFile("我的文档\\甲\\f.txt"), 0);
    ASSERT_EQ(c.deleteFolder("我的文档\\甲"), 0);

    std::vector<std::string> restored;
    ASSERT_EQ(c.undeleteFolder("我的文档\\甲\\乙", &restored), 0);
    EXPECT_EQ(restored, std::vector<std::string>{"我的文档\\甲"});
    EXPECT_EQ(names(level("我的文档\\甲")), std::vector<std::string>{"乙"});
    FolderTree tree = walkFolderTree(Catalog(kUser).document());
    ASSERT_FALSE(tree.folders[0].children.empty());
    std::vector<CatalogRow> bin;
    Catalog(kUser).listRecycleBin(bin);
    EXPECT_EQ(names(bin), std::vector<std::string>{"f.txt"});  // only the file is left

    ASSERT_EQ(c.deleteFolder("我的文档\\甲"), 0);
    restored.clear();
    ASSERT_EQ(c.undeleteFile("我的文档\\甲", "f.txt", &restored), 0);
    EXPECT_EQ(restored, std::vector<std::string>{"我的文档\\甲"});
    EXPECT_EQ(names(level("我的文档\\甲")), (std::vector<std::string>{"乙", "f.txt"}));
    Catalog(kUser).listRecycleBin(bin);
    EXPECT_TRUE(bin.empty());
}

}  // namespace
}  // namespace parvola
