#pragma once
// The progress of one file whose pieces move over several connections at
// once, as one row of the task list: the bytes of the pieces done plus what
// each connection has moved of the piece it carries, and the sum of the
// connections' speeds. Each connection hands its transport a sink of its own
// (slot); the reports of all of them end in TaskList::reportCombined.
#include <memory>
#include <mutex>
#include <vector>

#include "mail/progress_sink.h"
#include "transfer/task_list.h"

namespace parvola {

class CombinedProgress {
  public:
    // For the record `fileId` of a file of `fileSize` bytes in pieces of
    // `pieceSize`, moved by `slots` connections; the pieces before
    // `firstIndex` are already done.
    CombinedProgress(TaskList& list, int fileId, long long fileSize, long long pieceSize, int slots,
                     int firstIndex);
    CombinedProgress(const CombinedProgress&) = delete;
    CombinedProgress& operator=(const CombinedProgress&) = delete;

    // The sink the transport of connection `slot` reports to.
    ProgressSink& sink(int slot);
    // Connection `slot` begins (or begins again) piece `index`.
    void startPiece(int slot, int index);
    // Piece `index` of connection `slot` is done; `nextUndone` is the first
    // piece not yet done, which the record keeps for a resume.
    void pieceDone(int slot, int index, int nextUndone);
    // Makes every connection's transport stop at its next look (another
    // piece failed, so the file cannot be completed by this run).
    void stop();

  private:
    class SlotSink : public ProgressSink {
      public:
        SlotSink(CombinedProgress& owner, int slot) : owner_(owner), slot_(slot) {}
        void report(int taskId, float percent, long bytesPerSecond, bool finished) override;
        bool shouldContinue(int taskId) override;

      private:
        CombinedProgress& owner_;
        int slot_;
    };
    struct Moving {
        long long length = 0;  // bytes of the piece under way; 0 when idle
        float percent = 0;     // of that piece
        long speed = 0;
    };

    void reportLocked(int nextUndone);

    TaskList& list_;
    const int fileId_;
    const long long fileSize_;
    const long long pieceSize_;
    std::mutex mutex_;
    long long doneBytes_;
    bool stopped_ = false;
    std::vector<Moving> moving_;
    std::vector<std::unique_ptr<SlotSink>> sinks_;
};

}  // namespace parvola
