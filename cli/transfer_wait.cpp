#include "cli/transfer_wait.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>

#include "cli/cli_notice_box.h"
#include "cli/progress_display.h"
#include "platform/worker_threads.h"
#include "transfer/exit_sequence.h"
#include "transfer/task_list.h"

namespace parvola::cli {
namespace {

volatile std::sig_atomic_t interrupts = 0;

void onInterrupt(int) {
    interrupts = interrupts + 1;
}

// Installs the Ctrl-C handler for its lifetime.
class InterruptGuard {
  public:
    InterruptGuard() {
        interrupts = 0;
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previousInt_);
        sigaction(SIGTERM, &action, &previousTerm_);
    }
    ~InterruptGuard() {
        sigaction(SIGINT, &previousInt_, nullptr);
        sigaction(SIGTERM, &previousTerm_, nullptr);
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

  private:
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
};

struct WorkState {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int result = -1;
};

// Ends the process now: the transfers' workers may still run, and returning
// through main would pull the task list and the settings out from under
// them (the desktop client's exit ends the same way).
[[noreturn]] void endNow() {
    std::cout.flush();
    std::cerr.flush();
    std::_Exit(kExitInterrupted);
}

}  // namespace

WaitOutcome runTransfer(const std::function<int()>& work, bool saveUnfinished) {
    InterruptGuard guard;
    auto state = std::make_shared<WorkState>();
    ProgressDisplay display(isatty(STDERR_FILENO) != 0, taskList());
    startWorker([state, work] {
        int result = work();
        std::lock_guard<std::mutex> lock(state->mutex);
        state->result = result;
        state->finished = true;
        state->done.notify_all();
    });

    WaitOutcome outcome;
    std::unique_lock<std::mutex> lock(state->mutex);
    while (!state->finished) {
        // The wait ends early when the worker finishes; the period only paces
        // the redraw and the look at Ctrl-C.
        state->done.wait_for(lock, std::chrono::milliseconds(250));
        if (state->finished)
            break;
        lock.unlock();
        display.update();
        if (interrupts > 0 && !outcome.interrupted) {
            display.finish();
            // The exit sequence's question, answered here and not printed:
            // nobody would read an answer to it.
            if (CliNoticeBox* box = cliNoticeBox())
                box->answerSilently(kExitQuestionText,
                                    saveUnfinished ? NoticeAnswer::Ok : NoticeAnswer::Cancel);
            ExitInputs inputs;
            inputs.cleanupWait = std::chrono::milliseconds(0);  // waited for below
            const ExitReport report = runExitSequence(inputs);
            if (report.tasksSaved) {
                printError(
                    "interrupted; unfinished transfers saved (parvola-cli resume "
                    "continues them)");
                endNow();
            }
            if (report.tasksCancelled == 0) {
                printError("interrupted; nothing saved, nothing had been sent yet");
                endNow();
            }
            printError(
                "interrupted; nothing saved; removing what was sent and cut "
                "(Ctrl-C again stops at once)...");
            outcome.interrupted = true;
        } else if (interrupts > 1) {
            printError("stopped; piece mails or temporary pieces may be left behind");
            endNow();
        }
        lock.lock();
    }
    lock.unlock();
    display.finish();
    outcome.result = state->result;
    return outcome;
}

}  // namespace parvola::cli
