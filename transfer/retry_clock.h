#pragma once
// The time a transfer waits by before it tries a failed piece again. Real
// transfers wait on the wall clock in a condition wait that a cancel or a
// pause ends at once; tests install a clock of their own, so that a pause of
// 32 s (or a provider's hour) passes without anyone waiting for it.
#include <chrono>
#include <functional>

namespace parvola {

class RetryClock {
  public:
    using TimePoint = std::chrono::system_clock::time_point;
    virtual ~RetryClock() = default;
    virtual TimePoint now() = 0;
    // Returns at `until` (true), or as soon as `giveUp` answers true (false).
    virtual bool waitUntil(TimePoint until, const std::function<bool()>& giveUp) = 0;
    // A number in [0, 1) that spreads the pauses of many transfers apart.
    virtual double jitter() = 0;
};

// The clock the transfers wait by: the real one unless a test installed its own.
RetryClock& retryClock();
// Installs `clock` (not owned; it must outlive its use), or the real clock
// again with nullptr.
void setRetryClock(RetryClock* clock);

}  // namespace parvola
