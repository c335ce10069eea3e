// The exact bytes the engine writes: header fields, flags, DOS date and time,
// the end record, and the limits on entries and field lengths.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>

#include "tests/zip/zip_test_support.h"
#include "zip/zip_archive.h"
#include "zip/zip_dos_time.h"
#include "zip/zip_exception.h"
#include "zip/zip_pack.h"

namespace parvola {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;
using zipbytes::get16;
using zipbytes::get32;

void setLocalMtime(const std::string& path, int year, int month, int day, int hour, int minute,
                   int second) {
    struct tm local {};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = mktime(&local);
    times[0].tv_nsec = times[1].tv_nsec = 0;
    ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, 0));
}

TEST(ZipRecords, EmptyFileGivesDeflatedEntryWithTwoByteStream) {
    TempDir dir;
    writeFile(dir / "empty", "");
    ASSERT_EQ(packFileToZip((dir / "empty").string(), (dir / "a.zip").string()), ZipResult::Ok);
    std::string zip = readFile(dir / "a.zip");
    ASSERT_EQ(30u + 5 + 2 + 46 + 5 + 22, zip.size());
    EXPECT_EQ(zipbytes::kLocalSignature, zip.substr(0, 4));
    EXPECT_EQ(8, get16(zip, 8));    // method
    EXPECT_EQ(0u, get32(zip, 14));  // CRC-32
    EXPECT_EQ(2u, get32(zip, 18));  // compressed
    EXPECT_EQ(0u, get32(zip, 22));  // uncompressed
    EXPECT_EQ(std::string("\x03\x00", 2), zip.substr(35, 2));
    size_t central = 37;
    EXPECT_EQ(zipbytes::kCentralSignature, zip.substr(central, 4));
    EXPECT_EQ(8, get16(zip, central + 10));
    EXPECT_EQ(0u, get32(zip, central + 16));
    EXPECT_EQ(2u, get32(zip, central + 20));
    EXPECT_EQ(0u, get32(zip, central + 24));
}

TEST(ZipRecords, CatalogArchiveHasExactHeadersAndEndRecord) {
    TempDir dir;
    const std::string name = "someone@sina.com_config";
    const std::string content = "<Catalog Version=\"7\"><User Name=\"someone\"/></Catalog>\n";
    writeFile(dir / name, content);
    setLocalMtime((dir / name).string(), 2009, 10, 25, 13, 45, 58);
    ASSERT_EQ(packFileToZip((dir / name).string(), (dir / "c.zip").string()), ZipResult::Ok);
    std::string zip = readFile(dir / "c.zip");

    // Local header.
    EXPECT_EQ(zipbytes::kLocalSignature, zip.substr(0, 4));
    EXPECT_EQ(20, get16(zip, 4));  // version needed
    EXPECT_EQ(0, get16(zip, 6));   // flags
    EXPECT_EQ(8, get16(zip, 8));
    const uint16_t dosTime = 13 * 2048 + 45 * 32 + 58 / 2;
    const uint16_t dosDate = 25 + (2009 - 1980) * 512 + 10 * 32;
    EXPECT_EQ(dosTime, get16(zip, 10));
    EXPECT_EQ(dosDate, get16(zip, 12));
    EXPECT_EQ(test::crcOf(content), get32(zip, 14));
    const uint32_t packed = get32(zip, 18);
    EXPECT_EQ(content.size(), get32(zip, 22));
    EXPECT_EQ(name.size(), get16(zip, 26));
    EXPECT_EQ(0, get16(zip, 28));
    EXPECT_EQ(name, zip.substr(30, name.size()));

    // Central header right after the data.
    const size_t central = 30 + name.size() + packed;
    EXPECT_EQ(zipbytes::kCentralSignature, zip.substr(central, 4));
    EXPECT_EQ(20, get16(zip, central + 4));  // made by
    EXPECT_EQ(20, get16(zip, central + 6));  // needed
    EXPECT_EQ(0, get16(zip, central + 8));
    EXPECT_EQ(8, get16(zip, central + 10));
    EXPECT_EQ(dosTime, get16(zip, central + 12));
    EXPECT_EQ(dosDate, get16(zip, central + 14));
    EXPECT_EQ(test::crcOf(content), get32(zip, central + 16));
    EXPECT_EQ(packed, get32(zip, central + 20));
    EXPECT_EQ(content.size(), get32(zip, central + 24));
    EXPECT_EQ(name.size(), get16(zip, central + 28));
    EXPECT_EQ(0, get16(zip, central + 30));  // extra
    EXPECT_EQ(0, get16(zip, central + 32));  // comment
    EXPECT_EQ(0, get16(zip, central + 34));  // disk
    EXPECT_EQ(0, get16(zip, central + 36));  // internal attributes
    EXPECT_EQ(0x20u, get32(zip, central + 38));
    EXPECT_EQ(0u, get32(zip, central + 42));
    EXPECT_EQ(name, zip.substr(central + 46, name.size()));

    // End record: 22 bytes, one entry, no comment, ends the file.
    const size_t end = central + 46 + name.size();
    ASSERT_EQ(end + 22, zip.size());
    EXPECT_EQ(zipbytes::kEndSignature, zip.substr(end, 4));
    EXPECT_EQ(0, get16(zip, end + 4));
    EXPECT_EQ(0, get16(zip, end + 6));
    EXPECT_EQ(1, get16(zip, end + 8));
    EXPECT_EQ(1, get16(zip, end + 10));
    EXPECT_EQ(46 + name.size(), get32(zip, end + 12));
    EXPECT_EQ(central, get32(zip, end + 16));
    EXPECT_EQ(0, get16(zip, end + 20));
}

