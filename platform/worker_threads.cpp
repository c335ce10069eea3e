#include "platform/worker_threads.h"

#include <openssl/crypto.h>

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
    std::thread([work = std::move(work)]() mutable {
        work();
        // A worker counts as done only once what it holds is released: the
        // work's captures and the state OpenSSL keeps for this thread (which
        // the thread's exit would free only after the count has dropped).
        // A process that ends as soon as its workers are done then leaves
        // nothing half-freed behind.
        work = nullptr;
        OPENSSL_thread_stop();
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
