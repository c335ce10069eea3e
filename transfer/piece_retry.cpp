#include "transfer/piece_retry.h"

#include <algorithm>
#include <cmath>

#include "app/ini_settings.h"
#include "transfer/pause_state.h"
#include "transfer/retry_clock.h"

namespace parvola {

int retryPauseSeconds(int tryNumber, double jitter) {
    const double base = std::ldexp(1.0, std::clamp(tryNumber, 1, 16));
    const double spread = 0.75 + 0.5 * std::clamp(jitter, 0.0, 1.0);
    return std::max(1, static_cast<int>(std::lround(base * spread)));
}

std::string retryingText(int seconds, int tryNumber, int tries, const std::string& reason) {
    std::string text = "retrying in " + std::to_string(seconds) + " s (try " +
                       std::to_string(tryNumber) + " of " + std::to_string(tries) + ")";
    if (!reason.empty())
        text += ": " + reason;
    return text;
}

bool isRetryingText(const std::string& text) {
    return text.rfind("retrying in ", 0) == 0;
}

PieceRetry::PieceRetry(TaskList& list, int fileId, int tries)
    : list_(list), fileId_(fileId), tries_(tries >= 0 ? tries : IniSettings().readRetryTries()) {}

RetryStep PieceRetry::afterFailure(MailboxFailure kind, const std::string& reason) {
    if (list_.isCancelled(fileId_))
        return RetryStep::Cancelled;
    if (!isRetryable(kind) || used_ >= tries_)
        return RetryStep::GiveUp;
    ++used_;
    RetryClock& clock = retryClock();
    const int seconds = retryPauseSeconds(used_, clock.jitter());
    list_.showStatus(fileId_, retryingText(seconds, used_, tries_, reason));
    const auto until = clock.now() + std::chrono::seconds(seconds);
    // A pause of all transfers ends this wait too: the task then waits as
    // every paused task does, and tries again once the transfers run.
    const bool timeCame = clock.waitUntil(
        until, [&] { return list_.isCancelled(fileId_) || transferState() == kTransfersPaused; });
    if (!timeCame && !list_.waitWhilePaused(fileId_))
        return RetryStep::Cancelled;
    return list_.isCancelled(fileId_) ? RetryStep::Cancelled : RetryStep::TryAgain;
}

}  // namespace parvola
