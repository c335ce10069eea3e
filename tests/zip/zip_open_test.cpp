// Opening archives: the backwards search for the end record, bytes before the
// archive, damaged directories, what is refused and why, and finding entries.
#include <gtest/gtest.h>

#include "tests/zip/zip_test_support.h"
#include "zip/zip_archive.h"
#include "zip/zip_exception.h"
#include "zip/zip_pack.h"

namespace parvola {
namespace {

using test::buildRawZip;
using test::RawEntry;
using test::readFile;
using test::TempDir;
using test::writeFile;

// The cause ZipArchive::open throws for `bytes`, or 0 when it opens.
int openCause(const TempDir& dir, const std::string& bytes) {
    writeFile(dir / "t.zip", bytes);
    try {
        ZipArchive archive;
        archive.open((dir / "t.zip").string(), ZipArchive::OpenMode::openReadOnly);
        return 0;
    } catch (const ZipException& e) {
        EXPECT_EQ((dir / "t.zip").string(), e.path());
        return e.cause();
    }
}

// The cause extractEntry throws for entry 0 of `bytes`; 0 when it returns.
int extractCause(const TempDir& dir, const std::string& bytes, ZipResult* result = nullptr) {
    writeFile(dir / "t.zip", bytes);
    ZipArchive archive;
    archive.open((dir / "t.zip").string(), ZipArchive::OpenMode::openReadOnly);
    try {
        const ZipResult extracted = archive.extractEntry(0, (dir / "out").string());
        if (result)
            *result = extracted;
        return 0;
    } catch (const ZipException& e) {
        return e.cause();
    }
}

TEST(ZipOpen, EndRecordIsFoundWithinTheLastRecordPlusLongestComment) {
    TempDir dir;
    const std::vector<RawEntry> one = {{"a.txt", "hello", true}};
    EXPECT_EQ(0, openCause(dir, buildRawZip(one, std::string(100, 'c'))));
    // The longest comment puts the record exactly 65557 bytes from the end.
    EXPECT_EQ(0, openCause(dir, buildRawZip(one, std::string(0xFFFF, 'c'))));
    // One byte more and the signature lies outside the searched span.
    EXPECT_EQ(ZipException::endRecordNotFound,
              openCause(dir, buildRawZip(one, std::string(0xFFFF, 'c')) + "x"));
    EXPECT_EQ(ZipException::endRecordNotFound, openCause(dir, std::string(100000, '\0')));
    EXPECT_EQ(ZipException::endRecordNotFound, openCause(dir, ""));
    EXPECT_EQ(ZipException::endRecordNotFound, openCause(dir, "PK\x05"));
    // The signature alone, without the rest of its record.
    EXPECT_EQ(ZipException::damagedArchive, openCause(dir, "PK\x05\x06"));
}

TEST(ZipOpen, ArchiveCommentIsKeptWhenEntriesAreAdded) {
    TempDir dir;
    writeFile(dir / "t.zip", buildRawZip({{"a.txt", "hello", true}}, "remark"));
    writeFile(dir / "b.txt", "second");
    ZipArchive archive;
    archive.open((dir / "t.zip").string(), ZipArchive::OpenMode::open);
    ASSERT_EQ(archive.addFile((dir / "b.txt").string()), ZipResult::Ok);
    archive.close();
    std::string zip = readFile(dir / "t.zip");
    EXPECT_EQ("remark", zip.substr(zip.size() - 6));
    archive.open((dir / "t.zip").string(), ZipArchive::OpenMode::openReadOnly);
    ASSERT_EQ(2, archive.entryCount());
    ASSERT_EQ(archive.extractEntry(0, (dir / "out").string()), ZipResult::Ok);
    ASSERT_EQ(archive.extractEntry(1, (dir / "out").string()), ZipResult::Ok);
    EXPECT_EQ("hello", readFile(dir / "out" / "a.txt"));
    EXPECT_EQ("second", readFile(dir / "out" / "b.txt"));
}

TEST(ZipOpen, BytesBeforeTheArchiveAreAddedToEveryOffset) {
    TempDir dir;
    const std::string stub = "#!/bin/sh\necho stub\nexit 0\n" + std::string(977, '\x90');
    writeFile(dir / "t.zip",
              stub + buildRawZip({{"a.txt", "first", true}, {"b.txt", "second", false}}));
    ZipArchive archive;
    archive.open((dir / "t.zip").string(), ZipArchive::OpenMode::openReadOnly);
    ASSERT_EQ(2, archive.entryCount());
    ASSERT_EQ(archive.extractEntry(1, (dir / "out").string()), ZipResult::Ok);
    EXPECT_EQ("second", readFile(dir / "out" / "b.txt"));
}

TEST(ZipOpen, InconsistentDirectoriesAreDamaged) {
    TempDir dir;
    std::string good = buildRawZip({{"a.txt", "hello", true}});
    const size_t end = good.size() - 22;

    std::string countWithoutSize = good;
    countWithoutSize.replace(end + 12, 4, std::string(4, '\0'));
    EXPECT_EQ(ZipException::damagedArchive, openCause(dir, countWithoutSize));

    std::string sizeWithoutCount = good;
    sizeWithoutCount.replace(end + 8, 4, std::string(4, '\0'));
    EXPECT_EQ(ZipException::damagedArchive, openCause(dir, sizeWithoutCount));

    std::string pastEnd = good;
    pastEnd[end + 16] = static_cast<char>(pastEnd[end + 16] + 1);  // offset one too far
    EXPECT_EQ(ZipException::damagedArchive, openCause(dir, pastEnd));

    std::string badSignature = good;
    badSignature[good.find(zipbytes::kCentralSignature) + 2] = 'X';
    EXPECT_EQ(ZipException::damagedArchive, openCause(dir, badSignature));

    std::string moreEntriesThanRecords = good;
    moreEntriesThanRecords[end + 8] = moreEntriesThanRecords[end + 10] = 2;
    EXPECT_EQ(ZipException::damagedArchive, openCause(dir, moreEntriesThanRecords));

    // An empty archive is just an end record.
    EXPECT_EQ(0, openCause(dir, buildRawZip({})));
}

TEST(ZipOpen, LocalHeaderMustMatchItsCentralHeader) {
    TempDir dir;
    const std::string good = buildRawZip({{"a.txt", "hello hello hello", true}});
    ZipResult result = ZipResult::Refused;
    EXPECT_EQ(0, extractCause(dir, good, &result));
    EXPECT_EQ(result, ZipResult::Ok);

    auto changed = [&](size_t at, char value) {
        std::string bytes = good;
        bytes[at] = value;
        return bytes;
    };
    EXPECT_EQ(ZipException::damagedArchive, extractCause(dir, changed(0, 'X')));  // signature
    EXPECT_EQ(ZipException::damagedArchive, extractCause(dir, changed(6, 2)));    // flags
    EXPECT_EQ(ZipException::damagedArchive, extractCause(dir, changed(8, 0)));    // method
    EXPECT_EQ(ZipException::damagedArchive, extractCause(dir, changed(14, 1)));   // CRC-32
    EXPECT_EQ(ZipException::damagedArchive, extractCause(dir, changed(18, 1)));   // packed size
    EXPECT_EQ(ZipException::damagedArchive, extractCause(dir, changed(22, 1)));   // size
    EXPECT_EQ(ZipException::damagedArchive, extractCause(dir, changed(26, 4)));   // name length
    // A stored entry whose sizes disagree, a method this engine lacks.
    EXPECT_EQ(ZipException::damagedArchive,
              extractCause(dir, buildRawZip({{"a", "abc", false, 0, 8}})));
    EXPECT_EQ(ZipException::damagedArchive,
              extractCause(dir, buildRawZip({{"a", "abc", false, 0, 12}})));
}

TEST(ZipOpen, CorruptDataGivesCrcOrZlibCauseAndNoFile) {
    TempDir dir;
    const std::string text(2000, 'q');
    std::string bytes = buildRawZip({{"a.txt", text, false}});
    bytes[30 + 5 + 1000] = 'r';
    EXPECT_EQ(ZipException::crcMismatch, extractCause(dir, bytes));
    EXPECT_FALSE(std::filesystem::exists(dir / "out" / "a.txt"));

    std::string deflated = buildRawZip({{"a.txt", test::randomBytes(3000, 1), true}});
    deflated[30 + 5] = static_cast<char>(0xFF);  // reserved block type 3
    EXPECT_EQ(ZipException::zlibDataError, extractCause(dir, deflated));
    EXPECT_FALSE(std::filesystem::exists(dir / "out" / "a.txt"));
}

TEST(ZipOpen, EncryptedAndSpannedArchivesAreRefusedWithTheirCause) {
    TempDir dir;
    writeFile(dir / "secret.txt", "top secret");
    std::string out;
    ASSERT_EQ(0,
              test::runShell("cd " + dir.str() + " && zip -q -P pw enc.zip secret.txt 2>&1", &out))
        << out;
    EXPECT_EQ(ZipException::passwordRequired, extractCause(dir, readFile(dir / "enc.zip")));
    EXPECT_FALSE(std::filesystem::exists(dir / "out" / "secret.txt"));
    EXPECT_EQ(unpackFileFromZip((dir / "enc.zip").string(), dir.str(), "secret.txt"),
              ZipResult::Unsupported);

    // A split archive from Info-ZIP: its last part names other disks.
    writeFile(dir / "big.bin", test::randomBytes(300000, 7));
    ASSERT_EQ(0,
              test::runShell("cd " + dir.str() + " && zip -q -s 64k split.zip big.bin 2>&1", &out))
        << out;
    EXPECT_EQ(ZipException::needsDiskCallback, openCause(dir, readFile(dir / "split.zip")));

    ZipArchive archive;
    try {
        archive.open((dir / "s.zip").string(), ZipArchive::OpenMode::createSpanned, 0);
        ADD_FAILURE();
    } catch (const ZipException& e) {
        EXPECT_EQ(ZipException::needsDiskCallback, e.cause());
    }
    EXPECT_FALSE(archive.isOpen());
    EXPECT_FALSE(std::filesystem::exists(dir / "s.zip"));
}

TEST(ZipOpen, UnsupportedMethodFromInfoZipIsDamaged) {
    TempDir dir;
    writeFile(dir / "t.txt", std::string(5000, 'b'));
    std::string out;
    ASSERT_EQ(0, test::runShell("cd " + dir.str() + " && zip -q -Z bzip2 b.zip t.txt 2>&1", &out))
        << out;
    EXPECT_EQ(ZipException::damagedArchive, extractCause(dir, readFile(dir / "b.zip")));
}

TEST(ZipOpen, FindUsesSortedNamesWithOrWithoutCase) {
    TempDir dir;
    std::vector<RawEntry> entries;
    for (const char* name : {"zeta", "Alpha", "alpha", "beta/Gamma.txt", "BETA", "m\xE4\xB8\xAD"})
        entries.push_back({name, name, false});
    writeFile(dir / "t.zip", buildRawZip(entries));
    ZipArchive archive;
    archive.open((dir / "t.zip").string(), ZipArchive::OpenMode::openReadOnly);
    EXPECT_EQ(0, archive.findEntry("zeta", true));
    EXPECT_EQ(1, archive.findEntry("Alpha", true));
    EXPECT_EQ(2, archive.findEntry("alpha", true));
    EXPECT_EQ(-1, archive.findEntry("ALPHA", true));
    int anyAlpha = archive.findEntry("ALPHA", false);
    EXPECT_TRUE(anyAlpha == 1 || anyAlpha == 2);
    EXPECT_EQ(3, archive.findEntry("beta\\Gamma.txt", true));
    EXPECT_EQ(3, archive.findEntry("BETA/gamma.TXT", false));  // '/' is taken as '\'
    EXPECT_EQ(4, archive.findEntry("beta", false));
    EXPECT_EQ(-1, archive.findEntry("beta", true));
    EXPECT_EQ(-1, archive.findEntry("bet", false));
    EXPECT_EQ(-1, archive.findEntry("", false));
    ZipEntryHeader header;
    EXPECT_FALSE(archive.readEntryHeader(header, 6));
    EXPECT_FALSE(archive.readEntryHeader(header, -1));
    ASSERT_TRUE(archive.readEntryHeader(header, 3));
    EXPECT_EQ("beta\\Gamma.txt", header.fileName);
}

}  // namespace
}  // namespace parvola
