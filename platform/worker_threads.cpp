#include "platform/worker_threads.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace parvola {
namespace {

std::mutex countMutex;
std::condition_variable countChanged;
int running = 0;

}  // namespace

void startWorker(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> guard(countMutex);
        ++running;
    }
    std::thread([work = std::move(work)] {
        work();
        std::lock_guard<std::mutex> guard(countMutex);
        --running;
        countChanged.notify_all();
    }).detach();
}

int runningWorkers() {
    std::lock_guard<std::mutex> guard(countMutex);
    return running;
}

bool waitForWorkers(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(countMutex);
    return countChanged.wait_for(lock, limit, [] { return running == 0; });
}

}  // namespace parvola
