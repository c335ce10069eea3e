// A damaged archive never yields a file that counts as success: every single
// byte change and every truncation of a small archive either fails or gives
// back exactly the original bytes.
#include <gtest/gtest.h>

#include "tests/zip/zip_test_support.h"
#include "zip/zip_pack.h"

namespace parvola {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

const char kEntry[] = "someone@sina.com_config";

struct DamageRun {
    int failures = 0;
    int exactCopies = 0;
};

// Unpacks `archive` into a fresh folder; checks the outcome is a clean failure
// (nothing left behind) or the exact original.
void unpackDamaged(const TempDir& dir, const std::string& archive, const std::string& original,
                   const std::string& what, DamageRun& run) {
    // New names each time: rewriting one file in place makes the file system
    // flush it, which would make this test needlessly slow.
    const std::string id = std::to_string(run.failures + run.exactCopies);
    const auto zip = dir / ("bad" + id + ".zip");
    const auto out = dir / ("out" + id);
    writeFile(zip, archive);
    std::filesystem::create_directory(out);
    const bool ok = unpackFileFromZip(zip.string(), out.string(), kEntry) == ZipResult::Ok;
    std::vector<std::string> files = test::filesBelow(out);
    const std::string copy = ok && files.size() == 1 ? readFile(out / kEntry) : std::string();
    std::filesystem::remove(zip);
    std::filesystem::remove_all(out);
    if (ok) {
        ++run.exactCopies;
        ASSERT_EQ(std::vector<std::string>{kEntry}, files) << what;
        ASSERT_EQ(original, copy) << what;
    } else {
        ++run.failures;
        ASSERT_TRUE(files.empty()) << what << " left " << files.front();
    }
}

std::string smallCatalog() {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Catalog Version=\"12\">";
    for (int i = 0; i < 6; ++i)
        xml += "<File Name=\"photo" + std::to_string(i) + ".jpg\" Size=\"" +
               std::to_string(1000 + i * 37) + "\" Time=\"09-10-25 13:45:58\"/>";
    return xml + "</Catalog>\n";
}

TEST(ZipDamage, EveryChangedByteFailsOrGivesTheOriginal) {
    TempDir dir;
    const std::string original = smallCatalog();
    writeFile(dir / kEntry, original);
    ASSERT_EQ(packFileToZip((dir / kEntry).string(), (dir / "good.zip").string()), ZipResult::Ok);
    const std::string good = readFile(dir / "good.zip");
    ASSERT_LT(good.size(), 1000u);

    DamageRun run;
    for (unsigned char mask : {0xFF, 0x01, 0x80, 0x20}) {
        for (size_t i = 0; i < good.size(); ++i) {
            std::string bad = good;
            bad[i] = static_cast<char>(bad[i] ^ mask);
            unpackDamaged(dir, bad, original,
                          "byte " + std::to_string(i) + " mask " + std::to_string(mask), run);
            if (HasFatalFailure())
                return;
        }
    }
    // Most changes must be caught; the few that pass touch only fields that
    // do not affect the content (times, attributes, version made by, letter case).
    EXPECT_GT(run.failures, run.exactCopies);
}

TEST(ZipDamage, EveryTruncationFailsCleanly) {
    TempDir dir;
    const std::string original = smallCatalog();
    writeFile(dir / kEntry, original);
    ASSERT_EQ(packFileToZip((dir / kEntry).string(), (dir / "good.zip").string()), ZipResult::Ok);
    const std::string good = readFile(dir / "good.zip");
    DamageRun run;
    for (size_t size = 0; size < good.size(); ++size) {
        unpackDamaged(dir, good.substr(0, size), original, "size " + std::to_string(size), run);
        if (HasFatalFailure())
            return;
    }
    EXPECT_EQ(0, run.exactCopies);
}

TEST(ZipDamage, ForgedSizesNeverExpandBeyondTheHeader) {
    TempDir dir;
    // A deflate stream of 1 MB zeros in an entry that claims 100 bytes.
    std::string zeros(1 << 20, '\0');
    std::string zip = test::buildRawZip({{kEntry, zeros, true}});
    for (size_t at : {size_t{22}, zip.find(zipbytes::kCentralSignature) + 24}) {
        zip[at] = 100;
        zip[at + 1] = zip[at + 2] = zip[at + 3] = 0;
    }
    DamageRun run;
    unpackDamaged(dir, zip, zeros, "forged size", run);
    EXPECT_EQ(1, run.failures);
}

}  // namespace
}  // namespace parvola
