#pragma once
// How a file is cut into pieces: the piece size chosen by the mailbox's
// provider, the number of pieces, the length of each, and the temporary
// folder the piece files live in while they are mailed or fetched.
#include <cstdint>
#include <string>

#include "platform/deploy_config.h"

namespace parvola {

inline constexpr long long kQqPieceSize = 49LL * 1048576;     // 51,380,224
inline constexpr long long kSohuPieceSize = 6LL * 1048576;    // 6,291,456
inline constexpr long long kOtherPieceSize = 10LL * 1048576;  // 10,485,760

// The piece size for an account whose SMTP host is `smtpHost`: the "qq" row's
// SMTP host is tested first, then the "sohu" row's, each as a sub-string of
// the account's host; an empty row host never matches.
long long pieceSizeForSmtpHost(const std::string& smtpHost, const DeployConfig& deployment);
// The same with the deployment read afresh from deploy.ini.
long long pieceSizeForSmtpHost(const std::string& smtpHost);

// fileSize / pieceSize, plus 1 when there is a remainder; 0 for an empty file
// or a piece size that is not positive.
long long pieceCount(long long fileSize, long long pieceSize);

// True when the file goes as one mail carrying the file itself (size not above
// the piece size).
inline bool isSinglePiece(long long fileSize, long long pieceSize) {
    return fileSize <= pieceSize;
}

// Bytes in piece `index` (1-based); 0 outside 1..pieceCount.
long long pieceLength(long long fileSize, long long pieceSize, long long index);

// The temporary folders for the pieces of one transfer:
//   <application directory>/temp/<name up to its first ".">/<file id>.pieces
//   <application directory>/temp/<file id>.pieces    (name without text before a ".")
// The folder per file id keeps apart two transfers whose names share the text
// before the first "." (report.doc and report.pdf), and a name without "."
// never puts its pieces loose in "temp". The ".pieces" ending cannot occur in
// a name folder (those end before the first "."), so the two kinds never meet.
// A "/" in the name part (possible in a subject read from the mailbox)
// becomes "_", so the folder stays inside "temp".
std::string pieceRootFolder();                             // .../temp
std::string pieceNameFolder(const std::string& fileName);  // .../temp/<stem>
std::string pieceFolder(const std::string& fileName, int fileId);
// <folder>/<index>, the piece file's name being its index without extension.
std::string pieceFilePath(const std::string& folder, long long index);

// Creates the piece folder and the folders above it; false when that fails.
bool createPieceFolder(const std::string& fileName, int fileId);

enum class PieceFolderRemoval { OnlyWhenEmpty, WithContents };
// Removes the transfer's piece folder (only when empty, or with its piece
// files), then the name folder when no other transfer uses it any more.
// Other transfers' folders are never touched. False when the piece folder
// is still there afterwards.
bool removePieceFolder(const std::string& fileName, int fileId, PieceFolderRemoval how);

}  // namespace parvola
