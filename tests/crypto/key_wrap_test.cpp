// The wrapped data key: what another computer reads with only the passphrase.
#include "crypto/key_wrap.h"

#include <gtest/gtest.h>

namespace parvola {
namespace {

DataKey freshKey() {
    DataKey key;
    EXPECT_EQ(DataKey::random(key), CryptoResult::Ok);
    return key;
}

TEST(KeyWrap, OpensWithThePassphraseAndNothingElse) {
    DataKey key = freshKey();
    std::string text;
    ASSERT_EQ(wrapDataKey(key, "correct horse 电池", KdfParams::fastest(), text), CryptoResult::Ok);

    DataKey opened;
    ASSERT_EQ(unwrapDataKey(text, "correct horse 电池", opened), CryptoResult::Ok);
    EXPECT_TRUE(opened == key);

    DataKey wrong;
    EXPECT_EQ(unwrapDataKey(text, "correct horse", wrong), CryptoResult::WrongPassphrase);
    EXPECT_FALSE(wrong.isSet());
    EXPECT_EQ(unwrapDataKey(text, "", wrong), CryptoResult::WrongPassphrase);
}

TEST(KeyWrap, TextNamesItsParametersAndCarriesNoKeyInClear) {
    DataKey key = freshKey();
    KdfParams params{2, 1u << 20};
    std::string text;
    ASSERT_EQ(wrapDataKey(key, "pass", params, text), CryptoResult::Ok);
    EXPECT_EQ(text.rfind("Parvola-Key: 1\nKDF: argon2id13\nOps: 2\nMem: 1048576\nSalt: ", 0), 0u)
        << text;
    KdfParams read;
    ASSERT_EQ(readWrapParams(text, read), CryptoResult::Ok);
    EXPECT_EQ(read, params);

    std::string raw(reinterpret_cast<const char*>(key.data()), kKeyBytes);
    EXPECT_EQ(text.find(raw), std::string::npos);

    // Two wraps of one key under one passphrase share neither salt nor nonce.
    std::string again;
    ASSERT_EQ(wrapDataKey(key, "pass", params, again), CryptoResult::Ok);
    EXPECT_NE(text, again);
}

TEST(KeyWrap, ReadsTheTextAfterAMailTurnedItsLineEndsIntoCrLf) {
    DataKey key = freshKey();
    std::string text;
    ASSERT_EQ(wrapDataKey(key, "pass", KdfParams::fastest(), text), CryptoResult::Ok);
    std::string crlf;
    for (char c : text) {
        if (c == '\n') {
            crlf += '\r';
        }
        crlf += c;
    }
    DataKey opened;
    ASSERT_EQ(unwrapDataKey("\r\n" + crlf + "Comment: later field\r\n", "pass", opened),
              CryptoResult::Ok);
    EXPECT_TRUE(opened == key);
}

TEST(KeyWrap, ChangedParametersDoNotOpenAndHostileOnesAreRefused) {
    DataKey key = freshKey();
    KdfParams params{2, 1u << 20};
    std::string text;
    ASSERT_EQ(wrapDataKey(key, "pass", params, text), CryptoResult::Ok);
    DataKey opened;

    // Ops 2 -> 1: still a legal derivation, but the sealing's additional data
    // no longer matches (a downgrade does not go unnoticed).
    std::string downgraded = text;
    downgraded.replace(downgraded.find("Ops: 2"), 6, "Ops: 1");
    EXPECT_EQ(unwrapDataKey(downgraded, "pass", opened), CryptoResult::WrongPassphrase);

    std::string huge = text;
    huge.replace(huge.find("Mem: 1048576"), 12, "Mem: 99999999999999");
    EXPECT_EQ(unwrapDataKey(huge, "pass", opened), CryptoResult::Unsupported);

    std::string version = text;
    version.replace(0, 14, "Parvola-Key: 2");
    EXPECT_EQ(unwrapDataKey(version, "pass", opened), CryptoResult::Unsupported);

    EXPECT_EQ(unwrapDataKey("hello", "pass", opened), CryptoResult::Damaged);
    EXPECT_EQ(unwrapDataKey(text.substr(0, text.size() - 10), "pass", opened),
              CryptoResult::Damaged);
    std::string twice = text + "Ops: 2\n";
    EXPECT_EQ(unwrapDataKey(twice, "pass", opened), CryptoResult::Damaged);
    EXPECT_FALSE(opened.isSet());
}

TEST(KeyWrap, RewrapKeepsTheDataKeyAndRetiresTheOldPassphraseFromTheNewText) {
    DataKey key = freshKey();
    std::string text;
    ASSERT_EQ(wrapDataKey(key, "old", KdfParams::fastest(), text), CryptoResult::Ok);

    std::string rewrapped;
    EXPECT_EQ(rewrapDataKey(text, "not old", "new", KdfParams::fastest(), rewrapped),
              CryptoResult::WrongPassphrase);
    EXPECT_TRUE(rewrapped.empty());
    ASSERT_EQ(rewrapDataKey(text, "old", "new", KdfParams::fastest(), rewrapped), CryptoResult::Ok);

    DataKey opened;
    EXPECT_EQ(unwrapDataKey(rewrapped, "old", opened), CryptoResult::WrongPassphrase);
    ASSERT_EQ(unwrapDataKey(rewrapped, "new", opened), CryptoResult::Ok);
    EXPECT_TRUE(opened == key);
}

TEST(KeyWrap, RefusesAnEmptyPassphraseAndAnUnsetKey) {
    std::string text;
    EXPECT_EQ(wrapDataKey(freshKey(), "", KdfParams::fastest(), text), CryptoResult::Refused);
    EXPECT_EQ(wrapDataKey(DataKey(), "pass", KdfParams::fastest(), text), CryptoResult::Refused);
    EXPECT_EQ(wrapDataKey(freshKey(), "pass", KdfParams{1, 1024}, text), CryptoResult::Unsupported);
    EXPECT_TRUE(text.empty());
}

TEST(DataKeyDerive, EachPurposeHasItsOwnKeyAndTheSameOneEveryTime) {
    DataKey key = freshKey();
    DataKey pieces, names, catalog, piecesAgain;
    ASSERT_EQ(key.derive(KeyPurpose::Pieces, pieces), CryptoResult::Ok);
    ASSERT_EQ(key.derive(KeyPurpose::Names, names), CryptoResult::Ok);
    ASSERT_EQ(key.derive(KeyPurpose::Catalog, catalog), CryptoResult::Ok);
    ASSERT_EQ(key.derive(KeyPurpose::Pieces, piecesAgain), CryptoResult::Ok);
    EXPECT_TRUE(pieces == piecesAgain);
    EXPECT_FALSE(pieces == names);
    EXPECT_FALSE(names == catalog);
    EXPECT_FALSE(pieces == key);
}

}  // namespace
}  // namespace parvola
