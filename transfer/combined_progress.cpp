#include "transfer/combined_progress.h"

#include <algorithm>

#include "transfer/piece_plan.h"

namespace parvola {

CombinedProgress::CombinedProgress(TaskList& list, int fileId, long long fileSize,
                                   long long pieceSize, int slots, int firstIndex)
    : list_(list),
      fileId_(fileId),
      fileSize_(std::max(fileSize, 1LL)),
      pieceSize_(std::max(pieceSize, 1LL)),
      doneBytes_(std::min(fileSize, static_cast<long long>(firstIndex - 1) * pieceSize)),
      moving_(static_cast<size_t>(std::max(slots, 1))) {
    for (int slot = 0; slot < static_cast<int>(moving_.size()); ++slot)
        sinks_.push_back(std::make_unique<SlotSink>(*this, slot));
}

ProgressSink& CombinedProgress::sink(int slot) {
    return *sinks_.at(static_cast<size_t>(slot));
}

void CombinedProgress::startPiece(int slot, int index) {
    std::lock_guard<std::mutex> guard(mutex_);
    Moving& moving = moving_.at(static_cast<size_t>(slot));
    moving.length = pieceLength(fileSize_, pieceSize_, index);
    moving.percent = 0;
    moving.speed = 0;
}

void CombinedProgress::pieceDone(int slot, int index, int nextUndone) {
    std::lock_guard<std::mutex> guard(mutex_);
    doneBytes_ += pieceLength(fileSize_, pieceSize_, index);
    moving_.at(static_cast<size_t>(slot)) = Moving{};
    reportLocked(nextUndone);
}

void CombinedProgress::stop() {
    std::lock_guard<std::mutex> guard(mutex_);
    stopped_ = true;
}

void CombinedProgress::reportLocked(int nextUndone) {
    double bytes = static_cast<double>(doneBytes_);
    long speed = 0;
    for (const Moving& moving : moving_) {
        bytes += static_cast<double>(moving.length) * moving.percent / 100.0;
        speed += moving.speed;
    }
    const auto percent = static_cast<float>(bytes * 100.0 / static_cast<double>(fileSize_));
    list_.reportCombined(fileId_, percent, speed, nextUndone);
}

void CombinedProgress::SlotSink::report(int, float percent, long bytesPerSecond, bool) {
    // A connection's own "finished" says its piece arrived, not the file: the
    // row goes when the whole transfer ends.
    std::lock_guard<std::mutex> guard(owner_.mutex_);
    Moving& moving = owner_.moving_.at(static_cast<size_t>(slot_));
    moving.percent = std::clamp(percent, 0.0f, 100.0f);
    moving.speed = bytesPerSecond;
    owner_.reportLocked(0);
}

bool CombinedProgress::SlotSink::shouldContinue(int taskId) {
    {
        std::lock_guard<std::mutex> guard(owner_.mutex_);
        if (owner_.stopped_)
            return false;
    }
    return owner_.list_.shouldContinue(taskId);
}

}  // namespace parvola
