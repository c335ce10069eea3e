// The piece stream: round trips in blocks of every size, and every way a
// mailbox could hand back something other than the piece that was stored.
#include "crypto/piece_stream.h"

#include <gtest/gtest.h>

#include <random>

namespace parvola {
namespace {

class PieceStream : public ::testing::Test {
  protected:
    void SetUp() override {
        DataKey data;
        ASSERT_EQ(DataKey::random(data), CryptoResult::Ok);
        ASSERT_EQ(data.derive(KeyPurpose::Pieces, key), CryptoResult::Ok);
    }

    static std::string randomBytes(size_t size, unsigned seed) {
        std::mt19937 random(seed);
        std::string bytes(size, '\0');
        for (char& c : bytes) {
            c = static_cast<char>(random());
        }
        return bytes;
    }

    std::string seal(std::string_view plain, const PieceBinding& binding, size_t block) {
        PieceEncryptor encryptor;
        std::string sealed;
        EXPECT_EQ(encryptor.start(key, binding, sealed), CryptoResult::Ok);
        for (size_t at = 0; at < plain.size(); at += block) {
            EXPECT_EQ(encryptor.push(plain.substr(at, block), sealed), CryptoResult::Ok);
        }
        EXPECT_EQ(encryptor.finish(sealed), CryptoResult::Ok);
        return sealed;
    }

    // Opens `sealed` fed in blocks of `block` bytes; the first failure is the
    // answer, and `plain` holds what was given out before it.
    CryptoResult open(std::string_view sealed, const PieceBinding& binding, size_t block,
                      std::string& plain) {
        PieceDecryptor decryptor;
        CryptoResult result = decryptor.start(key, binding);
        for (size_t at = 0; at < sealed.size() && result == CryptoResult::Ok; at += block) {
            result = decryptor.push(sealed.substr(at, block), plain);
        }
        return result == CryptoResult::Ok ? decryptor.finish(plain) : result;
    }

