// The pack and unpack helpers the catalog persistence calls: round trips,
// lookup by name, and that a failure never damages what was there before.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/zip/zip_test_support.h"
#include "zip/zip_archive.h"
#include "zip/zip_pack.h"

namespace parvola {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(ZipPack, RoundTripsEmptySmallAndLargeFiles) {
    TempDir dir;
    const std::pair<const char*, std::string> cases[] = {
        {"empty_config", ""},
        {"small_config", "<Catalog/>"},
        {"noise_config", test::randomBytes(700000, 3)},
        {"text_config", std::string(3000000, 'a') + test::randomBytes(1000, 4)},
    };
    for (const auto& [name, content] : cases) {
        writeFile(dir / name, content);
        const std::string zip = (dir / (std::string(name) + ".zip")).string();
        ASSERT_EQ(packFileToZip((dir / name).string(), zip), ZipResult::Ok) << name;
        ASSERT_EQ(unpackFileFromZip(zip, (dir / "out").string(), name), ZipResult::Ok) << name;
        EXPECT_EQ(content, readFile(dir / "out" / name)) << name;
    }
}

// The archives are catalogs: the zip and what unpacks from it are the
// owner's alone, whatever the umask.
TEST(ZipPack, ArchiveAndUnpackedFileAreOwnerOnly) {
    TempDir dir;
    const mode_t old = ::umask(0);
    writeFile(dir / "a_config", "<Catalog/>");
    const std::string zip = (dir / "a_config.zip").string();
    const ZipResult packed = packFileToZip((dir / "a_config").string(), zip);
    const ZipResult unpacked = packed == ZipResult::Ok
                                   ? unpackFileFromZip(zip, (dir / "out").string(), "a_config")
                                   : packed;
    ::umask(old);
    ASSERT_EQ(packed, ZipResult::Ok);
    ASSERT_EQ(unpacked, ZipResult::Ok);
    for (const auto& path : {dir / "a_config.zip", dir / "out" / "a_config"}) {
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0) << path;
        EXPECT_EQ(st.st_mode & 0777, 0600u) << path;
    }
}

TEST(ZipPack, UnpackFindsTheEntryWhateverItsLetterCase) {
    TempDir dir;
    writeFile(dir / "Someone@Sina.com_config", "catalog");
    ASSERT_EQ(packFileToZip((dir / "Someone@Sina.com_config").string(), (dir / "c.zip").string()),
              ZipResult::Ok);
    ASSERT_EQ(unpackFileFromZip((dir / "c.zip").string(), (dir / "out").string(),
                                "someone@sina.com_config"),
              ZipResult::Ok);
    // Written under the name asked for, so the caller finds it on this file system.
    EXPECT_EQ("catalog", readFile(dir / "out" / "someone@sina.com_config"));
    EXPECT_EQ(unpackFileFromZip((dir / "c.zip").string(), (dir / "out").string(), "other"),
              ZipResult::NotFound);
}

TEST(ZipPack, ExtractionReplacesTheOldFileAndKeepsTheEntryTime) {
    TempDir dir;
    writeFile(dir / "u_config", "new catalog");
    struct timespec times[2] = {{1256450000, 0}, {1256450000, 0}};
    ASSERT_EQ(0, utimensat(AT_FDCWD, (dir / "u_config").c_str(), times, 0));
    ASSERT_EQ(packFileToZip((dir / "u_config").string(), (dir / "c.zip").string()), ZipResult::Ok);
    std::filesystem::create_directory(dir / "home");
    writeFile(dir / "home" / "u_config", "old catalog, longer than the new one");
    ASSERT_EQ(unpackFileFromZip((dir / "c.zip").string(), (dir / "home").string(), "u_config"),
              ZipResult::Ok);
    EXPECT_EQ("new catalog", readFile(dir / "home" / "u_config"));
    struct stat st {};
    ASSERT_EQ(0, stat((dir / "home" / "u_config").c_str(), &st));
    EXPECT_EQ(1256450000, st.st_mtime);  // DOS time has two-second steps; this one is even
    EXPECT_EQ(std::vector<std::string>{"u_config"}, test::filesBelow(dir / "home"));
}

TEST(ZipPack, MissingArchiveOrSourceFailsWithoutLeavingFiles) {
    TempDir dir;
    writeFile(dir / "s", "x");
    EXPECT_EQ(packFileToZip((dir / "s").string(), (dir / "a.zip").string(), true),
              ZipResult::CannotOpen);
    EXPECT_EQ(packFileToZip((dir / "missing").string(), (dir / "a.zip").string()),
              ZipResult::CannotOpen);
    EXPECT_EQ(unpackFileFromZip((dir / "a.zip").string(), dir.str(), "s"), ZipResult::CannotOpen);
    EXPECT_EQ(packFileToZip((dir / "s").string(), (dir / "no-such-dir" / "a.zip").string()),
              ZipResult::FileError);
    EXPECT_EQ(std::vector<std::string>{"s"}, test::filesBelow(dir.path()));
    // With must-exist and an archive in place, pack replaces it.
    ASSERT_EQ(packFileToZip((dir / "s").string(), (dir / "a.zip").string()), ZipResult::Ok);
    writeFile(dir / "s", "y");
    ASSERT_EQ(packFileToZip((dir / "s").string(), (dir / "a.zip").string(), true), ZipResult::Ok);
    ASSERT_EQ(unpackFileFromZip((dir / "a.zip").string(), (dir / "out").string(), "s"),
              ZipResult::Ok);
    EXPECT_EQ("y", readFile(dir / "out" / "s"));
}

