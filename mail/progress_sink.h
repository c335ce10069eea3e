#pragma once
// Where the mail transports report how far a message has moved. The task list
// implements it; the transports know nothing of who draws the progress.
namespace parvola {

class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    // `taskId` names the task-list row; a row that no longer exists ignores
    // the report. `percent` is of the current message, `bytesPerSecond` the
    // average since the transfer started, `finished` is set on the last report.
    // Called on the transferring thread; implementations serialise themselves.
    virtual void report(int taskId, float percent, long bytesPerSecond, bool finished) = 0;
};

}  // namespace parvola
