#pragma once
// The record of one upload or download. The task list holds them; eleven of
// their fields are what a saved unfinished transfer keeps.
#include <cstdint>
#include <string>
#include <string_view>

namespace parvola {

enum class TransferDirection {
    Unset,  // a new record, until its pipeline sets the direction
    Upload,
    Download,
};

// The direction as the task list shows it and the task records store it:
// "上传", "下载", and "upload" while unset.
const char* directionText(TransferDirection direction);
// The direction a stored text names; any text but "上传" and "下载" is unset
// (and such a record is resumed as a download).
TransferDirection directionFromText(std::string_view text);

// File ids of new uploads are drawn from 0 to this value.
inline constexpr int kMaxFileId = 32767;

struct TransferTask {
    std::string user;  // login address of the owning account
    TransferDirection direction = TransferDirection::Unset;
    std::string fileName;       // catalog name of the file
    std::string localPath;      // upload: source file; download: save folder
    long long fileSize = 0;     // bytes
    std::string catalogFolder;  // catalog folder selected when the transfer started
    long long startTime = 0;    // seconds since 1970 UTC; part of the identity
    float progress = 0;         // percent of the whole file
    long long pieceSize = 0;    // bytes per piece (the file size for one piece)
    int nextPieceIndex = 1;     // first piece not yet completed, 1-based
    int fileId = 0;             // the piece subjects' file id; key of progress reports
    bool cancelled = false;
    std::uint32_t threadId = 0;  // thread that created the record (informational)
    std::string subject;         // piece 1's subject text (the stored subject)
    long speed = 0;              // bytes per second; 0 until the first report
    // Seconds since 1970 UTC until which the transfer waits out its
    // provider's limit; 0 when it does not wait. Saved beside the record.
    long long waitUntil = 0;

    bool isUpload() const { return direction == TransferDirection::Upload; }
    // fileSize / pieceSize, plus 1 when there is a remainder (0 when not computable).
    long long pieceCount() const;
    // (nextPieceIndex * 100 - 100) / pieceCount in integers: the percent of the
    // pieces already completed; 0 when the piece count is 0.
    long long completedPiecesPercent() const;
};

// The calling thread's id (the kernel's thread id), for TransferTask::threadId.
std::uint32_t currentThreadId();

}  // namespace parvola
