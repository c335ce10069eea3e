#pragma once
// The encrypted form of one piece of a file, made while the file is read and
// opened while the attachment arrives:
//
//   "PVS1" | secretstream header (24 bytes) | chunk | chunk | ... | final chunk
//
// Each chunk is up to kPieceChunkBytes of the piece sealed by libsodium's
// secretstream (XChaCha20-Poly1305), 17 bytes longer than what it seals; every
// chunk but the last is full, and only the last carries the FINAL tag, so a
// stream cut at a chunk's end is known as cut. Every chunk has the piece's
// binding (file id, piece index and the caller's context) as additional data:
// a piece moved to another file or another index, or replayed from another
// stream, does not authenticate.
#include <cstdint>
#include <string>
#include <string_view>

#include <sodium.h>

#include "crypto/crypto_result.h"
#include "crypto/data_key.h"

namespace parvola {

inline constexpr size_t kPieceChunkBytes = 64 * 1024;
inline constexpr std::string_view kPieceMagic = "PVS1";

// Where a piece belongs. `context` is whatever else the caller binds it to
// (the file's name token, its time), the same when it is written and read.
struct PieceBinding {
    long long fileId = 0;
    int pieceIndex = 0;
    std::string context;
};

// The size of the encrypted form of a piece of `plainBytes` bytes.
uint64_t encryptedPieceSize(uint64_t plainBytes);

// Seals one piece. Feed it the piece in blocks of any size; each call appends
// the sealed bytes that are ready to `out`.
class PieceEncryptor {
  public:
    PieceEncryptor() = default;
    ~PieceEncryptor();
    PieceEncryptor(const PieceEncryptor&) = delete;
    PieceEncryptor& operator=(const PieceEncryptor&) = delete;

    // `piecesKey` is the data key's KeyPurpose::Pieces key. Appends the magic
    // and the stream header.
    CryptoResult start(const DataKey& piecesKey, const PieceBinding& binding, std::string& out);
    CryptoResult push(std::string_view plain, std::string& out);
    // Seals what is left as the final chunk; nothing may be pushed after it.
    CryptoResult finish(std::string& out);

  private:
    void sealChunk(const char* plain, size_t size, unsigned char tag, std::string& out);

    crypto_secretstream_xchacha20poly1305_state state_{};
    std::string binding_;
    std::string pending_;  // the part of a chunk not sealed yet
    bool started_ = false;
    bool finished_ = false;
};

// Opens one piece while it arrives. A failure is final: every later call
// answers it again, and nothing after the failing chunk is given out.
class PieceDecryptor {
  public:
    PieceDecryptor() = default;
    ~PieceDecryptor();
    PieceDecryptor(const PieceDecryptor&) = delete;
    PieceDecryptor& operator=(const PieceDecryptor&) = delete;

    CryptoResult start(const DataKey& piecesKey, const PieceBinding& binding);
    // Appends to `out` the plain bytes of every chunk completed by `sealed`.
    // Tampered for a chunk that does not authenticate or bytes after the final
    // chunk; Damaged for a stream that does not start with our magic.
    CryptoResult push(std::string_view sealed, std::string& out);
    // Opens the last chunk. Truncated when the final chunk never came.
    CryptoResult finish(std::string& out);

  private:
    CryptoResult openChunk(const char* sealed, size_t size, std::string& out);
    CryptoResult fail(CryptoResult result);

    crypto_secretstream_xchacha20poly1305_state state_{};
    std::string binding_;
    std::string pending_;
    DataKey key_;
    bool started_ = false;
    bool headerRead_ = false;
    bool finalSeen_ = false;
    CryptoResult failure_ = CryptoResult::Ok;
};

}  // namespace parvola
