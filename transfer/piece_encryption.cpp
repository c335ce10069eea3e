#include "transfer/piece_encryption.h"

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
    switch (accountEncryption(loginAddress)) {
        case AccountEncryption::Plain:
            subjectName = fileName;
            return true;
        case AccountEncryption::Locked:
            return false;
        case AccountEncryption::Unlocked:
            break;
    }
    const std::shared_ptr<const AccountKeys> keys = accountKeys(loginAddress);
    return keys != nullptr && nameToken(keys->names, fileName, subjectName) == CryptoResult::Ok;
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
    switch (accountEncryption(loginAddress)) {
        case AccountEncryption::Plain:
            return false;
        case AccountEncryption::Locked:
            return true;
        case AccountEncryption::Unlocked:
            break;
    }
    const std::shared_ptr<const AccountKeys> keys = accountKeys(loginAddress);
    std::string token;
    if (keys == nullptr || nameToken(keys->names, catalogName, token) != CryptoResult::Ok)
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

PieceOpening writeOpenedPieceAt(const std::string& loginAddress, const PieceSubject& stored,
                                int index, const std::string& piecePath,
                                const std::string& partPath, long long offset) {
    const std::shared_ptr<const AccountKeys> keys = accountKeys(loginAddress);
    if (keys == nullptr)
        return PieceOpening::Failed;
    std::ifstream in(piecePath, std::ios::binary);
    // In and out: the file is written at the piece's place, not emptied,
    // since other connections' pieces may already be in it.
    std::fstream out(partPath, std::ios::binary | std::ios::in | std::ios::out);
    if (!in.is_open() || !out.is_open() || !out.seekp(static_cast<std::streamoff>(offset)))
        return PieceOpening::Failed;
    PieceDecryptor decryptor;
    PieceOpening result = PieceOpening::Done;
    auto failWith = [&](PieceOpening failure) {
        out.close();
        return failure;
    };
    auto writeFailure = [] {
        return errno == ENOSPC || errno == EDQUOT ? PieceOpening::DiskFull : PieceOpening::Failed;
    };
    if (decryptor.start(keys->pieces, bindingOf(stored, index)) != CryptoResult::Ok)
        return failWith(PieceOpening::Failed);
    std::vector<char> buffer(kBlock);
    std::string plain;
    plain.reserve(kBlock + kPieceChunkBytes);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<size_t>(in.gcount());
        if (got == 0)
            break;
        if (decryptor.push(std::string_view(buffer.data(), got), plain) != CryptoResult::Ok)
            return failWith(PieceOpening::Altered);
        if (!write(out, plain))
            return failWith(writeFailure());
    }
    if (in.bad())
        return failWith(PieceOpening::Failed);
    if (decryptor.finish(plain) != CryptoResult::Ok)
        return failWith(PieceOpening::Altered);
    if (!write(out, plain) || !out.flush())
        return failWith(writeFailure());
    out.close();
    if (out.fail())
        return failWith(writeFailure());
    return result;
}

}  // namespace parvola
