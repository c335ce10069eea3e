#pragma once
// The process-wide pause state of the transfers: 1 running (the state at
// start-up), 2 paused. Pipelines wait before each piece while it is paused;
// a piece already under way is not interrupted. Resuming sets it back to 1
// and wakes every waiting pipeline at once.
#include <chrono>
#include <functional>

namespace parvola {

inline constexpr int kTransfersRunning = 1;
inline constexpr int kTransfersPaused = 2;

int transferState();
void pauseTransfers();
void resumeTransfers();

// Returns once the transfers run (true), or as soon as `giveUp` answers true
// (false). Sleeps between looks: it is woken by resumeTransfers() and by
// wakePausedWaiters(), and looks again at least once a second in any case.
bool waitWhilePaused(const std::function<bool()>& giveUp = {});

// Returns at `until` (true), or as soon as `giveUp` answers true (false).
// A condition wait woken like waitWhilePaused's, never a sleep: a cancel or
// a pause ends it at once.
bool waitUntilOrGiveUp(std::chrono::system_clock::time_point until,
                       const std::function<bool()>& giveUp);

// Makes every waiter look at its `giveUp` again (used when a task is cancelled).
void wakePausedWaiters();

}  // namespace parvola
