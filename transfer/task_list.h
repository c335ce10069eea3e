#pragma once
// The list of running transfers: the records, in order of addition, and the
// rows shown for them (one per record that is not cancelled, in record order).
// Every operation runs under the tasks role of the shared lock. Views (the
// desktop pane, the command line) subscribe as listeners and only display the
// texts computed here.
//
// The list is also the mail transports' progress sink: `report` is
// `reportSpeed`, and `shouldContinue` answers false for a cancelled file id so
// that the transport ends that transfer at once with kTransferCancelledCode.
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "mail/progress_sink.h"
#include "transfer/task_row_texts.h"
#include "transfer/transfer_task.h"

namespace parvola {

// Row changes, told in the order they happen. Calls are made on the thread
// that changed the list while it holds the tasks role: a listener must not
// wait for another thread that might want the lock (a GUI view queues the
// change to its own thread instead).
class TaskListListener {
  public:
    virtual ~TaskListListener() = default;
    virtual void rowAdded(int row, const TaskRowTexts& texts) = 0;
    virtual void rowRemoved(int row) = 0;
    virtual void progressTextChanged(int row, const std::string& text) = 0;
    virtual void speedTextChanged(int row, const std::string& text) = 0;
    // Every row rebuilt from the records (a redraw).
    virtual void rowsRebuilt(const std::vector<TaskRowTexts>& rows) = 0;
    // A transfer ended with its file complete (stored in the catalog, or
    // saved under its name); told after its row left. `row` names it.
    virtual void transferFinished(const TaskRowTexts& /*row*/) {}
};

class TaskList;

// A file id drawn for a new upload, kept out of further draws while the lease
// lives (the upload holds it for its whole run, task row or not).
class FileIdLease {
  public:
    FileIdLease() = default;
    ~FileIdLease();
    FileIdLease(FileIdLease&& other) noexcept;
    FileIdLease& operator=(FileIdLease&& other) noexcept;
    FileIdLease(const FileIdLease&) = delete;
    FileIdLease& operator=(const FileIdLease&) = delete;

    int id() const { return id_; }  // -1 when no id could be drawn
    bool valid() const { return id_ >= 0; }

  private:
    friend class TaskList;
    FileIdLease(TaskList* list, int id) : list_(list), id_(id) {}
    void release();
    TaskList* list_ = nullptr;
    int id_ = -1;
};

class TaskList : public ProgressSink {
  public:
    TaskList() = default;
    TaskList(const TaskList&) = delete;
    TaskList& operator=(const TaskList&) = delete;

    // Appends a copy and its row (no row when the copy is cancelled). A new
    // task under a file id clears an earlier cancel of that id.
    void addTask(const TransferTask& task);
    // Removes every record whose user, file name and start time equal the
    // argument's; returns how many.
    int removeTask(const TransferTask& task);
    // After a piece: the first record with that file id gets progress =
    // percent and the next piece index; its row shows "%.2f%%".
    void reportPieceDone(int fileId, int percent, int nextPieceIndex);
    // While a message moves: updates progress and speed of the first record
    // with that file id, removes it when cancelled or finished. Unknown file
    // ids change nothing.
    void reportSpeed(int fileId, float piecePercent, long bytesPerSecond, bool finished);
    // A transfer whose pieces move over several connections at once: the
    // first record with that file id gets the whole file's `percent` (never
    // less than it showed before, so a piece tried again does not move the
    // row back), the summed speed of its connections and, when positive, the
    // first piece not yet done as its next piece index.
    void reportCombined(int fileId, float percent, long bytesPerSecond, int nextPieceIndex);
    // Rebuilds every row from the records (whole-number texts).
    void redraw();
    // Sets the cancelled flag of the first not yet cancelled record of that
    // user and file name, removes its row at once and makes its transfer stop
    // at the transports' next look. False when no such record.
    bool cancelTask(const std::string& user, const std::string& fileName);
    // The same for the record shown in `row`.
    bool cancelTaskAtRow(int row);

    // True once a task under this file id was cancelled (until a new task is
    // added under the id), also after its record has left the list.
    bool isCancelled(int fileId) const;
    // Waits before a piece while the transfers are paused; false when the
    // task was cancelled meanwhile (the pipeline then ends quietly). While it
    // waits, the task's row shows kPausedSpeedText instead of a speed.
    bool waitWhilePaused(int fileId);
    // Shows `text` in the speed column of the first record with that file id
    // (a transfer waiting to try a piece again says why and for how long);
    // the next progress report replaces it.
    void showStatus(int fileId, const std::string& text);
    // Sets TransferTask::waitUntil of the first record with that file id.
    void setWaitUntil(int fileId, long long waitUntil);
    // Tells the listeners that the transfer of `task` finished with its file
    // complete (its record may already be gone).
    void reportFinished(const TransferTask& task);

    // A file id for a new upload, 0 to kMaxFileId, distinct from every record
    // in the list and every other live lease.
    FileIdLease leaseFileId();

    // Copies and counts, each taken under the tasks role.
    std::vector<TransferTask> tasks() const;
    std::vector<TaskRowTexts> rows() const;
    size_t size() const;
    bool empty() const { return size() == 0; }
    // True when a record is not cancelled (the exit question asks then).
    bool hasRunningTasks() const;

    void addListener(TaskListListener* listener);
    void removeListener(TaskListListener* listener);

    // Removes every record and lease (tests; the end of a run).
    void clear();

    // ProgressSink
    void report(int taskId, float percent, long bytesPerSecond, bool finished) override;
    bool shouldContinue(int taskId) override;

  private:
    friend class FileIdLease;
    struct Entry {
        TransferTask task;
        TaskRowTexts row;      // what the row shows now (kept for late listeners)
        bool waiting = false;  // its pipeline waits out a pause
    };

    int rowOf(size_t index) const;  // row shown for entries_[index], or -1
    int findFirst(int fileId) const;
    void removeEntry(size_t index);
    Entry* runningEntry(int fileId, size_t& index);
    void releaseFileId(int id);
    void markCancelled(int fileId);
    void showWaiting(int fileId, bool waiting);

    std::vector<Entry> entries_;
    std::vector<TaskListListener*> listeners_;
    std::unordered_set<int> leasedIds_;  // under the tasks role

    // Kept apart from the shared lock so that the transports can ask often.
    mutable std::mutex cancelledMutex_;
    std::unordered_set<int> cancelledIds_;
};

// The task list of this process.
TaskList& taskList();

}  // namespace parvola
