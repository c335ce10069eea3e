// Hostile entry names: nothing an archive holds may be written outside the
// destination folder, with or without keep-full-path.
#include <gtest/gtest.h>

#include "tests/zip/zip_test_support.h"
#include "zip/zip_archive.h"
#include "zip/zip_names.h"
#include "zip/zip_pack.h"

namespace parvola {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// Extracts every entry of an archive holding `name` into <dir>/dest/inner and
// returns the files found anywhere below <dir> afterwards (the archive aside).
std::vector<std::string> extractAndList(const std::string& name, bool keepFullPath) {
    TempDir dir;
    writeFile(dir / "t.zip", test::buildRawZip({{name, "payload", false}}));
    std::filesystem::create_directories(dir / "dest" / "inner");
    ZipArchive archive;
    archive.open((dir / "t.zip").string(), ZipArchive::OpenMode::openReadOnly);
    archive.extractEntry(0, (dir / "dest" / "inner").string(), keepFullPath);
    std::vector<std::string> files = test::filesBelow(dir.path());
    files.erase(std::find(files.begin(), files.end(), "t.zip"));
    return files;
}

TEST(ZipExtractSafety, HostileNamesStayInsideTheDestination) {
    const char* names[] = {
        "../evil",
        "..\\evil",
        "../../evil",
        "inner/../../evil",
        "a/../../evil",
        "..",
        "/tmp/evil-abs",
        "\\evil-abs",
        "C:\\evil",
        "C:/evil",
        "c:evil",
        "C:..\\evil",
        "./../evil",
        "a\\..\\..\\..\\evil",
        "//server/share/evil",
    };
    for (const char* name : names) {
        for (bool keep : {false, true}) {
            for (const std::string& file : extractAndList(name, keep)) {
                EXPECT_EQ(0u, file.rfind("dest/inner/", 0))
                    << name << " keep=" << keep << " wrote " << file;
            }
        }
    }
    EXPECT_FALSE(std::filesystem::exists("/tmp/evil-abs"));
}

TEST(ZipExtractSafety, AbsoluteAndDriveNamesLandBelowTheDestination) {
    EXPECT_EQ(std::vector<std::string>{"dest/inner/tmp/evil-abs"},
              extractAndList("/tmp/evil-abs", true));
    EXPECT_EQ(std::vector<std::string>{"dest/inner/evil-abs"},
              extractAndList("/tmp/evil-abs", false));
    EXPECT_EQ(std::vector<std::string>{"dest/inner/dir/file"},
              extractAndList("C:\\dir\\file", true));
    EXPECT_EQ(std::vector<std::string>{"dest/inner/file"}, extractAndList("C:\\dir\\file", false));
    // A ".." anywhere refuses the entry.
    EXPECT_TRUE(extractAndList("a/../b", true).empty());
    EXPECT_TRUE(extractAndList("..", false).empty());
}

TEST(ZipExtractSafety, SymbolicLinkUnderTheDestinationIsNotFollowed) {
    TempDir dir;
    std::filesystem::create_directories(dir / "dest");
    std::filesystem::create_directories(dir / "outside");
    std::filesystem::create_directory_symlink(dir / "outside", dir / "dest" / "link");
    writeFile(dir / "t.zip", test::buildRawZip({{"link/evil", "payload", false}}));
    ZipArchive archive;
    archive.open((dir / "t.zip").string(), ZipArchive::OpenMode::openReadOnly);
    EXPECT_EQ(archive.extractEntry(0, (dir / "dest").string(), true), ZipResult::UnsafeName);
    EXPECT_TRUE(std::filesystem::is_empty(dir / "outside"));

    // A link in place of the target file is replaced, never written through.
    writeFile(dir / "outside" / "victim", "keep me");
    std::filesystem::create_symlink(dir / "outside" / "victim", dir / "dest" / "f_config");
    writeFile(dir / "u.zip", test::buildRawZip({{"f_config", "catalog", true}}));
    ASSERT_EQ(unpackFileFromZip((dir / "u.zip").string(), (dir / "dest").string(), "f_config"),
              ZipResult::Ok);
    EXPECT_EQ("keep me", readFile(dir / "outside" / "victim"));
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "dest" / "f_config"));
    EXPECT_EQ("catalog", readFile(dir / "dest" / "f_config"));
}

TEST(ZipExtractSafety, UnpackRefusesAClimbingNameAndWritesNothing) {
    TempDir dir;
    writeFile(dir / "t.zip", test::buildRawZip({{"../x_config", "payload", true},
                                                {"sub/y_config", "other", true}}));
    std::filesystem::create_directory(dir / "dest");
    EXPECT_EQ(unpackFileFromZip((dir / "t.zip").string(), (dir / "dest").string(), "../x_config"),
              ZipResult::UnsafeName);
    // A folder in the entry name is dropped: the file lands in the destination.
    ASSERT_EQ(unpackFileFromZip((dir / "t.zip").string(), (dir / "dest").string(), "sub/y_config"),
              ZipResult::Ok);
    EXPECT_EQ((std::vector<std::string>{"dest/y_config", "t.zip"}), test::filesBelow(dir.path()));
}

TEST(ZipExtractSafety, SafePartsOfNames) {
    using Parts = std::vector<std::string>;
    EXPECT_EQ(Parts({"a", "b.txt"}), safeRelativeParts("a\\b.txt", true, false));
    EXPECT_EQ(Parts({"b.txt"}), safeRelativeParts("a\\b.txt", false, false));
    EXPECT_EQ(Parts({"a", "b"}), safeRelativeParts("\\\\a\\.\\b", true, false));
    EXPECT_EQ(Parts({"a"}), safeRelativeParts("a\\", true, true));
    EXPECT_EQ(Parts({}), safeRelativeParts("a\\", false, true));
    EXPECT_EQ(std::nullopt, safeRelativeParts("", true, false));
    EXPECT_EQ(std::nullopt, safeRelativeParts("C:", true, false));
    EXPECT_EQ(std::nullopt, safeRelativeParts("a\\.", false, false));
    EXPECT_EQ(std::nullopt, safeRelativeParts(std::string("a\0b", 3), true, false));
}

}  // namespace
}  // namespace parvola
