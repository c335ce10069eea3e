#pragma once
// Trying one piece again after a failure that may pass: a new connection
// after a pause that doubles with every try (2, 4, 8, 16, 32 s, each spread
// by a quarter either way), up to the tries the settings allow. Failures
// another try would only meet again end the transfer at once. While it
// waits, the task's row says "retrying in N s (try k of L)" and why; a
// cancel ends the wait at once, a pause turns it into the pause's own wait.
// An answer that means "too much for now" (MailboxFailure::Limit) is not a
// failure: the task waits for the time the provider names (an hour when it
// names none), saying so, and then tries again; such waits do not use up the
// tries.
#include <chrono>
#include <ctime>
#include <functional>
#include <string>

#include "mail/mailbox_failure.h"
#include "transfer/task_list.h"

namespace parvola {

enum class RetryStep {
    TryAgain,   // the pause is over: try the piece again from the file
    GiveUp,     // not retryable, or the tries are used up
    Cancelled,  // the task was cancelled while it waited
};

// How long a provider's "too much for now" answer asks to wait, when it says
// ("try again in 30 minutes", "retry after 120 seconds", "in 2 hours");
// otherwise an hour.
std::chrono::seconds providerWait(const std::string& answer);
// "waiting for the provider's limit, trying again at <local time>: <reason>"
std::string providerLimitText(std::time_t at, const std::string& reason);
// How often one piece waits out a provider's limit before its transfer fails.
inline constexpr int kMaxProviderWaits = 24;

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
    // words, masked): whether and when to try it again. `abandoned`, when
    // given, ends the wait with GiveUp as soon as it answers true: the piece
    // is no longer wanted (another piece of the file failed for good).
    RetryStep afterFailure(MailboxFailure kind, const std::string& reason,
                           const std::function<bool()>& abandoned = nullptr);
    // The piece went through: the next piece has every try again.
    void succeeded() {
        used_ = 0;
        providerWaits_ = 0;
    }
    // Tries of the current piece after its first.
    int used() const { return used_; }
    int tries() const { return tries_; }

  private:
    TaskList& list_;
    int fileId_;
    int tries_;
    int used_ = 0;
    int providerWaits_ = 0;
};

// A resumed transfer whose record was saved while it waited out a provider's
// limit (TransferTask::waitUntil) waits for the rest of that time first,
// saying so, unless the transfers are paused and resumed meanwhile. False
// when the task was cancelled.
bool waitOutSavedLimit(TaskList& list, const TransferTask& task);

}  // namespace parvola