TEST(ZipRecords, LevelSetsMethodAndFlagHints) {
    TempDir dir;
    writeFile(dir / "f", std::string(1000, 'x'));
    const std::pair<int, std::pair<int, int>> cases[] = {
        {0, {0, 0}}, {1, {8, 6}}, {2, {8, 4}}, {5, {8, 0}}, {-1, {8, 0}}, {8, {8, 2}}, {9, {8, 2}},
    };
    for (const auto& [level, expected] : cases) {
        ZipArchive archive;
        archive.open((dir / "l.zip").string(), ZipArchive::OpenMode::create);
        ASSERT_EQ(archive.addFile((dir / "f").string(), level), ZipResult::Ok) << level;
        archive.close();
        std::string zip = readFile(dir / "l.zip");
        EXPECT_EQ(expected.first, get16(zip, 8)) << level;
        EXPECT_EQ(expected.second, get16(zip, 6)) << level;
    }
    ZipArchive archive;
    archive.open((dir / "l.zip").string(), ZipArchive::OpenMode::create);
    EXPECT_EQ(archive.addFile((dir / "f").string(), 10), ZipResult::Refused);
    EXPECT_EQ(archive.addFile((dir / "f").string(), -1, false, {}, 0),  // no buffer
              ZipResult::Refused);
    EXPECT_EQ(archive.addFile((dir / "missing").string()), ZipResult::CannotOpen);
    EXPECT_EQ(0, archive.entryCount());
}

TEST(ZipRecords, DosDateAndTimeFollowTheFormula) {
    auto local = [](int y, int mo, int d, int h, int mi, int s) {
        struct tm t {};
        t.tm_year = y - 1900;
        t.tm_mon = mo - 1;
        t.tm_mday = d;
        t.tm_hour = h;
        t.tm_min = mi;
        t.tm_sec = s;
        t.tm_isdst = -1;
        return mktime(&t);
    };
    DosDateTime a = dosDateTimeFromTime(local(2009, 10, 25, 13, 45, 59));
    EXPECT_EQ(25 + 29 * 512 + 10 * 32, a.date);
    EXPECT_EQ(13 * 2048 + 45 * 32 + 29, a.time);  // odd seconds round down
    DosDateTime b = dosDateTimeFromTime(local(1980, 1, 1, 0, 0, 0));
    EXPECT_EQ(1 + 32, b.date);
    EXPECT_EQ(0, b.time);
    DosDateTime c = dosDateTimeFromTime(local(1975, 6, 15, 23, 59, 58));
    EXPECT_EQ(15 + 6 * 32, c.date);  // no year term before 1980
    EXPECT_EQ(23 * 2048 + 59 * 32 + 29, c.time);
    EXPECT_EQ(local(2009, 10, 25, 13, 45, 58), timeFromDosDateTime(a.date, a.time));
}

