#pragma once
// Running one transfer worker while the command shows its progress, and
// Ctrl-C: the exit sequence's save of unfinished transfers, so that `resume`
// continues them.
#include <functional>

namespace parvola::cli {

// Runs `work` on a counted worker thread and shows the task list until it
// ends. Returns its result, or nullopt-like `interrupted` when Ctrl-C came
// first (the unfinished transfers were then offered to the exit sequence:
// saved when `saveUnfinished` is set).
struct WaitOutcome {
    bool interrupted = false;
    int result = -1;
};
WaitOutcome runTransfer(const std::function<int()>& work, bool saveUnfinished);

}  // namespace parvola::cli
