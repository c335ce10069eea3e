#pragma once
// Shows the transfers of the task list while a command waits for them: on a
// terminal one redrawn line per transfer with a bar, percent, speed and time
// left; otherwise one line per finished piece.
#include <map>
#include <string>

#include "transfer/task_list.h"

namespace parvola::cli {

class ProgressDisplay {
  public:
    explicit ProgressDisplay(bool terminal);
    // Draws what changed since the last call (called every few tenths of a second).
    void update(const TaskList& list);
    // Ends the redrawn line, if one is shown. When the transfers succeeded,
    // the pieces that finished after the last look are reported too (a
    // finished transfer leaves the task list with its last piece).
    void finish(bool succeeded);

  private:
    bool terminal_;
    bool lineShown_ = false;
    struct Seen {
        std::string fileName;
        int pieceCount = 0;
        int printed = 0;  // pieces already reported
    };
    std::map<int, Seen> seen_;  // by file id
    void printPieces(Seen& seen, int upTo);
};

// "[#####.....]  49.67%  1234KByte/s  0:42 left"
std::string progressLine(const TransferTask& task, int width);

}  // namespace parvola::cli
