#include "transfer/retry_clock.h"

#include <atomic>
#include <mutex>
#include <random>

#include "transfer/pause_state.h"

namespace parvola {
namespace {

class WallClock : public RetryClock {
  public:
    TimePoint now() override { return std::chrono::system_clock::now(); }
    bool waitUntil(TimePoint until, const std::function<bool()>& giveUp) override {
        return waitUntilOrGiveUp(until, giveUp);
    }
    double jitter() override {
        std::lock_guard<std::mutex> guard(mutex_);
        return std::uniform_real_distribution<double>(0.0, 1.0)(random_);
    }

  private:
    std::mutex mutex_;
    std::mt19937 random_{std::random_device{}()};
};

WallClock wallClock;
std::atomic<RetryClock*> installed{nullptr};

}  // namespace

RetryClock& retryClock() {
    RetryClock* clock = installed.load();
    return clock != nullptr ? *clock : wallClock;
}

void setRetryClock(RetryClock* clock) {
    installed.store(clock);
}

}  // namespace parvola
