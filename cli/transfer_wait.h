#pragma once
// Running one transfer worker while the command shows its progress, and
// Ctrl-C: the exit sequence's save of unfinished transfers, so that `resume`
// continues them.
#include <functional>

namespace parvola::cli {

// Runs `work` on a counted worker thread and shows the task list until it
// ends, and returns its result. When Ctrl-C comes first, the unfinished
// transfers are offered to the exit sequence (saved when `saveUnfinished` is
// set) and the process ends with the failure status: it does not return.
struct WaitOutcome {
    int result = -1;
};
WaitOutcome runTransfer(const std::function<int()>& work, bool saveUnfinished);

}  // namespace parvola::cli
