#pragma once
// Worker threads are started per action and never joined; a count of the
// running ones lets the command line and the tests wait for them to end.
#include <chrono>
#include <functional>

namespace parvola {

// Starts `work` on a detached thread and counts it while it runs.
void startWorker(std::function<void()> work);
int runningWorkers();
// Waits until no worker runs; false when `limit` passed first.
bool waitForWorkers(std::chrono::milliseconds limit);

}  // namespace parvola