TEST(ZipRecords, DirectoryEntryIsStoredWithTrailingSlash) {
    TempDir dir;
    std::filesystem::create_directory(dir / "sub");
    ZipArchive archive;
    archive.open((dir / "d.zip").string(), ZipArchive::OpenMode::create);
    ASSERT_EQ(archive.addFile((dir / "sub").string(), 6), ZipResult::Ok);
    archive.close();
    std::string zip = readFile(dir / "d.zip");
    EXPECT_EQ(0, get16(zip, 8));
    EXPECT_EQ("sub/", zip.substr(30, 4));
    archive.open((dir / "d.zip").string(), ZipArchive::OpenMode::openReadOnly);
    ZipEntryHeader header;
    ASSERT_TRUE(archive.readEntryHeader(header, 0));
    EXPECT_EQ("sub\\", header.fileName);
    EXPECT_TRUE(header.isDirectory());
    EXPECT_EQ(0x10u, header.externalAttributes);
}

TEST(ZipRecords, KeepFullPathStoresRelativeForwardSlashNames) {
    TempDir dir;
    std::filesystem::create_directories(dir / "a" / "b");
    writeFile(dir / "a" / "b" / "f.txt", "data");
    ZipArchive archive;
    archive.open((dir / "k.zip").string(), ZipArchive::OpenMode::create);
    ASSERT_EQ(archive.addFile((dir / "a" / "b" / "f.txt").string(), -1, true), ZipResult::Ok);
    archive.close();
    std::string zip = readFile(dir / "k.zip");
    std::string stored = zip.substr(30, get16(zip, 26));
    EXPECT_NE('/', stored.front());  // never an absolute name
    EXPECT_EQ((dir / "a" / "b" / "f.txt").string().substr(1), stored);
}

TEST(ZipRecords, AtMost65535EntriesAndOneMoreIsRefused) {
    TempDir dir;
    writeFile(dir / "f", "");
    ZipArchive archive;
    archive.open((dir / "many.zip").string(), ZipArchive::OpenMode::create);
    for (int i = 0; i < ZipArchive::kMaxEntries; ++i)
        ASSERT_EQ(archive.addFile((dir / "f").string(), 0), ZipResult::Ok) << i;
    EXPECT_EQ(archive.addFile((dir / "f").string(), 0), ZipResult::Refused);
    archive.close();
    std::string zip = readFile(dir / "many.zip");
    EXPECT_EQ(0xFFFF, get16(zip, zip.size() - 12));
    archive.open((dir / "many.zip").string(), ZipArchive::OpenMode::openReadOnly);
    EXPECT_EQ(0xFFFF, archive.entryCount());
}

TEST(ZipRecords, FieldsOver65535BytesDoNotFit) {
    ZipEntryHeader header;
    header.storedName = std::string(0xFFFF, 'n');
    header.extraField = std::string(0xFFFF, 'e');
    header.comment = std::string(0xFFFF, 'c');
    EXPECT_TRUE(header.fieldLengthsFit());
    header.storedName += 'n';
    EXPECT_FALSE(header.fieldLengthsFit());
    header.storedName.pop_back();
    header.comment += 'c';
    EXPECT_FALSE(header.fieldLengthsFit());
}

TEST(ZipRecords, ExceptionCarriesCauseAndPathAndMapsZlibResults) {
    ZipException e(ZipException::crcMismatch, "/x.zip");
    EXPECT_EQ(11, e.cause());
    EXPECT_EQ("/x.zip", e.path());
    const int zlibResults[] = {Z_STREAM_END, Z_NEED_DICT, Z_ERRNO,     Z_STREAM_ERROR,
                               Z_DATA_ERROR, Z_MEM_ERROR, Z_BUF_ERROR, Z_VERSION_ERROR};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(2 + i, ZipException::causeFromZlib(zlibResults[i]));
    EXPECT_EQ(1, ZipException::causeFromZlib(Z_OK));
}

}  // namespace
}  // namespace parvola
