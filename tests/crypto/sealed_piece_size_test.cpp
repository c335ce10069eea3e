// The piece size of an encrypted account: its sealed pieces fit where the
// plain ones of the account's size would.
#include <gtest/gtest.h>

#include "crypto/piece_stream.h"
#include "transfer/piece_encryption.h"

namespace parvola {
namespace {

TEST(SealedPieceSize, TheSealedPieceFitsAndLittleRoomIsLost) {
    for (long long size : {6LL << 20, 10LL << 20, 49LL << 20, 1000LL * 1000, 64LL * 1024}) {
        const long long room = sealedPieceRoom(size);
        EXPECT_LE(static_cast<long long>(encryptedPieceSize(static_cast<uint64_t>(room))), size)
            << size;
        EXPECT_EQ(room % 1024, 0) << size;
        // The stream's overhead is 17 bytes a 64 KiB chunk and 28 once.
        EXPECT_LT(size - room, size / 65536 * 17 + 28 + 2048) << size;
    }
    EXPECT_EQ(pieceSizeForSealing("plain@example.test", 6LL << 20), 6LL << 20);
}

}  // namespace
}  // namespace parvola
