#pragma once
// The piece size of an account. Service accounts keep the size of their
// provider (piece_plan.h). A direct account takes, in order: the size the
// user set; the largest piece whose mail stays under the limit its server
// announces (SMTP SIZE, IMAP APPENDLIMIT); the provider table's size for
// its SMTP host; 10 MiB.
#include <cstdint>

#include "mail/mailbox_account.h"

namespace parvola {

// Room a piece mail needs beyond the encoded piece: its headers (a subject
// and a file name of up to 255 bytes, encoded), the two text bodies, the
// MIME boundaries, and the headers the receiving server adds: some 2.3 KB
// for the longest file name, so the rest is margin.
inline constexpr uint64_t kPieceMailOverhead = 16u << 10;
// The largest piece a limit may choose: the size of the largest provider
// row, which the engine is known to carry.
inline constexpr long long kLargestPieceSize = 49LL * 1048576;

// The bytes a piece of `pieceSize` bytes takes in its mail: base64 (4 bytes
// for every 3 begun), a CRLF after every 76 columns, and the overhead.
uint64_t pieceMailSize(long long pieceSize);
// The largest piece whose mail stays within `limit` (a multiple of 1 KiB,
// at least 1 KiB, at most kLargestPieceSize).
long long pieceSizeUnderLimit(uint64_t limit);

// The piece size for the account's next upload. A direct account without a
// size of its own asks its mailbox once per process for the limit (a
// connection of its own, no login where the server says it with its
// greeting); an answer of "no limit" or an unreachable server falls back to
// the provider table.
long long pieceSizeForAccount(const MailboxAccount& account);
// Forgets the limits asked so far (tests).
void forgetStoreSizeLimits();

}  // namespace parvola
