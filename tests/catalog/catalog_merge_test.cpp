// The merge of two catalogs changed at once from one base: each side's
// catalog is made by the real catalog changes from the same base file, and
// the merged text is checked by xmllint and read back by the catalog itself.
#include "catalog/catalog_merge.h"

#include <algorithm>
#include <functional>

#include "tests/catalog/catalog_test_support.h"

namespace parvola::test {
namespace {

const std::string kUser = "merge@sina.test";
const char* const kDocs = "我的文档";

class CatalogMergeTest : public CatalogFixture {
  protected:
    void SetUp() override {
        CatalogFixture::SetUp();
        ASSERT_EQ(Catalog(kUser).createNew(kUser), 0);
        ASSERT_EQ(Catalog(kUser).addFolder("", "旅行"), 0);
        ASSERT_EQ(Catalog(kUser).addFileRecord("旅行", "海边.jpg", "S-sea", 300), 0);
        ASSERT_EQ(Catalog(kUser).addFileRecord(kDocs, "旧.txt", "S-old", 50), 0);
        base_ = readFile(catalogPath(kUser));
    }

    // The catalog `changes` make of the base.
    std::string side(const std::function<void(Catalog&)>& changes) {
        writeFile(catalogPath(kUser), base_);
        Catalog catalog(kUser);
        changes(catalog);
        return readFile(catalogPath(kUser));
    }

    // Puts the merged text in place and checks it is a catalog one reads.
    void install(const CatalogMerge& merge) {
        ASSERT_EQ(merge.outcome, CatalogMergeOutcome::Merged);
        writeFile(catalogPath(kUser), merge.text);
        ASSERT_TRUE(passesXmllint(catalogPath(kUser)));
        ASSERT_TRUE(Catalog(kUser).hasUser());
    }

    std::vector<std::string> names(const std::string& path, const std::string& type) {
        std::vector<CatalogRow> rows;
        Catalog(kUser).listLevel(path, rows);
        std::vector<std::string> out;
        for (const CatalogRow& row : rows)
            if (row.type == type)
                out.push_back(row.name);
        std::sort(out.begin(), out.end());
        return out;
    }

    std::vector<std::string> bin() {
        std::vector<CatalogRow> rows;
        Catalog(kUser).listRecycleBin(rows);
        std::vector<std::string> out;
        for (const CatalogRow& row : rows)
            out.push_back(row.path + "|" + row.name);
        std::sort(out.begin(), out.end());
        return out;
    }

