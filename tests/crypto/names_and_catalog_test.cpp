// Name tokens and the sealed catalog.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "crypto/catalog_seal.h"
#include "crypto/name_token.h"

namespace parvola {
namespace {

DataKey derived(const DataKey& data, KeyPurpose purpose) {
    DataKey key;
    EXPECT_EQ(data.derive(purpose, key), CryptoResult::Ok);
    return key;
}

DataKey freshKey() {
    DataKey key;
    EXPECT_EQ(DataKey::random(key), CryptoResult::Ok);
    return key;
}

TEST(NameToken, SameNameSameTokenOtherNameOrKeyOtherToken) {
    DataKey data = freshKey();
    DataKey names = derived(data, KeyPurpose::Names);
    std::string a, again, b, otherKey;
    ASSERT_EQ(nameToken(names, "年度报告.pdf", a), CryptoResult::Ok);
    ASSERT_EQ(nameToken(names, "年度报告.pdf", again), CryptoResult::Ok);
    ASSERT_EQ(nameToken(names, "年度报告.PDF", b), CryptoResult::Ok);
    ASSERT_EQ(nameToken(derived(freshKey(), KeyPurpose::Names), "年度报告.pdf", otherKey),
              CryptoResult::Ok);
    EXPECT_EQ(a, again);
    EXPECT_NE(a, b);
    EXPECT_NE(a, otherKey);
    for (const std::string& token : {a, b, otherKey}) {
        EXPECT_EQ(token.size(), kNameTokenLength);
        EXPECT_TRUE(looksLikeNameToken(token)) << token;
        EXPECT_EQ(token.find_first_of(";/\\:. "), std::string::npos) << token;
    }
    EXPECT_FALSE(looksLikeNameToken("年度报告.pdf"));
    EXPECT_FALSE(looksLikeNameToken(a.substr(1)));
    std::string none;
    EXPECT_EQ(nameToken(DataKey(), "x", none), CryptoResult::Refused);
}

TEST(NameToken, KnownValueStaysTheSameAcrossBuilds) {
    // A token written by one version must be found by the next: the value is
    // Python's hashlib.blake2b(b"a.txt", key=b"\x01" * 32, digest_size=16),
    // in URL-safe base64 without padding.
    DataKey key;
    ASSERT_EQ(DataKey::fromBytes(std::string(kKeyBytes, '\x01'), key), CryptoResult::Ok);
    std::string token;
    ASSERT_EQ(nameToken(key, "a.txt", token), CryptoResult::Ok);
    EXPECT_EQ(token, "oL3jhD8JU_p0DWx_WuUxZA");
}

TEST(CatalogSeal, RoundTripsAndFindsEveryChange) {
    DataKey catalog = derived(freshKey(), KeyPurpose::Catalog);
    std::string plain = "<Folder Name=\"我的文档\"/>" + std::string(100000, 'z');
    std::string sealed, again;
    ASSERT_EQ(sealCatalog(catalog, plain, sealed), CryptoResult::Ok);
    ASSERT_EQ(sealCatalog(catalog, plain, again), CryptoResult::Ok);
    EXPECT_NE(sealed, again) << "a fresh nonce for every mail";
    EXPECT_EQ(sealed.find("我的文档"), std::string::npos);

    std::string opened = "kept";
    ASSERT_EQ(openCatalog(catalog, sealed, opened), CryptoResult::Ok);
    EXPECT_EQ(opened, plain);

    std::string untouched = "previous";
    for (size_t at : {size_t{5}, size_t{30}, sealed.size() / 2, sealed.size() - 1}) {
        std::string flipped = sealed;
        flipped[at] = static_cast<char>(flipped[at] ^ 1);
        EXPECT_EQ(openCatalog(catalog, flipped, untouched), CryptoResult::Tampered) << at;
    }
    EXPECT_EQ(openCatalog(catalog, sealed.substr(0, sealed.size() - 1), untouched),
              CryptoResult::Tampered);
    EXPECT_EQ(openCatalog(catalog, sealed.substr(0, 20), untouched), CryptoResult::Damaged);
    EXPECT_EQ(openCatalog(catalog, "PK\x03\x04 a zip", untouched), CryptoResult::Damaged);
    EXPECT_EQ(openCatalog(derived(freshKey(), KeyPurpose::Catalog), sealed, untouched),
              CryptoResult::Tampered);
    EXPECT_EQ(untouched, "previous");
}

TEST(CatalogSeal, AFileThatFailsLeavesThePreviousOutputInPlace) {
    auto dir =
        std::filesystem::temp_directory_path() /
        ("parvola-seal-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
         std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    auto write = [](const std::filesystem::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    };
    auto read = [](const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    DataKey catalog = derived(freshKey(), KeyPurpose::Catalog);
    write(dir / "catalog.zip", "zip bytes");
    ASSERT_EQ(sealCatalogFile(catalog, dir / "catalog.zip", dir / "sealed"), CryptoResult::Ok);
    ASSERT_EQ(openCatalogFile(catalog, dir / "sealed", dir / "opened"), CryptoResult::Ok);
    EXPECT_EQ(read(dir / "opened"), "zip bytes");

    std::string damaged = read(dir / "sealed");
    damaged.back() = static_cast<char>(damaged.back() ^ 1);
    write(dir / "sealed", damaged);
    write(dir / "opened", "previous catalog");
    EXPECT_EQ(openCatalogFile(catalog, dir / "sealed", dir / "opened"), CryptoResult::Tampered);
    EXPECT_EQ(read(dir / "opened"), "previous catalog");
    EXPECT_EQ(openCatalogFile(catalog, dir / "missing", dir / "opened"), CryptoResult::FileError);
    EXPECT_FALSE(std::filesystem::exists(dir / "opened.part"));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace parvola
