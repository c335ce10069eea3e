#pragma once
// The SHA-256 that a store mail carries of its attachment's bytes, so that a
// piece changed in the mailbox (by a provider's filter, a broken relay, a
// hand in the mail store) is noticed when it is read back instead of being
// joined into the user's file.
#include <string>
#include <string_view>

namespace parvola {

// The extra header of store mails; its value is the digest in lower-case hex.
constexpr const char* kPieceDigestHeader = "X-Parvola-Piece-SHA256";

// The words by which the attachment reader's refusal of a changed piece (its
// connection's lastReply after the save failed) is known: the transfer layer
// tells the user of an altered file, not of a network fault.
constexpr const char* kPieceDigestRefusalMark = "read back differs from the piece that was stored";
bool isPieceDigestRefusal(std::string_view reply);

// SHA-256 of `bytes` as 64 lower-case hex digits.
std::string sha256Hex(std::string_view bytes);
// SHA-256 of the file at `path`, read in blocks; false when it cannot be read.
bool sha256HexOfFile(const std::string& path, std::string& hex);

}  // namespace parvola
