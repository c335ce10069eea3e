#include "cli/transfer_wait.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>

#include "cli/cli_command.h"
#include "cli/progress_display.h"
#include "platform/notice_box.h"
#include "platform/worker_threads.h"
#include "transfer/exit_sequence.h"
#include "transfer/task_list.h"

namespace parvola::cli {
namespace {

volatile std::sig_atomic_t interruptRequested = 0;

void onInterrupt(int) {
    interruptRequested = 1;
}

// Installs the Ctrl-C handler for its lifetime.
class InterruptGuard {
  public:
    InterruptGuard() {
        interruptRequested = 0;
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

}  // namespace

WaitOutcome runTransfer(const std::function<int()>& work, bool saveUnfinished) {
    InterruptGuard guard;
    auto state = std::make_shared<WorkState>();
    startWorker([state, work] {
        int result = work();
        std::lock_guard<std::mutex> lock(state->mutex);
        state->result = result;
        state->finished = true;
        state->done.notify_all();
    });

    ProgressDisplay display(isatty(STDERR_FILENO) != 0);
    WaitOutcome outcome;
    std::unique_lock<std::mutex> lock(state->mutex);
    while (!state->finished) {
        // The wait ends early when the worker finishes; the period only paces
        // the redraw and the look at Ctrl-C.
        state->done.wait_for(lock, std::chrono::milliseconds(250));
        if (state->finished)
            break;
        lock.unlock();
        display.update(taskList());
        if (interruptRequested) {
            display.finish(false);
            // The question of the exit sequence, answered by the command line.
            auto previous = installNoticeBox(std::make_shared<ConsoleNoticeBox>(
                saveUnfinished ? NoticeAnswer::Ok : NoticeAnswer::Cancel));
            ExitReport report = runExitSequence();
            installNoticeBox(previous);
            std::cerr << (report.tasksSaved
                              ? "parvola-cli: interrupted; unfinished transfers saved "
                                "(parvola-cli resume continues them)"
                              : "parvola-cli: interrupted; nothing saved")
                      << std::endl;
            // The transfers' workers are still running: end the process here,
            // as the desktop client's exit does, rather than returning through
            // main, whose static destructors would pull the task list and the
            // settings out from under them.
            std::cout.flush();
            std::cerr.flush();
            std::_Exit(kExitFailure);
        }
        lock.lock();
    }
    display.update(taskList());
    display.finish(state->result == 0);
    outcome.result = state->result;
    return outcome;
}

}  // namespace parvola::cli
