#pragma once
// The piece mails of an encrypted account (transfer/account_keys): the
// file's name in every subject is its name token (crypto/name_token), each
// piece travels sealed (crypto/piece_stream) under the binding of the file's
// stored subject and its index, and a read piece is opened while it is
// appended to the download. The pipelines ask these calls; for a plain
// account each of them does what the pipelines always did.
#include <fstream>
#include <string>

#include "transfer/piece_subject.h"

namespace parvola {

// The name the subjects carry for `fileName`: the name itself for a plain
// account, its token for an unlocked one. False for a locked account: then
// nothing may be stored.
bool subjectFileName(const std::string& loginAddress, const std::string& fileName,
                     std::string& subjectName);

// Whether the account's pieces are sealed (every file then goes as pieces of
// its own, never the source file as the attachment).
bool piecesSealed(const std::string& loginAddress);

// The piece size an account's upload cuts by, from the size its mails may
// carry (`pieceSize`): for sealed pieces, the largest whole KiB whose sealed
// form still fits in it, so a mail sized to the server's limit stays under it.
long long pieceSizeForSealing(const std::string& loginAddress, long long pieceSize);
// The same for a sealed account, whatever the registry says.
long long sealedPieceRoom(long long pieceSize);

// Whether the stored file whose catalog name is `catalogName` and whose
// subjects name it `subjectName` went out sealed: its subjects carry the
// name's token. A file stored before its account became encrypted carries
// its name and is read as it was stored. A locked account answers true, so
// nothing of it is taken for plain.
bool fileSealed(const std::string& loginAddress, const std::string& catalogName,
                const std::string& subjectName);

// The name a downloaded file is saved under: the subject's name for a plain
// account (as always), the catalog's name when the subject holds a token.
std::string savedFileName(const std::string& loginAddress, const std::string& catalogName,
                          const std::string& subjectName);

// Writes `length` bytes of `source` from `offset`, sealed, into a new private
// file at `piecePath`. `stored` is the file's stored subject (piece 1's).
bool cutSealedPiece(const std::string& loginAddress, const PieceSubject& stored, int index,
                    std::ifstream& source, long long offset, long long length,
                    const std::string& piecePath);

enum class PieceOpening { Done, Altered, DiskFull, Failed };
// Opens the sealed piece at `piecePath` and writes it into `partPath` at
// `offset`, where the piece belongs in the file. Altered when it does not
// authenticate as piece `index` of the stored file (changed, cut, swapped, or
// from another file); whatever it wrote then is not to be kept, and the
// caller removes the partial file with the failed download.
PieceOpening writeOpenedPieceAt(const std::string& loginAddress, const PieceSubject& stored,
                                int index, const std::string& piecePath,
                                const std::string& partPath, long long offset);

}  // namespace parvola