    std::string base_;
};

TEST_F(CatalogMergeTest, AdditionsOfBothSidesStayAndDeletionsStandWithTheirBinRecords) {
    const std::string local = side([](Catalog& c) {
        ASSERT_EQ(c.addFileRecord(kDocs, "本机.txt", "S-local", 1000), 0);
        ASSERT_EQ(c.deleteFile("旅行\\海边.jpg"), 0);
    });
    const std::string remote = side([](Catalog& c) {
        ASSERT_EQ(c.addFolder(kDocs, "远端"), 0);
        ASSERT_EQ(c.addFileRecord("我的文档\\远端", "远.bin", "S-remote", 20000), 0);
        ASSERT_EQ(c.purgeFile(kDocs, "旧.txt"), 0);
    });
    const int localVersion = 6, remoteVersion = 7;  // base 4: two and three changes on top
    const CatalogMerge merge = mergeCatalogs(base_, local, remote);
    install(merge);
    EXPECT_TRUE(merge.conflicts.empty()) << ::testing::PrintToString(merge.conflicts);

    EXPECT_EQ(names(kDocs, kFileType), std::vector<std::string>{"本机.txt"});
    EXPECT_EQ(names(kDocs, kFolderType), (std::vector<std::string>{"自定义", "远端"}));
    EXPECT_EQ(names("我的文档\\远端", kFileType), std::vector<std::string>{"远.bin"});
    EXPECT_EQ(names("旅行", kFileType), std::vector<std::string>());
    EXPECT_EQ(Catalog(kUser).exists("旅行", "海边.jpg", "File"), CatalogPresence::OnlyDeleted);
    EXPECT_EQ(bin(), std::vector<std::string>{"旅行|海边.jpg"});
    // Above both sides' versions; the counters hold what the tree holds:
    // the deleted file still counts until it is purged.
    Catalog merged(kUser);
    EXPECT_EQ(merged.version(), std::max(localVersion, remoteVersion) + 1);
    long long files = 0, weighted = 0;
    ASSERT_EQ(merged.spaceUsed(files, weighted), 0);
    EXPECT_EQ(files, 3);
    EXPECT_EQ(weighted, static_cast<long long>((300 + 1000 + 20000) * 1.2));
    // The merged catalog changes as any other.
    EXPECT_EQ(Catalog(kUser).purgeFile("旅行", "海边.jpg"), 0);
    EXPECT_EQ(bin(), std::vector<std::string>());
}

TEST_F(CatalogMergeTest, MergingWithItsOwnEarlierMailDoublesNothing) {
    // The other "side" is this computer's own catalog mail of a moment ago
    // (its base was not noted when the mail's answer got lost).
    const std::string mailed =
        side([](Catalog& c) { ASSERT_EQ(c.addFileRecord(kDocs, "a.bin", "S-a", 10), 0); });
    writeFile(catalogPath(kUser), mailed);
    ASSERT_EQ(Catalog(kUser).addFileRecord(kDocs, "b.bin", "S-b", 20), 0);
    const std::string local = readFile(catalogPath(kUser));
    const CatalogMerge merge = mergeCatalogs(base_, local, mailed);
    install(merge);
    EXPECT_TRUE(merge.conflicts.empty());
    // Byte for byte this computer's catalog, but for the version.
    std::string expected = local;
    const std::string version = "Version=\"6\"";
    ASSERT_NE(expected.find(version), std::string::npos) << expected;
    expected.replace(expected.find(version), version.size(), "Version=\"7\"");
    EXPECT_EQ(merge.text, expected);
    EXPECT_EQ(names(kDocs, kFileType), (std::vector<std::string>{"a.bin", "b.bin", "旧.txt"}));
    long long files = 0, weighted = 0;
    Catalog(kUser).spaceUsed(files, weighted);
    EXPECT_EQ(files, 4);
}

TEST_F(CatalogMergeTest, ARenameOnOneSideKeepsWhatTheOtherStoredInside) {
    const std::string local =
        side([](Catalog& c) { ASSERT_TRUE(c.renameFolder("旅行", "旅行", "二零二六旅行")); });
    const std::string remote =
        side([](Catalog& c) { ASSERT_EQ(c.addFileRecord("旅行", "山.jpg", "S-hill", 400), 0); });
    for (const CatalogMerge& merge :
         {mergeCatalogs(base_, local, remote), mergeCatalogs(base_, remote, local)}) {
        install(merge);
        EXPECT_TRUE(merge.conflicts.empty());
        EXPECT_EQ(names("", kFolderType),
                  (std::vector<std::string>{"二零二六旅行", "我的图片", "我的媒体", "我的文档"}));
        EXPECT_EQ(names("二零二六旅行", kFileType),
                  (std::vector<std::string>{"山.jpg", "海边.jpg"}));
    }
}

TEST_F(CatalogMergeTest, RenamedOnBothSidesTheOtherComputersNameStaysAndIsTold) {
    const std::string local =
        side([](Catalog& c) { ASSERT_TRUE(c.renameFolder("旅行", "旅行", "本机名")); });
    const std::string remote =
        side([](Catalog& c) { ASSERT_TRUE(c.renameFolder("旅行", "旅行", "远端名")); });
    const CatalogMerge merge = mergeCatalogs(base_, local, remote);
    install(merge);
    EXPECT_EQ(Catalog(kUser).exists("", "远端名", "Folder"), CatalogPresence::Live);
    EXPECT_EQ(Catalog(kUser).exists("", "本机名", "Folder"), CatalogPresence::Absent);
    EXPECT_EQ(names("远端名", kFileType), std::vector<std::string>{"海边.jpg"});
    ASSERT_EQ(merge.conflicts.size(), 1u);
    EXPECT_NE(merge.conflicts[0].find("本机名"), std::string::npos) << merge.conflicts[0];
}

TEST_F(CatalogMergeTest, AFolderPurgedOnOneSideKeepsOnlyWhatTheOtherStoredIntoIt) {
    const std::string local = side([](Catalog& c) { ASSERT_EQ(c.purgeFolder("旅行"), 0); });
    const std::string remote =
        side([](Catalog& c) { ASSERT_EQ(c.addFileRecord("旅行", "新.jpg", "S-new", 70), 0); });
    const CatalogMerge merge = mergeCatalogs(base_, local, remote);
    install(merge);
    EXPECT_EQ(names("旅行", kFileType), std::vector<std::string>{"新.jpg"});
    ASSERT_EQ(merge.conflicts.size(), 1u);
    EXPECT_NE(merge.conflicts[0].find("旅行"), std::string::npos);

    // Purged on one side and left alone on the other, it is gone.
    const std::string untouched = side([](Catalog& c) { ASSERT_EQ(c.addFolder("", "别处"), 0); });
    const CatalogMerge gone = mergeCatalogs(base_, untouched, local);
    install(gone);
    EXPECT_TRUE(gone.conflicts.empty());
    EXPECT_EQ(Catalog(kUser).exists("", "旅行", "Folder"), CatalogPresence::Absent);
    EXPECT_EQ(Catalog(kUser).exists("", "别处", "Folder"), CatalogPresence::Live);
    long long files = 0, weighted = 0;
    Catalog(kUser).spaceUsed(files, weighted);
    EXPECT_EQ(files, 1);  // 旧.txt
}

TEST_F(CatalogMergeTest, TheSameNameStoredOnBothSidesKeepsBothAndRenamesTheLaterVisibly) {
    std::string local =
        side([](Catalog& c) { ASSERT_EQ(c.addFileRecord(kDocs, "报告.doc", "S-mine", 11), 0); });
    const std::string remote =
        side([](Catalog& c) { ASSERT_EQ(c.addFileRecord(kDocs, "报告.doc", "S-theirs", 22), 0); });
    // This computer's record is the later one.
    XmlDoc doc;
    ASSERT_TRUE(doc.setText(local));
    ASSERT_EQ(doc.findNext("User") && doc.enter() && doc.findNext("Folder") && doc.enter(), true);
    while (doc.findNext("File") && doc.attribute("Subject") != "S-mine") {
    }
    ASSERT_TRUE(doc.setAttribute("CT", "99-01-01 00:00:00"));
    local = doc.text();

    const CatalogMerge merge = mergeCatalogs(base_, local, remote);
    install(merge);
    EXPECT_EQ(names(kDocs, kFileType),
              (std::vector<std::string>{"报告 (2).doc", "报告.doc", "旧.txt"}));
    std::vector<CatalogRow> rows;
    Catalog(kUser).listFolder(kDocs, rows);
    for (const CatalogRow& row : rows) {
        if (row.name == "报告.doc") {
            EXPECT_EQ(row.subject, "S-theirs");
        } else if (row.name == "报告 (2).doc") {
            EXPECT_EQ(row.subject, "S-mine");
        }
    }
    ASSERT_EQ(merge.conflicts.size(), 1u);
    EXPECT_NE(merge.conflicts[0].find("报告 (2).doc"), std::string::npos) << merge.conflicts[0];
}

TEST_F(CatalogMergeTest, WithoutABaseEverythingIsAddedAndFoldersOfOneNameAreOne) {
    const std::string local = side([](Catalog& c) {
        ASSERT_EQ(c.createNew(kUser), 0);
        ASSERT_EQ(c.addFileRecord(kDocs, "x.txt", "S-x", 5), 0);
    });
    const std::string remote = side([](Catalog& c) {
        ASSERT_EQ(c.createNew(kUser), 0);
        ASSERT_EQ(c.addFileRecord(kDocs, "y.txt", "S-y", 6), 0);
    });
    const CatalogMerge merge = mergeCatalogs("", local, remote);
    install(merge);
    EXPECT_TRUE(merge.conflicts.empty());
    EXPECT_EQ(names("", kFolderType),
              (std::vector<std::string>{"我的图片", "我的媒体", "我的文档"}));
    EXPECT_EQ(names(kDocs, kFileType), (std::vector<std::string>{"x.txt", "y.txt"}));
    EXPECT_EQ(Catalog(kUser).exists(kDocs, "自定义", "Folder"), CatalogPresence::Live);
    EXPECT_EQ(Catalog(kUser).version(), 3);
}

TEST_F(CatalogMergeTest, AnotherUsersOrAnUnreadableCatalogCannotBeMerged) {
    EXPECT_EQ(mergeCatalogs(base_, base_, "<User>broken").outcome, CatalogMergeOutcome::Impossible);
    ASSERT_EQ(Catalog("other@sina.test").createNew("other@sina.test"), 0);
    EXPECT_EQ(
        mergeCatalogs(base_, base_, readFile(home_.path() / "other@sina.test_config")).outcome,
        CatalogMergeOutcome::Impossible);
    // An unreadable base only means that everything counts as added.
    EXPECT_EQ(mergeCatalogs("garbage", base_, base_).outcome, CatalogMergeOutcome::Merged);
}

}  // namespace
}  // namespace parvola::test
