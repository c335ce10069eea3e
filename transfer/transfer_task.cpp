#include "transfer/transfer_task.h"

#include <sys/syscall.h>
#include <unistd.h>

#include "transfer/piece_plan.h"

namespace parvola {
namespace {

constexpr const char* kUploadText = "上传";
constexpr const char* kDownloadText = "下载";
constexpr const char* kUnsetText = "upload";

}  // namespace

const char* directionText(TransferDirection direction) {
    switch (direction) {
        case TransferDirection::Upload:
            return kUploadText;
        case TransferDirection::Download:
            return kDownloadText;
        case TransferDirection::Unset:
            break;
    }
    return kUnsetText;
}

TransferDirection directionFromText(std::string_view text) {
    if (text == kUploadText)
        return TransferDirection::Upload;
    if (text == kDownloadText)
        return TransferDirection::Download;
    return TransferDirection::Unset;
}

long long TransferTask::pieceCount() const {
    return parvola::pieceCount(fileSize, pieceSize);
}

long long TransferTask::completedPiecesPercent() const {
    const long long count = pieceCount();
    if (count <= 0)
        return 0;
    return (static_cast<long long>(nextPieceIndex) * 100 - 100) / count;
}

std::uint32_t currentThreadId() {
    return static_cast<std::uint32_t>(::syscall(SYS_gettid));
}

}  // namespace parvola
