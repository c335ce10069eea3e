#pragma once
// Trying one piece again after a failure that may pass: a new connection
// after a pause that doubles with every try (2, 4, 8, 16, 32 s, each spread
// by a quarter either way), up to the tries the settings allow. Failures
// another try would only meet again end the transfer at once. While it
// waits, the task's row says "retrying in N s (try k of L)" and why; a
// cancel ends the wait at once, a pause turns it into the pause's own wait.
#include <string>

#include "mail/mailbox_failure.h"
#include "transfer/task_list.h"

namespace parvola {

enum class RetryStep {
    TryAgain,   // the pause is over: try the piece again from the file
    GiveUp,     // not retryable, or the tries are used up
    Cancelled,  // the task was cancelled while it waited
};

// The pause before try `tryNumber` (1-based), `jitter` in [0, 1): 2^k s
// times 0.75 to 1.25, whole seconds.
int retryPauseSeconds(int tryNumber, double jitter);
// "retrying in 4 s (try 2 of 5): <reason>"
std::string retryingText(int seconds, int tryNumber, int tries, const std::string& reason);
// True for a text retryingText made.
bool isRetryingText(const std::string& text);

class PieceRetry {
  public:
    // `tries` as the settings hold them (IniSettings::readRetryTries) when -1.
    PieceRetry(TaskList& list, int fileId, int tries = -1);

    // After a failed try of the current piece, that met `kind` (`reason` in
    // words, masked): whether and when to try it again.
    RetryStep afterFailure(MailboxFailure kind, const std::string& reason);
    // The piece went through: the next piece has every try again.
    void succeeded() { used_ = 0; }
    // Tries of the current piece after its first.
    int used() const { return used_; }
    int tries() const { return tries_; }

  private:
    TaskList& list_;
    int fileId_;
    int tries_;
    int used_ = 0;
};

}  // namespace parvola
