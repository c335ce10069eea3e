#pragma once
// The piece mails of an encrypted account (transfer/account_keys): the
// file's name in every subject is its name token (crypto/name_token), each
// piece travels sealed (crypto/piece_stream) under the binding of the file's
// stored subject and its index, and a read piece is opened while its
// attachment arrives, straight into the download. The pipelines ask these calls; for a plain
// account each of them does what the pipelines always did.
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "mail/attachment_output.h"
#include "transfer/piece_subject.h"

namespace parvola {

class PieceDecryptor;

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

// Opens a sealed piece while its attachment arrives and writes the plain
// bytes into the partial download at `offset`, where piece `index` of the
// stored file (`stored`, piece 1's subject) belongs. Only bytes of chunks
// that authenticated are written. A piece that does not authenticate as that
// piece (changed, cut, with bytes after its end, swapped, or from another
// file) is Altered; whatever was written of it then is not to be kept, and
// the caller removes the partial file with the failed download.
class OpenedPieceWriter : public AttachmentOutput {
  public:
    OpenedPieceWriter(std::string loginAddress, const PieceSubject& stored, int index,
                      std::string partPath, long long offset);
    ~OpenedPieceWriter() override;
    OpenedPieceWriter(const OpenedPieceWriter&) = delete;
    OpenedPieceWriter& operator=(const OpenedPieceWriter&) = delete;

    bool begin() override;
    bool write(std::string_view sealed) override;
    bool end() override;
    // How the piece read last ended: Done only once its final chunk opened
    // and every byte is written; Failed when none came.
    PieceOpening outcome() const;

  private:
    bool fail(PieceOpening failure);
    bool put();

    std::string loginAddress_;
    PieceSubject stored_;
    int index_;
    std::string partPath_;
    long long offset_;
    int fd_ = -1;
    long long at_ = 0;  // where the next plain byte goes
    std::unique_ptr<PieceDecryptor> decryptor_;
    std::string plain_;
    std::optional<PieceOpening> failure_;  // what ended the piece read last
    bool begun_ = false;
    bool ended_ = false;
};

}  // namespace parvola
