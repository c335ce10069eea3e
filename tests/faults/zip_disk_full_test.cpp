// The disk fills up while a catalog archive is packed or unpacked: the result
// says so (not "damaged", not a plain failure), and neither a half archive
// nor a half catalog is left where the whole one was.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/faults/disk_filler.h"
#include "tests/faults/scoped_tmpfs.h"
#include "tests/support/temp_dir.h"
#include "zip/zip_pack.h"

namespace parvola::test {
namespace {

namespace fs = std::filesystem;

const std::string kName = "full@sohu.test_config";

TEST(ZipDiskFull, PackAndUnpackOnAFullDiskSayDiskFullAndKeepTheOldFiles) {
    ScopedTmpfs disk(256 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << disk.reason();
    TempDir sources;
    // Random bytes do not deflate: the archive is as big as the catalog.
    writeFile(sources / kName, randomBytes(64 * 1024, 17));
    const std::string archive = (disk.path() / "c.zip").string();
    ASSERT_EQ(packFileToZip((sources / kName).string(), archive), ZipResult::Ok);
    const std::string packed = readFile(archive);
    fs::create_directory(disk.path() / "home");
    writeFile(disk.path() / "home" / kName, "previous catalog");
    ASSERT_TRUE(fillDisk(disk.str()));

    EXPECT_EQ(packFileToZip((sources / kName).string(), archive), ZipResult::DiskFull);
    EXPECT_TRUE(readFile(archive) == packed);
    EXPECT_EQ(unpackFileFromZip(archive, (disk.path() / "home").string(), kName),
              ZipResult::DiskFull);
    EXPECT_EQ(readFile(disk.path() / "home" / kName), "previous catalog");
    EXPECT_EQ((std::vector<std::string>{"c.zip", "filler", "home/" + kName}),
              filesBelow(disk.path()));
}

}  // namespace
}  // namespace parvola::test
