#pragma once
// Where the mail transports report how far a message has moved. The task list
// implements it; the transports know nothing of who draws the progress.
namespace parvola {

// The result with which a transport ends a transfer its sink asked to stop.
inline constexpr int kTransferCancelledCode = 428020231;  // 0x19831207

class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    // `taskId` names the task-list row; a row that no longer exists ignores
    // the report. `percent` is of the current message, `bytesPerSecond` the
    // average since the transfer started, `finished` is set on the last report.
    // Called on the transferring thread; implementations serialise themselves.
    virtual void report(int taskId, float percent, long bytesPerSecond, bool finished) = 0;
    // Asked by the transports while a message moves (at least with every
    // report): false means the user cancelled the task, and the transport ends
    // the transfer at once with kTransferCancelledCode. Sinks that never
    // stop a transfer keep this default.
    virtual bool shouldContinue(int /*taskId*/) { return true; }
};

}  // namespace parvola
