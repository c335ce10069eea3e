#include "crypto/piece_stream.h"

#include <cstring>

#include "crypto/sodium_ready.h"

namespace parvola {

namespace {

constexpr size_t kHeaderBytes = crypto_secretstream_xchacha20poly1305_HEADERBYTES;
constexpr size_t kChunkOverhead = crypto_secretstream_xchacha20poly1305_ABYTES;
constexpr size_t kSealedChunkBytes = kPieceChunkBytes + kChunkOverhead;
constexpr unsigned char kTagMessage = crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
constexpr unsigned char kTagFinal = crypto_secretstream_xchacha20poly1305_TAG_FINAL;

// A fixed encoding of the binding, so no two bindings read alike: a label,
// the id and index as fixed-width numbers, then the context.
std::string encodeBinding(const PieceBinding& binding) {
    std::string encoded = "Parvola piece";
    encoded.push_back('\0');
    auto appendNumber = [&encoded](uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            encoded.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
        }
    };
    appendNumber(static_cast<uint64_t>(binding.fileId), 8);
    appendNumber(static_cast<uint32_t>(binding.pieceIndex), 4);
    encoded += binding.context;
    return encoded;
}

const unsigned char* bytes(const std::string& text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

}  // namespace

uint64_t encryptedPieceSize(uint64_t plainBytes) {
    uint64_t chunks = plainBytes == 0 ? 1 : (plainBytes + kPieceChunkBytes - 1) / kPieceChunkBytes;
    return kPieceMagic.size() + kHeaderBytes + plainBytes + chunks * kChunkOverhead;
}

PieceEncryptor::~PieceEncryptor() {
    sodium_memzero(&state_, sizeof state_);
}

CryptoResult PieceEncryptor::start(const DataKey& piecesKey, const PieceBinding& binding,
                                   std::string& out) {
    if (started_ || !piecesKey.isSet()) {
        return CryptoResult::Refused;
    }
    if (!sodiumReady()) {
        return CryptoResult::Unavailable;
    }
    unsigned char header[kHeaderBytes];
    crypto_secretstream_xchacha20poly1305_init_push(&state_, header, piecesKey.data());
    binding_ = encodeBinding(binding);
    out.append(kPieceMagic);
    out.append(reinterpret_cast<const char*>(header), kHeaderBytes);
    pending_.reserve(kPieceChunkBytes);
    started_ = true;
    return CryptoResult::Ok;
}

void PieceEncryptor::sealChunk(const char* plain, size_t size, unsigned char tag,
                               std::string& out) {
    size_t at = out.size();
    out.resize(at + size + kChunkOverhead);
    crypto_secretstream_xchacha20poly1305_push(
        &state_, reinterpret_cast<unsigned char*>(out.data() + at), nullptr,
        reinterpret_cast<const unsigned char*>(plain), size, bytes(binding_), binding_.size(), tag);
}

CryptoResult PieceEncryptor::push(std::string_view plain, std::string& out) {
    if (!started_ || finished_) {
        return CryptoResult::Refused;
    }
    // A chunk is sealed only once a byte beyond it is known, since the last
    // one must carry FINAL; full chunks straight from the caller's block are
    // sealed without a copy.
    if (!pending_.empty()) {
        size_t take = std::min(kPieceChunkBytes - pending_.size(), plain.size());
        pending_.append(plain.substr(0, take));
        plain.remove_prefix(take);
        if (plain.empty()) {
            return CryptoResult::Ok;
        }
        sealChunk(pending_.data(), pending_.size(), kTagMessage, out);
        pending_.clear();
    }
    while (plain.size() > kPieceChunkBytes) {
        sealChunk(plain.data(), kPieceChunkBytes, kTagMessage, out);
        plain.remove_prefix(kPieceChunkBytes);
    }
    pending_.append(plain);
    return CryptoResult::Ok;
}

CryptoResult PieceEncryptor::finish(std::string& out) {
    if (!started_ || finished_) {
        return CryptoResult::Refused;
    }
    sealChunk(pending_.data(), pending_.size(), kTagFinal, out);
    pending_.clear();
    finished_ = true;
    return CryptoResult::Ok;
}

PieceDecryptor::~PieceDecryptor() {
    sodium_memzero(&state_, sizeof state_);
}

CryptoResult PieceDecryptor::fail(CryptoResult result) {
    failure_ = result;
    pending_.clear();
    return result;
}

CryptoResult PieceDecryptor::start(const DataKey& piecesKey, const PieceBinding& binding) {
    if (started_ || !piecesKey.isSet()) {
        return CryptoResult::Refused;
    }
    if (!sodiumReady()) {
        return CryptoResult::Unavailable;
    }
    // The stream's state needs the header, which comes with the first bytes.
    DataKey copy;
    DataKey::fromBytes(std::string_view(reinterpret_cast<const char*>(piecesKey.data()), kKeyBytes),
                       copy);
    key_ = std::move(copy);
    binding_ = encodeBinding(binding);
    pending_.reserve(kSealedChunkBytes);
    started_ = true;
    return CryptoResult::Ok;
}

CryptoResult PieceDecryptor::openChunk(const char* sealed, size_t size, std::string& out) {
    if (finalSeen_) {
        return fail(CryptoResult::Tampered);  // bytes after the end
    }
    if (size < kChunkOverhead) {
        return fail(CryptoResult::Truncated);
    }
    size_t at = out.size();
    out.resize(at + size - kChunkOverhead);
    unsigned char tag = 0;
    if (crypto_secretstream_xchacha20poly1305_pull(
            &state_, reinterpret_cast<unsigned char*>(out.data() + at), nullptr, &tag,
            reinterpret_cast<const unsigned char*>(sealed), size, bytes(binding_),
            binding_.size()) != 0) {
        out.resize(at);
        return fail(CryptoResult::Tampered);
    }
    if (tag == kTagFinal) {
        finalSeen_ = true;
    } else if (tag != kTagMessage) {
        out.resize(at);
        return fail(CryptoResult::Tampered);
    }
    return CryptoResult::Ok;
}

CryptoResult PieceDecryptor::push(std::string_view sealed, std::string& out) {
    if (failure_ != CryptoResult::Ok) {
        return failure_;
    }
    if (!started_) {
        return CryptoResult::Refused;
    }
    if (!headerRead_) {
        size_t need = kPieceMagic.size() + kHeaderBytes;
        size_t take = std::min(need - pending_.size(), sealed.size());
        pending_.append(sealed.substr(0, take));
        sealed.remove_prefix(take);
        if (pending_.size() < need) {
            size_t magicPart = std::min(pending_.size(), kPieceMagic.size());
            if (std::string_view(pending_).substr(0, magicPart) !=
                kPieceMagic.substr(0, magicPart)) {
                return fail(CryptoResult::Damaged);
            }
            return CryptoResult::Ok;
        }
        if (std::string_view(pending_).substr(0, kPieceMagic.size()) != kPieceMagic) {
            return fail(CryptoResult::Damaged);
        }
        crypto_secretstream_xchacha20poly1305_init_pull(
            &state_, bytes(pending_) + kPieceMagic.size(), key_.data());
        key_ = DataKey();
        pending_.clear();
        headerRead_ = true;
    }
    // A full sealed chunk is opened only when a byte beyond it has come: only
    // then is it known not to be the last one, which finish() opens.
    if (!pending_.empty()) {
        size_t take = std::min(kSealedChunkBytes - pending_.size(), sealed.size());
        pending_.append(sealed.substr(0, take));
        sealed.remove_prefix(take);
        if (sealed.empty()) {
            return CryptoResult::Ok;
        }
        if (CryptoResult opened = openChunk(pending_.data(), pending_.size(), out);
            opened != CryptoResult::Ok) {
            return opened;
        }
        pending_.clear();
    }
    while (sealed.size() > kSealedChunkBytes) {
        if (CryptoResult opened = openChunk(sealed.data(), kSealedChunkBytes, out);
            opened != CryptoResult::Ok) {
            return opened;
        }
        sealed.remove_prefix(kSealedChunkBytes);
    }
    pending_.append(sealed);
    return CryptoResult::Ok;
}

CryptoResult PieceDecryptor::finish(std::string& out) {
    if (failure_ != CryptoResult::Ok) {
        return failure_;
    }
    if (!started_) {
        return CryptoResult::Refused;
    }
    if (!headerRead_) {
        return fail(pending_.empty() ? CryptoResult::Truncated : CryptoResult::Damaged);
    }
    if (!pending_.empty()) {
        if (CryptoResult opened = openChunk(pending_.data(), pending_.size(), out);
            opened != CryptoResult::Ok) {
            return opened;
        }
        pending_.clear();
    }
    if (!finalSeen_) {
        return fail(CryptoResult::Truncated);
    }
    failure_ = CryptoResult::Refused;  // a stream is opened once
    return CryptoResult::Ok;
}

}  // namespace parvola
