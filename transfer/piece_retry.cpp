#include "transfer/piece_retry.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "app/ini_settings.h"
#include "platform/local_time.h"
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

std::chrono::seconds providerWait(const std::string& answer) {
    std::string text;
    for (char c : answer)
        text += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* lead : {" in ", " after "}) {
        for (size_t at = text.find(lead); at != std::string::npos; at = text.find(lead, at + 1)) {
            size_t pos = at + std::char_traits<char>::length(lead);
            long long number = 0;
            size_t digits = 0;
            while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) &&
                   digits < 7) {
                number = number * 10 + (text[pos++] - '0');
                ++digits;
            }
            if (digits == 0 || number <= 0)
                continue;
            while (pos < text.size() && text[pos] == ' ')
                ++pos;
            const std::string unit = text.substr(pos, 3);
            long long seconds = 0;
            if (unit == "sec" || unit.rfind("s", 0) == 0)
                seconds = number;
            else if (unit == "min" || unit.rfind("m", 0) == 0)
                seconds = number * 60;
            else if (unit.rfind("h", 0) == 0)
                seconds = number * 3600;
            if (seconds > 0)
                return std::chrono::seconds(std::min<long long>(seconds, 24 * 3600));
        }
    }
    return std::chrono::hours(1);
}

std::string providerLimitText(std::time_t at, const std::string& reason) {
    std::string text =
        "waiting for the provider's limit, trying again at " + localTimeText(at, YearDigits::Four);
    if (!reason.empty())
        text += ": " + reason;
    return text;
}

bool isRetryingText(const std::string& text) {
    return text.rfind("retrying in ", 0) == 0 || text.rfind("waiting for the provider", 0) == 0;
}

PieceRetry::PieceRetry(TaskList& list, int fileId, int tries)
    : list_(list), fileId_(fileId), tries_(tries >= 0 ? tries : IniSettings().readRetryTries()) {}

namespace {

// Waits until `until` on the retry clock. A pause of all transfers ends the
// wait: the task then waits as every paused task does, and goes on once they
// run again (so pause and resume try a provider's limit at once).
RetryStep waitForTry(TaskList& list, int fileId, RetryClock::TimePoint until,
                     const std::function<bool()>& abandoned = nullptr) {
    const auto isAbandoned = [&] { return abandoned && abandoned(); };
    const bool timeCame = retryClock().waitUntil(until, [&] {
        return list.isCancelled(fileId) || transferState() == kTransfersPaused || isAbandoned();
    });
    if (list.isCancelled(fileId))
        return RetryStep::Cancelled;
    if (isAbandoned())
        return RetryStep::GiveUp;
    if (!timeCame && !list.waitWhilePaused(fileId))
        return RetryStep::Cancelled;
    return list.isCancelled(fileId) ? RetryStep::Cancelled : RetryStep::TryAgain;
}

}  // namespace

RetryStep PieceRetry::afterFailure(MailboxFailure kind, const std::string& reason,
                                   const std::function<bool()>& abandoned) {
    if (list_.isCancelled(fileId_))
        return RetryStep::Cancelled;
    RetryClock& clock = retryClock();
    if (kind == MailboxFailure::Limit) {
        if (++providerWaits_ > kMaxProviderWaits)
            return RetryStep::GiveUp;
        const RetryClock::TimePoint until = clock.now() + providerWait(reason);
        const std::time_t at = std::chrono::system_clock::to_time_t(until);
        list_.showStatus(fileId_, providerLimitText(at, reason));
        // Kept in the record: an exit during the wait saves it with the task.
        list_.setWaitUntil(fileId_, static_cast<long long>(at));
        const RetryStep step = waitForTry(list_, fileId_, until, abandoned);
        list_.setWaitUntil(fileId_, 0);
        return step;
    }
    if (!isRetryable(kind) || used_ >= tries_)
        return RetryStep::GiveUp;
    ++used_;
    const int seconds = retryPauseSeconds(used_, clock.jitter());
    list_.showStatus(fileId_, retryingText(seconds, used_, tries_, reason));
    return waitForTry(list_, fileId_, clock.now() + std::chrono::seconds(seconds), abandoned);
}

bool waitOutSavedLimit(TaskList& list, const TransferTask& task) {
    if (task.waitUntil <= 0)
        return !list.isCancelled(task.fileId);
    const auto until =
        std::chrono::system_clock::from_time_t(static_cast<std::time_t>(task.waitUntil));
    if (until <= retryClock().now())
        return !list.isCancelled(task.fileId);
    list.showStatus(task.fileId, providerLimitText(static_cast<std::time_t>(task.waitUntil), ""));
    list.setWaitUntil(task.fileId, task.waitUntil);
    const RetryStep step = waitForTry(list, task.fileId, until);
    list.setWaitUntil(task.fileId, 0);
    return step == RetryStep::TryAgain;
}

}  // namespace parvola
