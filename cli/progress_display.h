#pragma once
// Shows the transfers of the task list while a command waits for them: on a
// terminal one redrawn line with a bar, percent, speed and time left;
// otherwise one line per piece finished, every one of them: the display
// listens to the list, so a piece that finishes just before its transfer
// leaves the list (done, failed or cancelled) is still reported.
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "transfer/task_list.h"

namespace parvola::cli {

class ProgressDisplay : public TaskListListener {
  public:
    // Pieces the list's transfers finished before this moment (a resumed
    // transfer's) are not reported again.
    ProgressDisplay(bool terminal, TaskList& list);
    ~ProgressDisplay() override;
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    // Draws what changed since the last call (called every few tenths of a second).
    void update();
    // Ends the redrawn line, and reports the pieces not reported yet.
    void finish();

    // TaskListListener: called under the list's lock on the changing thread.
    void rowAdded(int, const TaskRowTexts&) override { record(); }
    void rowRemoved(int) override {}
    void progressTextChanged(int, const std::string&) override { record(); }
    // A transfer waiting to try a piece again says so on a line of its own.
    void speedTextChanged(int row, const std::string& text) override;
    void rowsRebuilt(const std::vector<TaskRowTexts>&) override { record(); }

  private:
    struct Pieces {
        std::string fileName;
        long long count = 0;
        long long done = 0;     // pieces finished, as the list last told
        long long printed = 0;  // pieces reported
    };
    void record();
    void printPieces();
    void printStatus();

    bool terminal_;
    TaskList& list_;
    bool lineShown_ = false;
    // Never held while the list's lock is asked for: the listener calls
    // come with that lock held.
    std::mutex mutex_;
    std::map<int, Pieces> pieces_;          // by file id
    std::vector<std::string> statusLines_;  // not printed yet
};

// "[#####.....]  49.67%  1234KByte/s  0:42 left"
std::string progressLine(const TransferTask& task, int width);

}  // namespace parvola::cli
