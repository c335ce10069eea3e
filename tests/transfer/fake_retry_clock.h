#pragma once
// A retry clock for tests: its time moves only when a transfer waits, by
// exactly the wait asked for, so pauses of seconds or hours pass at once and
// are recorded. A test can hold a wait (block()) to act while it runs.
#include <condition_variable>
#include <mutex>
#include <vector>

#include "transfer/retry_clock.h"

namespace parvola::test {

class FakeRetryClock : public RetryClock {
  public:
    FakeRetryClock() { setRetryClock(this); }
    ~FakeRetryClock() override { setRetryClock(nullptr); }

    TimePoint now() override {
        std::lock_guard<std::mutex> guard(mutex_);
        return now_;
    }
    bool waitUntil(TimePoint until, const std::function<bool()>& giveUp) override {
        std::unique_lock<std::mutex> lock(mutex_);
        waits_.push_back(std::chrono::duration_cast<std::chrono::seconds>(until - now_));
        ++waiting_;
        changed_.notify_all();
        // A held wait ends only when the test lets it go or `giveUp` answers.
        while (held_) {
            lock.unlock();
            const bool stop = giveUp && giveUp();
            lock.lock();
            if (stop) {
                --waiting_;
                return false;
            }
            changed_.wait_for(lock, std::chrono::milliseconds(5));
        }
        --waiting_;
        if (giveUp && giveUp())
            return false;
        now_ = std::max(now_, until);
        return true;
    }
    double jitter() override { return 0.5; }  // the pauses come out exactly 2, 4, 8, ...

    std::vector<std::chrono::seconds> waits() {
        std::lock_guard<std::mutex> guard(mutex_);
        return waits_;
    }
    void block() {
        std::lock_guard<std::mutex> guard(mutex_);
        held_ = true;
    }
    void release() {
        std::lock_guard<std::mutex> guard(mutex_);
        held_ = false;
        changed_.notify_all();
    }
    // Waits until a transfer waits on this clock; false after `limit`.
    bool waitForWaiter(std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return waiting_ > 0; });
    }
    void advance(std::chrono::seconds by) {
        std::lock_guard<std::mutex> guard(mutex_);
        now_ += by;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    TimePoint now_ = TimePoint(std::chrono::seconds(1800000000));
    std::vector<std::chrono::seconds> waits_;
    int waiting_ = 0;
    bool held_ = false;
};

}  // namespace parvola::test
