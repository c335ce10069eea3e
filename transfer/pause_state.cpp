#include "transfer/pause_state.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace parvola {
namespace {

std::atomic<int> state{kTransfersRunning};
std::mutex waitMutex;
std::condition_variable stateChanged;

void notifyWaiters() {
    // Taking the mutex orders the change before a waiter's next look, so no
    // wake-up is lost between its test and its wait.
    std::lock_guard<std::mutex> guard(waitMutex);
    stateChanged.notify_all();
}

}  // namespace

int transferState() {
    return state.load();
}

void pauseTransfers() {
    state.store(kTransfersPaused);
    notifyWaiters();
}

void resumeTransfers() {
    state.store(kTransfersRunning);
    notifyWaiters();
}

void wakePausedWaiters() {
    notifyWaiters();
}

bool waitWhilePaused(const std::function<bool()>& giveUp) {
    std::unique_lock<std::mutex> lock(waitMutex);
    for (;;) {
        if (giveUp && giveUp())
            return false;
        if (state.load() != kTransfersPaused)
            return true;
        stateChanged.wait_for(lock, std::chrono::seconds(1));
    }
}

bool waitUntilOrGiveUp(std::chrono::system_clock::time_point until,
                       const std::function<bool()>& giveUp) {
    std::unique_lock<std::mutex> lock(waitMutex);
    for (;;) {
        if (giveUp && giveUp())
            return false;
        const auto now = std::chrono::system_clock::now();
        if (now >= until)
            return true;
        // Looked at again at least once a second, as waitWhilePaused does, so a
        // change of the clock itself is noticed too.
        stateChanged.wait_until(lock, std::min(until, now + std::chrono::seconds(1)));
    }
}

}  // namespace parvola
