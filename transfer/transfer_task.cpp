#include "transfer/transfer_task.h"

#include <sys/syscall.h>
#include <unistd.h>

#include "transfer/piece_plan.h"

namespace parvola {

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
