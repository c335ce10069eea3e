#include "transfer/piece_encryption.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "crypto/name_token.h"
#include "crypto/piece_stream.h"
#include "platform/private_files.h"
#include "transfer/account_keys.h"

namespace parvola {
namespace {

// Read and write through blocks of this size: a piece never sits in memory whole.
constexpr size_t kBlock = 1 << 20;

// A piece belongs to one stored file (its token, its stored subject's time
// and piece count: a file id alone is reused) and to one place in it.
PieceBinding bindingOf(const PieceSubject& stored, int index) {
    PieceBinding binding;
    binding.fileId = stored.fileId;
    binding.pieceIndex = index;
    binding.context = stored.fileName + ";" + std::to_string(stored.time) + ";" +
                      std::to_string(stored.pieceCount);
    return binding;
}

bool write(std::ostream& out, std::string& sealed) {
    out.write(sealed.data(), static_cast<std::streamsize>(sealed.size()));
    sealed.clear();
    return out.good();
}

}  // namespace

bool subjectFileName(const std::string& loginAddress, const std::string& fileName,
                     std::string& subjectName) {
    const std::shared_ptr<const AccountKeys> keys = accountKeys(loginAddress);
    if (keys != nullptr)
        return nameToken(keys->names, fileName, subjectName) == CryptoResult::Ok;
    // No keys: a plain account names the file, a locked one stores nothing.
    if (accountEncryption(loginAddress) != AccountEncryption::Plain)
        return false;
    subjectName = fileName;
    return true;
}

bool piecesSealed(const std::string& loginAddress) {
    return accountEncryption(loginAddress) != AccountEncryption::Plain;
}

long long sealedPieceRoom(long long pieceSize) {
    constexpr long long kStep = 1024;
    long long room = pieceSize / kStep * kStep;
    while (room > kStep &&
           static_cast<long long>(encryptedPieceSize(static_cast<uint64_t>(room))) > pieceSize)
        room -= kStep;
    return room;
}

long long pieceSizeForSealing(const std::string& loginAddress, long long pieceSize) {
    return piecesSealed(loginAddress) ? sealedPieceRoom(pieceSize) : pieceSize;
}

bool fileSealed(const std::string& loginAddress, const std::string& catalogName,
                const std::string& subjectName) {
    const std::shared_ptr<const AccountKeys> keys = accountKeys(loginAddress);
    // No keys: nothing of a plain account is sealed, and nothing of a locked
    // one is taken for plain.
    if (keys == nullptr)
        return accountEncryption(loginAddress) != AccountEncryption::Plain;
    std::string token;
    if (nameToken(keys->names, catalogName, token) != CryptoResult::Ok)
        return true;
    return subjectName == token;
}

std::string savedFileName(const std::string& loginAddress, const std::string& catalogName,
                          const std::string& subjectName) {
    return fileSealed(loginAddress, catalogName, subjectName) ? catalogName : subjectName;
}

bool cutSealedPiece(const std::string& loginAddress, const PieceSubject& stored, int index,
                    std::ifstream& source, long long offset, long long length,
                    const std::string& piecePath) {
    const std::shared_ptr<const AccountKeys> keys = accountKeys(loginAddress);
    if (keys == nullptr)
        return false;
    source.clear();
    source.seekg(offset);
    if (!createPrivateFile(piecePath))
        return false;
    std::ofstream piece(piecePath, std::ios::binary | std::ios::trunc);
    if (!source.good() || !piece.is_open())
        return false;
    PieceEncryptor encryptor;
    std::string sealed;
    sealed.reserve(kBlock + kBlock / 16);
    if (encryptor.start(keys->pieces, bindingOf(stored, index), sealed) != CryptoResult::Ok)
        return false;
    std::vector<char> buffer(static_cast<size_t>(std::min<long long>(length, kBlock)));
    for (long long left = length; left > 0;) {
        const auto want = static_cast<std::streamsize>(std::min<long long>(left, kBlock));
        source.read(buffer.data(), want);
        // A short read is the file shrinking since the upload began: the
        // piece lengths were fixed by the size at the start.
        if (source.gcount() != want)
            return false;
        if (encryptor.push(std::string_view(buffer.data(), static_cast<size_t>(want)), sealed) !=
                CryptoResult::Ok ||
            !write(piece, sealed))
            return false;
        left -= want;
    }
    if (encryptor.finish(sealed) != CryptoResult::Ok || !write(piece, sealed))
        return false;
    piece.close();
    return !piece.fail();
}

OpenedPieceWriter::OpenedPieceWriter(std::string loginAddress, const PieceSubject& stored,
                                     int index, std::string partPath, long long offset)
    : loginAddress_(std::move(loginAddress)),
      stored_(stored),
      index_(index),
      partPath_(std::move(partPath)),
      offset_(offset) {}

OpenedPieceWriter::~OpenedPieceWriter() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool OpenedPieceWriter::fail(PieceOpening failure) {
    failure_ = failure;
    decryptor_.reset();
    return false;
}

bool OpenedPieceWriter::begin() {
    // A new copy of the piece is read from its start, over what an earlier
    // one wrote.
    begun_ = true;
    ended_ = false;
    failure_.reset();
    at_ = offset_;
    decryptor_.reset();
    const std::shared_ptr<const AccountKeys> keys = accountKeys(loginAddress_);
    if (keys == nullptr)
        return fail(PieceOpening::Failed);
    // Written at the piece's place, never emptied: other connections'
    // pieces may already be in the file.
    if (fd_ < 0)
        fd_ = ::open(partPath_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0)
        return fail(PieceOpening::Failed);
    decryptor_ = std::make_unique<PieceDecryptor>();
    if (decryptor_->start(keys->pieces, bindingOf(stored_, index_)) != CryptoResult::Ok)
        return fail(PieceOpening::Failed);
    plain_.reserve(kBlock + kPieceChunkBytes);
    return true;
}

bool OpenedPieceWriter::put() {
    std::string_view left = plain_;
    while (!left.empty()) {
        const ssize_t put = ::pwrite(fd_, left.data(), left.size(), static_cast<off_t>(at_));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return fail(put < 0 && (errno == ENOSPC || errno == EDQUOT) ? PieceOpening::DiskFull
                                                                        : PieceOpening::Failed);
        left.remove_prefix(static_cast<size_t>(put));
        at_ += put;
    }
    plain_.clear();
    return true;
}

bool OpenedPieceWriter::write(std::string_view sealed) {
    if (decryptor_ == nullptr || ended_)
        return false;
    if (decryptor_->push(sealed, plain_) != CryptoResult::Ok) {
        plain_.clear();  // nothing of a chunk that did not open is written
        return fail(PieceOpening::Altered);
    }
    return put();
}

bool OpenedPieceWriter::end() {
    if (decryptor_ == nullptr || ended_)
        return false;
    if (decryptor_->finish(plain_) != CryptoResult::Ok) {
        plain_.clear();
        return fail(PieceOpening::Altered);
    }
    if (!put())
        return false;
    ended_ = true;
    decryptor_.reset();
    return true;
}

PieceOpening OpenedPieceWriter::outcome() const {
    if (!begun_)
        return PieceOpening::Failed;
    if (failure_)
        return *failure_;
    return ended_ ? PieceOpening::Done : PieceOpening::Failed;
}

}  // namespace parvola
