#pragma once
// Running transfer work while the command shows its progress, and Ctrl-C:
// the exit sequence's answer for the unfinished transfers, so that `resume`
// continues them, or their cancellation, so that nothing of them is left.
#include <functional>

namespace parvola::cli {

// The exit status of a command ended by Ctrl-C.
constexpr int kExitInterrupted = 130;

struct WaitOutcome {
    int result = -1;
    // Ctrl-C came and the transfers were cancelled (--save-unfinished no):
    // `result` is the work's, after it removed what it had sent and cut.
    bool interrupted = false;
};

// Runs `work` on a counted worker thread and shows the task list until it
// ends, and returns its result. When Ctrl-C comes first and the unfinished
// transfers are saved (`saveUnfinished`), the process ends there with
// kExitInterrupted: it does not return. Otherwise they are cancelled, the
// work is waited for while it cleans up (a second Ctrl-C ends the process
// at once), and the outcome says it was interrupted.
WaitOutcome runTransfer(const std::function<int()>& work, bool saveUnfinished);

}  // namespace parvola::cli