    DataKey key;
    PieceBinding first{4711, 1, "token-of-the-file"};
};

TEST_F(PieceStream, RoundTripsEverySizeAroundTheChunkEdgesInAnyBlocks) {
    const size_t sizes[] = {0,
                            1,
                            kPieceChunkBytes - 1,
                            kPieceChunkBytes,
                            kPieceChunkBytes + 1,
                            3 * kPieceChunkBytes,
                            3 * kPieceChunkBytes + 12345};
    const size_t blocks[] = {1 << 20, kPieceChunkBytes, kPieceChunkBytes + 17, 4093};
    for (size_t size : sizes) {
        std::string plain = randomBytes(size, static_cast<unsigned>(size));
        for (size_t block : blocks) {
            std::string sealed = seal(plain, first, block);
            EXPECT_EQ(sealed.size(), encryptedPieceSize(size)) << size;
            EXPECT_EQ(sealed.rfind(kPieceMagic, 0), 0u);
            for (size_t readBlock : blocks) {
                std::string opened;
                ASSERT_EQ(open(sealed, first, readBlock, opened), CryptoResult::Ok)
                    << size << " " << block << " " << readBlock;
                ASSERT_EQ(opened, plain) << size << " " << block << " " << readBlock;
            }
        }
    }
    // One byte at a time, across the header and a chunk edge.
    std::string plain = randomBytes(kPieceChunkBytes + 100, 7);
    std::string opened;
    ASSERT_EQ(open(seal(plain, first, 1), first, 1, opened), CryptoResult::Ok);
    EXPECT_EQ(opened, plain);
}

TEST_F(PieceStream, TheSamePieceSealedTwiceSharesNoBytesBeyondTheMagic) {
    std::string plain(100000, 'a');
    std::string one = seal(plain, first, 1 << 20);
    std::string two = seal(plain, first, 1 << 20);
    ASSERT_EQ(one.size(), two.size());
    EXPECT_NE(one.substr(4, 24), two.substr(4, 24));
    EXPECT_EQ(one.find(std::string(64, 'a')), std::string::npos);
}

TEST_F(PieceStream, APieceReadAsAnotherIndexOrFileOrContextIsTampered) {
    std::string sealed = seal(randomBytes(200000, 1), first, 1 << 20);
    const PieceBinding others[] = {
        {4711, 2, first.context}, {4712, 1, first.context}, {4711, 1, "token-of-another-file"}};
    for (const PieceBinding& other : others) {
        std::string opened;
        EXPECT_EQ(open(sealed, other, 1 << 20, opened), CryptoResult::Tampered);
        EXPECT_TRUE(opened.empty()) << "nothing of a foreign piece is given out";
    }
}

TEST_F(PieceStream, AnotherKeyDoesNotOpenIt) {
    std::string sealed = seal("some text", first, 1 << 20);
    DataKey other;
    ASSERT_EQ(DataKey::random(other), CryptoResult::Ok);
    PieceDecryptor decryptor;
    std::string opened;
    ASSERT_EQ(decryptor.start(other, first), CryptoResult::Ok);
    ASSERT_EQ(decryptor.push(sealed, opened), CryptoResult::Ok);  // the final chunk waits
    EXPECT_EQ(decryptor.finish(opened), CryptoResult::Tampered);
    EXPECT_TRUE(opened.empty());
}

TEST_F(PieceStream, EveryFlippedBitIsFound) {
    std::string plain = randomBytes(2 * kPieceChunkBytes + 10, 3);
    std::string sealed = seal(plain, first, 1 << 20);
    // A bit in the magic, the stream header, a tag, the middle and the end.
    const size_t positions[] = {
        0, 10, 28, 28 + kPieceChunkBytes + 5, sealed.size() / 2, sealed.size() - 1};
    for (size_t at : positions) {
        std::string flipped = sealed;
        flipped[at] = static_cast<char>(flipped[at] ^ 0x10);
        std::string opened;
        CryptoResult result = open(flipped, first, 1 << 20, opened);
        EXPECT_TRUE(result == CryptoResult::Tampered || result == CryptoResult::Damaged)
            << at << ": " << cryptoResultName(result);
        EXPECT_NE(opened, plain);
    }
}

TEST_F(PieceStream, ACutStreamIsTruncatedOrTampered) {
    std::string plain = randomBytes(3 * kPieceChunkBytes + 500, 4);
    std::string sealed = seal(plain, first, 1 << 20);
    const size_t sealedChunk = kPieceChunkBytes + 17;
    // At a chunk's end: every chunk there authenticates, but no FINAL came.
    for (size_t chunks : {1, 2, 3}) {
        std::string opened;
        EXPECT_EQ(open(sealed.substr(0, 28 + chunks * sealedChunk), first, 1 << 20, opened),
                  CryptoResult::Truncated)
            << chunks;
    }
    std::string opened;
    EXPECT_EQ(open(sealed.substr(0, 28), first, 1 << 20, opened), CryptoResult::Truncated);
    EXPECT_EQ(open(sealed.substr(0, 10), first, 1 << 20, opened), CryptoResult::Damaged);
    EXPECT_EQ(open(sealed.substr(0, sealed.size() - 1), first, 1 << 20, opened),
              CryptoResult::Tampered);
    EXPECT_EQ(open("", first, 1 << 20, opened), CryptoResult::Truncated);
}

TEST_F(PieceStream, BytesAfterTheFinalChunkAreTampered) {
    std::string sealed = seal(std::string(kPieceChunkBytes, 'x'), first, 1 << 20);
    std::string opened;
    EXPECT_EQ(open(sealed + "x", first, 1 << 20, opened), CryptoResult::Tampered);
    // A whole second stream glued on (the replay of a piece behind another).
    EXPECT_EQ(open(sealed + seal("more", first, 1 << 20), first, 7, opened),
              CryptoResult::Tampered);
}

TEST_F(PieceStream, ChunksSwappedOrReplayedWithinAPieceAreTampered) {
    std::string plain = randomBytes(3 * kPieceChunkBytes, 5);
    std::string sealed = seal(plain, first, 1 << 20);
    const size_t chunk = kPieceChunkBytes + 17;
    std::string c1 = sealed.substr(28, chunk), c2 = sealed.substr(28 + chunk, chunk);
    std::string swapped = sealed;
    swapped.replace(28, chunk, c2);
    swapped.replace(28 + chunk, chunk, c1);
    std::string opened;
    EXPECT_EQ(open(swapped, first, 1 << 20, opened), CryptoResult::Tampered);
    std::string replayed = sealed;
    replayed.replace(28 + chunk, chunk, c1);
    EXPECT_EQ(open(replayed, first, 1 << 20, opened), CryptoResult::Tampered);
}

TEST_F(PieceStream, AStreamIsUsedOnceAndInOrder) {
    PieceEncryptor encryptor;
    std::string out;
    EXPECT_EQ(encryptor.push("x", out), CryptoResult::Refused);
    ASSERT_EQ(encryptor.start(key, first, out), CryptoResult::Ok);
    EXPECT_EQ(encryptor.start(key, first, out), CryptoResult::Refused);
    ASSERT_EQ(encryptor.finish(out), CryptoResult::Ok);
    EXPECT_EQ(encryptor.push("x", out), CryptoResult::Refused);
    EXPECT_EQ(PieceEncryptor().start(DataKey(), first, out), CryptoResult::Refused);
}

}  // namespace
}  // namespace parvola