TEST(ZipPack, FailedPackLeavesTheEarlierArchiveWhole) {
    TempDir dir;
    writeFile(dir / "u_config", "good catalog");
    ASSERT_EQ(packFileToZip((dir / "u_config").string(), (dir / "c.zip").string()), ZipResult::Ok);
    const std::string before = readFile(dir / "c.zip");

    // A source that opens but whose read fails part-way.
    EXPECT_EQ(packFileToZip("/proc/self/mem", (dir / "c.zip").string()), ZipResult::FileError);
    // A source that cannot be opened at all.
    EXPECT_EQ(packFileToZip((dir / "gone").string(), (dir / "c.zip").string()),
              ZipResult::CannotOpen);
    EXPECT_EQ(before, readFile(dir / "c.zip"));
    EXPECT_EQ((std::vector<std::string>{"c.zip", "u_config"}), test::filesBelow(dir.path()));
}

TEST(ZipPack, FailedUnpackLeavesTheEarlierFileWhole) {
    TempDir dir;
    writeFile(dir / "u_config", std::string(5000, 'n'));
    ASSERT_EQ(packFileToZip((dir / "u_config").string(), (dir / "c.zip").string()), ZipResult::Ok);
    std::string zip = readFile(dir / "c.zip");
    zip[40] = static_cast<char>(zip[40] ^ 0x55);  // inside the compressed data
    writeFile(dir / "c.zip", zip);
    std::filesystem::create_directory(dir / "home");
    writeFile(dir / "home" / "u_config", "previous catalog");
    EXPECT_EQ(unpackFileFromZip((dir / "c.zip").string(), (dir / "home").string(), "u_config"),
              ZipResult::Damaged);
    EXPECT_EQ("previous catalog", readFile(dir / "home" / "u_config"));
    EXPECT_EQ(std::vector<std::string>{"u_config"}, test::filesBelow(dir / "home"));
}

TEST(ZipPack, ProgressCanStopAddAndExtract) {
    TempDir dir;
    writeFile(dir / "f", test::randomBytes(300000, 9));
    ZipArchive archive;
    archive.open((dir / "p.zip").string(), ZipArchive::OpenMode::create);
    uint64_t lastTotal = 0;
    EXPECT_EQ(archive.addFile((dir / "f").string(), -1, false,
                              [&](uint64_t total, uint64_t done) {
                                  lastTotal = total;
                                  return done < 100000;
                              }),
              ZipResult::Stopped);
    EXPECT_EQ(300000u, lastTotal);
    EXPECT_EQ(0, archive.entryCount());
    ASSERT_EQ(archive.addFile((dir / "f").string()), ZipResult::Ok);
    archive.close();
    archive.open((dir / "p.zip").string(), ZipArchive::OpenMode::openReadOnly);
    ASSERT_EQ(1, archive.entryCount());
    EXPECT_EQ(archive.extractEntry(0, (dir / "out").string(), false, {},
                                   [](uint64_t, uint64_t done) { return done < 100000; }),
              ZipResult::Stopped);
    EXPECT_TRUE(test::filesBelow(dir / "out").empty());
    ASSERT_EQ(archive.extractEntry(0, (dir / "out").string()), ZipResult::Ok);
    EXPECT_EQ(readFile(dir / "f"), readFile(dir / "out" / "f"));
}

TEST(ZipPack, ChineseNamesTravelInTheWireCodePage) {
    TempDir dir;
    // U+4E57 is 81 5C in GB18030: its trail byte is a backslash.
    const std::string name = "\xE4\xB9\x97\xE7\x94\xA8\xE6\x88\xB7_config";
    writeFile(dir / name, "catalog");
    ASSERT_EQ(packFileToZip((dir / name).string(), (dir / "c.zip").string()), ZipResult::Ok);
    std::string zip = readFile(dir / "c.zip");
    const std::string wire = "\x81\x5C\xD3\xC3\xBB\xA7_config";
    EXPECT_EQ(wire, zip.substr(30, wire.size()));
    ASSERT_EQ(unpackFileFromZip((dir / "c.zip").string(), (dir / "out").string(), name),
              ZipResult::Ok);
    EXPECT_EQ("catalog", readFile(dir / "out" / name));
    ZipArchive archive;
    archive.open((dir / "c.zip").string(), ZipArchive::OpenMode::openReadOnly);
    ZipEntryHeader header;
    ASSERT_TRUE(archive.readEntryHeader(header, 0));
    EXPECT_EQ(name, header.fileName);
}

TEST(ZipPack, ArchiveFromWindowsClientWithChineseNameOpens) {
    TempDir dir;
    // A name as a Windows client in code page 936 writes it: GBK bytes, no UTF-8 flag.
    writeFile(dir / "w.zip",
              test::buildRawZip({{"\xD3\xC3\xBB\xA7/\xCE\xC4\xBC\xFE.txt", "data", true}}));
    ZipArchive archive;
    archive.open((dir / "w.zip").string(), ZipArchive::OpenMode::openReadOnly);
    const std::string utf8 = "\xE7\x94\xA8\xE6\x88\xB7\\\xE6\x96\x87\xE4\xBB\xB6.txt";
    EXPECT_EQ(0, archive.findEntry(utf8, true));
    ASSERT_EQ(archive.extractEntry(0, (dir / "out").string(), true), ZipResult::Ok);
    EXPECT_EQ("data",
              readFile(dir / "out" / "\xE7\x94\xA8\xE6\x88\xB7" / "\xE6\x96\x87\xE4\xBB\xB6.txt"));
}

}  // namespace
}  // namespace parvola
