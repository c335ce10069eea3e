#include "transfer/piece_scheduler.h"

#include <algorithm>
#include <thread>

namespace parvola {

PieceScheduler::PieceScheduler(int first, int last, int connections)
    : first_(first),
      last_(std::max(last, first - 1)),
      slots_(std::max(1, std::min(connections, last_ - first_ + 1))),
      nextToHand_(first),
      nextUndone_(first),
      done_(static_cast<size_t>(last_ - first_ + 1), false) {}

bool PieceScheduler::stopRequested() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return stopped_;
}

void PieceScheduler::holdOthers(bool on) {
    std::lock_guard<std::mutex> guard(mutex_);
    holders_ += on ? 1 : -1;
    if (holders_ == 0)
        released_.notify_all();
}

int PieceScheduler::nextUndone() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return nextUndone_;
}

int PieceScheduler::take() {
    std::unique_lock<std::mutex> lock(mutex_);
    released_.wait(lock, [this] { return holders_ == 0 || stopped_; });
    if (stopped_ || nextToHand_ > last_)
        return 0;
    return nextToHand_++;
}

void PieceScheduler::finish(int index, int slot, bool ok, const Done& done) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!ok) {
        stopped_ = true;
        released_.notify_all();
        return;
    }
    done_[static_cast<size_t>(index - first_)] = true;
    ++doneCount_;
    while (nextUndone_ <= last_ && done_[static_cast<size_t>(nextUndone_ - first_)])
        ++nextUndone_;
    // Under the lock, so that the records see the pieces done in the order
    // they were counted.
    if (done)
        done(index, slot, nextUndone_, doneCount_);
}

void PieceScheduler::runSlot(int slot, const Work& work, const Done& done) {
    for (int index = take(); index != 0; index = take())
        finish(index, slot, work(index, slot), done);
}

bool PieceScheduler::run(const Work& work, const Done& done) {
    std::vector<std::thread> others;
    others.reserve(static_cast<size_t>(slots_ - 1));
    for (int slot = 1; slot < slots_; ++slot)
        others.emplace_back([this, slot, &work, &done] { runSlot(slot, work, done); });
    runSlot(0, work, done);
    for (std::thread& other : others)
        other.join();
    std::lock_guard<std::mutex> guard(mutex_);
    return !stopped_ && nextUndone_ > last_;
}

}  // namespace parvola
